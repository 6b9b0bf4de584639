#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/input.h"
#include "tests/support/gl_context.h"
#include "tests/support/world_fixture.h"

namespace {

void moveCratesTo(World& w, float y) {
    for (auto& crate : w.crates) {
        Pose pose = crate->actor->getGlobalPose();
        pose.p.y = y;
        crate->actor->setGlobalPose(pose, true);
    }
}

void moveChassisTo(World& w, float y) {
    Pose pose = w.car->chassis->getGlobalPose();
    pose.p.y = y;
    w.car->chassis->setGlobalPose(pose, true);
}

// The default layout turns and scales the car model by 0.2, level 2 by 1.
float carModelScale(const World& w) {
    return -w.car->localTransform[0][0];
}

}  // namespace

TEST_F(WorldTest, BuildsLevelOneWithEveryObjectAtItsStart) {
    EXPECT_EQ(world->level, 1);
    ASSERT_EQ(world->crates.size(), 18u);
    ASSERT_EQ(world->figures.size(), 1u);
    ASSERT_TRUE(world->car && world->sky && world->road && world->roadHeightfield);
    for (int i = 0; i < CRATE_COUNT; ++i) {
        const vec3 p = world->crates[i]->actor->getGlobalPose().p;
        EXPECT_EQ(p, CRATE_POSITIONS[i]) << "crate " << i + 1;
    }
    const vec3 figure = world->figures[0]->actor->getGlobalPose().p;
    EXPECT_NEAR(figure.x, FIGURE_POSITION.x, 1e-5f);
    EXPECT_NEAR(figure.y, FIGURE_POSITION.y, 1e-5f);
    EXPECT_NEAR(figure.z, FIGURE_POSITION.z, 1e-5f);
    EXPECT_EQ(world->car->chassis->getGlobalPose().p, CAR_START_POSITION);
    EXPECT_NEAR(carModelScale(*world), 0.2f, 1e-6f);
    // The road model is drawn at 300 v + (-126, 0, 0).
    const vec4 roadOrigin = world->road->modelMatrix * vec4(0, 0, 0, 1);
    EXPECT_NEAR(roadOrigin.x, -126.0f, 1e-3f);
    EXPECT_NEAR(world->road->modelMatrix[0][0], 300.0f, 1e-3f);
}

TEST_F(WorldTest, ClearingEveryCrateBuildsTheNextLevelInTheSameStep) {
    moveCratesTo(*world, -25.0f);
    stepWorld(0.0, 0.0);
    EXPECT_EQ(world->level, 2);
    EXPECT_NEAR(carModelScale(*world), 1.0f, 1e-6f) << "level 2 has its own car";
    ASSERT_EQ(world->crates.size(), 18u);
    EXPECT_EQ(world->crates[0]->actor->getGlobalPose().p, CRATE_POSITIONS[0]);
    EXPECT_EQ(world->car->chassis->getGlobalPose().p, CAR_START_POSITION);

    moveCratesTo(*world, -25.0f);
    stepWorld(0.0, 0.0);
    EXPECT_EQ(world->level, 3);
    EXPECT_NEAR(carModelScale(*world), 0.2f, 1e-6f) << "level 3 looks like level 1";
}

TEST_F(WorldTest, ACrateExactlyAtMinusTwentyHasFallen) {
    moveCratesTo(*world, -20.0f);
    stepWorld(0.0, 0.0);
    EXPECT_EQ(world->level, 2);
}

TEST_F(WorldTest, OneCrateLeftAboveMinusTwentyKeepsTheLevel) {
    moveCratesTo(*world, -25.0f);
    Pose pose = world->crates[17]->actor->getGlobalPose();
    pose.p.y = -19.99f;
    world->crates[17]->actor->setGlobalPose(pose, true);
    stepWorld(0.0, 0.0);
    EXPECT_EQ(world->level, 1);
}

TEST_F(WorldTest, AnEmptyCrateListCountsAsCleared) {
    world->crates.clear();
    stepWorld(0.0, 0.0);
    EXPECT_EQ(world->level, 2);
    EXPECT_EQ(world->crates.size(), 18u);
}

TEST_F(WorldTest, ACarBelowMinusThirtyRebuildsTheSameLevel) {
    moveChassisTo(*world, -30.0f);
    stepWorld(0.0, 0.0);
    EXPECT_EQ(world->car->chassis->getGlobalPose().p.y, -30.0f) << "exactly -30 is not a fall";

    Pose cratePose = world->crates[0]->actor->getGlobalPose();
    cratePose.p.x += 3.0f;
    world->crates[0]->actor->setGlobalPose(cratePose, true);
    moveChassisTo(*world, -30.5f);
    stepWorld(0.0, 0.0);
    EXPECT_EQ(world->level, 1);
    EXPECT_EQ(world->car->chassis->getGlobalPose().p, CAR_START_POSITION);
    EXPECT_EQ(world->crates[0]->actor->getGlobalPose().p, CRATE_POSITIONS[0])
        << "every crate returns to its start";
}

