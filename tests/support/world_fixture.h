// A real World on a hidden GL context, installed as the process-wide world.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "tools/common/process_memory.h"
#include "world/world.h"

// Drives the world's car with the frame loop's frame time, as a held key does.
void driveWorldCar(int command);

class WorldTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Steps the world as the frame loop does, `frames` times at 60 fps.
    void runFrames(int frames, int driveCommand = -1);

    std::unique_ptr<World> owned;
    // The preset the world is built at; set before SetUp runs.
    QualityPreset quality = presetFor(Quality::High);
};
