#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "app/input.h"
#include "app/main_loop.h"
#include "tests/support/gl_context.h"
#include "tests/support/world_fixture.h"

namespace {

// The chassis's forward axis (-Z) in world space.
vec3 forwardOf(const RigidDynamic* body) {
    return rotateVector(body->getGlobalPose().q, vec3(0, 0, -1));
}

vec3 upOf(const RigidDynamic* body) {
    return rotateVector(body->getGlobalPose().q, vec3(0, 1, 0));
}

// Where a wheel sits in the chassis frame.
vec3 inChassisFrame(const Car& car, const RigidDynamic* wheel) {
    const Pose chassis = car.chassis->getGlobalPose();
    const Quat inverse{-chassis.q.x, -chassis.q.y, -chassis.q.z, chassis.q.w};
    return rotateVector(inverse, wheel->getGlobalPose().p - chassis.p);
}

bool finite(const vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

}  // namespace

TEST_F(WorldTest, TheCarAssemblesOnItsAnchorsWithoutTurning) {
    runFrames(120);
    const Car& car = *world->car;
    const struct {
        const RigidDynamic* wheel;
        vec3 anchor;
    } wheels[] = {{car.frontLeftWheel, {-0.6f, -0.2f, -1.0f}},
                  {car.frontRightWheel, {0.6f, -0.2f, -1.0f}},
                  {car.rearLeftWheel, {-0.6f, -0.2f, 1.0f}},
                  {car.rearRightWheel, {0.6f, -0.2f, 1.0f}}};
    for (const auto& each : wheels) {
        const vec3 local = inChassisFrame(car, each.wheel);
        ASSERT_TRUE(finite(local));
        EXPECT_NEAR(local.x, each.anchor.x, 0.05f);
        EXPECT_NEAR(local.y, each.anchor.y, 0.05f);
        EXPECT_NEAR(local.z, each.anchor.z, 0.05f);
    }
    const vec3 forward = forwardOf(car.chassis);
    const float headingError = std::acos(
        std::min(1.0f, -forward.z / std::sqrt(forward.x * forward.x + forward.z * forward.z)));
    EXPECT_LT(headingError * RAD_TO_DEG, 1.0f);
    // Wheels of radius 0.4, 0.2 below the chassis centre, on the plateau at 0.08.
    EXPECT_NEAR(car.chassis->getGlobalPose().p.y, 0.08f + 0.4f + 0.2f, 0.05f);
    EXPECT_GT(upOf(car.chassis).y, 0.999f);
}

TEST_F(WorldTest, HoldingUpDrivesForwardUprightWithTheWheelsOnTheGround) {
    runFrames(60);
    const vec3 start = world->car->chassis->getGlobalPose().p;
    float lowest = start.y;
    float highest = start.y;
    for (int frame = 0; frame < 120; ++frame) {
        runFrames(1, 0);
        const float y = world->car->chassis->getGlobalPose().p.y;
        lowest = std::min(lowest, y);
        highest = std::max(highest, y);
    }
    const vec3 end = world->car->chassis->getGlobalPose().p;
    // About 28 m/s after two seconds from rest: some 25 to 35 units.
    EXPECT_LT(end.z - start.z, -15.0f);
    EXPECT_GT(end.z - start.z, -45.0f);
    EXPECT_LT(std::fabs(end.x - start.x), 3.0f);
    EXPECT_GT(upOf(world->car->chassis).y, 0.98f);
    EXPECT_LT(highest - lowest, 0.1f) << "the wheels must not hop off the ground";
}

TEST_F(WorldTest, OpposingAndZeroTimeCommandsPushNothing) {
    runFrames(90);
    const vec3 before = world->car->chassis->getGlobalPose().p;
    deltaTime = 1.0f / 60.0f;
    for (int frame = 0; frame < 60; ++frame) {
        driveCar(0);
        driveCar(1);
        driveCar(*world->car, 0, 0.0f);
        driveCar(*world->car, 3, 0.0f);
        driveCar(7);
        driveCar(-1);
        stepWorld(1.0 / 60.0);
    }
    const vec3 after = world->car->chassis->getGlobalPose().p;
    EXPECT_NEAR(after.x, before.x, 0.01f);
    EXPECT_NEAR(after.z, before.z, 0.01f);
}

TEST_F(WorldTest, SteeringTurnsTheCar) {
    runFrames(60);
    // Gather speed, then hold left: the car's nose swings towards -X.
    runFrames(60, 0);
    for (int frame = 0; frame < 60; ++frame) {
        driveCar(0);
        runFrames(1, 2);
    }
    const vec3 forward = forwardOf(world->car->chassis);
    EXPECT_LT(forward.x, -0.2f);
}

TEST_F(WorldTest, SpaceSetsTheChassisUprightWhereItStands) {
    runFrames(30);
    Pose tilted = world->car->chassis->getGlobalPose();
    tilted.q = quatFromMatrix(rotate(mat4(1.0f), 120.0f, vec3(0, 0, 1)));
    world->car->chassis->setGlobalPose(tilted, true);

    resetInput();
    keys[GLFW_KEY_SPACE] = true;
    applyHeldKeys();
    keys[GLFW_KEY_SPACE] = false;
    const Pose upright = world->car->chassis->getGlobalPose();
    EXPECT_EQ(upright.p, tilted.p);
    EXPECT_NEAR(upright.q.w, 1.0f, 1e-6f);
    EXPECT_NEAR(upOf(world->car->chassis).y, 1.0f, 1e-6f);
}

TEST_F(WorldTest, XPrintsTheChassisPosition) {
    resetInput();
    keys[GLFW_KEY_X] = true;
    StdoutCapture capture;
    applyHeldKeys();
    keys[GLFW_KEY_X] = false;
    const std::string output = capture.text();
    EXPECT_EQ(output, "Position: 2 1 0 \n");
}

TEST_F(WorldTest, ACrateRestsWithItsOriginJustAboveTheGround) {
    runFrames(180);
    const vec3 crate = world->crates[0]->actor->getGlobalPose().p;
    EXPECT_NEAR(crate.x, 16.5f, 0.01f);
    EXPECT_NEAR(crate.z, -20.6f, 0.01f);
    EXPECT_NEAR(crate.y, 0.08f + 0.1f, 0.01f);
    // The drawn cube follows the body origin.
    EXPECT_NEAR(world->crates[0]->modelMatrix[3][1], crate.y, 1e-6f);
}

TEST_F(WorldTest, TheFigureTopplesWhenTheCarDrivesIntoIt) {
    // Left alone, the figure's block lands and stands upright on the plateau.
    runFrames(180);
    const vec3 block = world->figures[0]->actor->getCentreOfMassPose().p;
    EXPECT_NEAR(block.y, 0.08f + 0.4f, 0.02f);
    EXPECT_GT(upOf(world->figures[0]->actor).y, 0.999f);
    const vec3 start = world->figures[0]->actor->getGlobalPose().p;
    runFrames(150, 0);
    const RigidDynamic* figure = world->figures[0]->actor;
    const vec3 moved = figure->getGlobalPose().p - start;
    const bool tipped = upOf(figure).y < 0.8f;
    EXPECT_TRUE(tipped || std::sqrt(moved.x * moved.x + moved.z * moved.z) > 2.0f)
        << "figure at " << figure->getGlobalPose().p.x << ", " << figure->getGlobalPose().p.z;
}

TEST_F(WorldTest, TheWaveSwingsTheRightHandAboutItsOwnZ) {
    const mat4 atRest = world->figures[0]->rightHandTransform;
    // Before any update the hand hangs at -65 degrees about Z.
    const mat4 expected =
        translate(rotate(mat4(1.0f), -65.0f, vec3(0, 0, 1)), vec3(-0.5f, 1.44f, -1.05f));
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            EXPECT_NEAR(atRest[c][r], expected[c][r], 1e-6f);
        }
    }
    glfwSetTime(0.1);  // sin(0.5) > 0: the increment is positive
    world->figures[0]->update();
    const mat4 waved = world->figures[0]->rightHandTransform;
    EXPECT_EQ(waved[3], atRest[3]) << "the pivot stays put";
    EXPECT_NE(waved[0], atRest[0]);
}