TEST_F(WorldTest, LevelKeysBuildALayoutWithoutTouchingTheCounter) {
    resetInput();
    keys[GLFW_KEY_2] = true;
    applyHeldKeys();
    keys[GLFW_KEY_2] = false;
    EXPECT_EQ(world->level, 1);
    EXPECT_NEAR(carModelScale(*world), 1.0f, 1e-6f);

    // A fall now rebuilds what the counter names: level 1.
    moveChassisTo(*world, -31.0f);
    stepWorld(0.0, 0.0);
    EXPECT_EQ(world->level, 1);
    EXPECT_NEAR(carModelScale(*world), 0.2f, 1e-6f);

    // And the next clearing goes to the counter plus one.
    keys[GLFW_KEY_3] = true;
    applyHeldKeys();
    keys[GLFW_KEY_3] = false;
    moveCratesTo(*world, -25.0f);
    stepWorld(0.0, 0.0);
    EXPECT_EQ(world->level, 2);
}

// At a few frames a second a tap often begins and ends between two frames:
// it must act once all the same, and a held key still acts every frame.
TEST_F(WorldTest, OneShotKeysActForATapBetweenFramesAndEveryFrameWhileHeld) {
    resetInput();
    auto tap = [](int key) {
        onKey(nullptr, key, 0, GLFW_PRESS, 0);
        onKey(nullptr, key, 0, GLFW_RELEASE, 0);
    };
    auto printedLines = [](auto&& frames) {
        StdoutCapture capture;
        frames();
        const std::string text = capture.text();
        return std::count(text.begin(), text.end(), '\n');
    };
    EXPECT_EQ(printedLines([&] {
                  tap(GLFW_KEY_X);
                  applyHeldKeys();
                  applyHeldKeys();
              }),
              1);
    EXPECT_EQ(printedLines([&] {
                  onKey(nullptr, GLFW_KEY_X, 0, GLFW_PRESS, 0);
                  for (int frame = 0; frame < 3; ++frame) {
                      applyHeldKeys();
                  }
                  onKey(nullptr, GLFW_KEY_X, 0, GLFW_RELEASE, 0);
                  applyHeldKeys();
              }),
              3);

    // Space rights a car on its side.
    Pose tilted = world->car->chassis->getGlobalPose();
    tilted.q = quatFromMatrix(rotate(mat4(1.0f), 90.0f, vec3(0, 0, 1)));
    world->car->chassis->setGlobalPose(tilted, true);
    tap(GLFW_KEY_SPACE);
    applyHeldKeys();
    EXPECT_NEAR(world->car->chassis->getGlobalPose().q.w, 1.0f, 1e-6f);

    // A tap of 2 builds the level-2 layout once; the counter stays.
    tap(GLFW_KEY_2);
    applyHeldKeys();
    EXPECT_NEAR(carModelScale(*world), 1.0f, 1e-6f);
    EXPECT_EQ(world->level, 1);
    // A rebuild would put a moved car back at its start.
    moveChassisTo(*world, 5.0f);
    applyHeldKeys();
    EXPECT_EQ(world->car->chassis->getGlobalPose().p.y, 5.0f) << "a tap builds once";
}

TEST_F(WorldTest, AMissingHeightmapIsReportedAndLeavesNoGround) {
    StdoutCapture capture;
    Heightfield ground(0.66f, 0.66f, 0.315f, world->scene.get(), "Vrom2/model/road3/none.png");
    const std::string output = capture.text();
    EXPECT_EQ(ground.actor, nullptr);
    EXPECT_NE(output.find("Vrom2/model/road3/none.png"), std::string::npos) << output;
    EXPECT_EQ(output.find('\n'), output.size() - 1) << "one line: " << output;
}

TEST_F(WorldTest, RebuildingALevelKeepsMemoryFlat) {
    for (int i = 0; i < 5; ++i) {
        world->loadLevel(1 + i % 3);
    }
    const long afterFew = residentKiB();
    for (int i = 0; i < 100; ++i) {
        world->loadLevel(1 + i % 3);
    }
    const long afterMany = residentKiB();
    ASSERT_GT(afterFew, 0);
    EXPECT_LT(afterMany - afterFew, 6 * 1024) << afterFew << " KiB -> " << afterMany << " KiB";
}
