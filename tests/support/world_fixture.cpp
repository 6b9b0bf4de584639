#include "tests/support/world_fixture.h"

#include <string>

#include "app/main_loop.h"
#include "tests/support/gl_context.h"

void WorldTest::SetUp() {
    ASSERT_NE(testGlContext(), nullptr);
    physicsAccumulator = 0.0;
    owned = std::make_unique<World>(quality);
    world = owned.get();
}

void WorldTest::TearDown() {
    world = nullptr;
    owned.reset();
}

void driveWorldCar(int command) {
    if (world && world->car) {
        driveCar(*world->car, command, driveShareOfStep(deltaTime));
    }
}

void WorldTest::runFrames(int frames, int driveCommand) {
    deltaTime = 1.0f / 60.0f;
    for (int i = 0; i < frames; ++i) {
        if (driveCommand >= 0) {
            driveWorldCar(driveCommand);
        }
        stepWorld(static_cast<double>(deltaTime), 0.0);
    }
}
