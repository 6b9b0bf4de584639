// The real frame loop, undrawn, on a real World: frames of any length with
// input arriving where the window's events would, from a fresh game state.
#pragma once

#include <functional>

#include "tests/support/world_fixture.h"

class FrameTest : public WorldTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // A fresh game: a new world, the input and clocks reset.
    void restart();
    // One frame, `seconds` long, with `input` where the events come in;
    // whether it took a physics step.
    bool frame(double seconds, const std::function<void()>& input = {});

    static void press(int key);
    static void release(int key);
    static void tap(int key);
    // Every crate below the ground's floor, where nothing holds it.
    void dropAllCrates();

    double now = 0.0;
};
