#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <glm/gtc/quaternion.hpp>
#include <sstream>
#include <string>

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
        driveWorldCar(0);
        driveWorldCar(1);
        driveCar(*world->car, 0, 0.0f);
        driveCar(*world->car, 3, 0.0f);
        driveWorldCar(7);
        driveWorldCar(-1);
        stepWorld(1.0 / 60.0, 0.0);
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
        driveWorldCar(0);
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
    world->figures[0]->update(0.1);  // sin(0.5) > 0: the increment is positive
    const mat4 waved = world->figures[0]->rightHandTransform;
    EXPECT_EQ(waved[3], atRest[3]) << "the pivot stays put";
    EXPECT_NE(waved[0], atRest[0]);
}

namespace {

// Holds Up with the real key handling for frames of `frameTime` until
// `steps` physics steps were taken; returns the chassis speed and the span
// of its height on the way.
struct DriveResult {
    float speed = 0.0f;
    float lowest = 1e9f;
    float highest = -1e9f;
    float lowestUp = 1.0f;
};

DriveResult holdUpFor(int steps, float frameTime) {
    DriveResult result;
    keys[GLFW_KEY_UP] = true;
    deltaTime = frameTime;
    for (int taken = 0; taken < steps;) {
        applyHeldKeys();
        taken += stepWorld(static_cast<double>(frameTime), 0.0) ? 1 : 0;
        const RigidDynamic* chassis = world->car->chassis;
        result.lowest = std::min(result.lowest, chassis->getGlobalPose().p.y);
        result.highest = std::max(result.highest, chassis->getGlobalPose().p.y);
        result.lowestUp = std::min(result.lowestUp, upOf(chassis).y);
    }
    keys[GLFW_KEY_UP] = false;
    result.speed = glm::length(world->car->chassis->getLinearVelocity());
    return result;
}

// Angle in radians between two orientations, from the relative rotation's
// vector part (acos of a dot product near 1 would lose the small angles).
float turnBetween(const Quat& a, const Quat& b) {
    const glm::dquat relative =
        glm::dquat(b.w, b.x, b.y, b.z) * glm::conjugate(glm::dquat(a.w, a.x, a.y, a.z));
    const double sine = glm::length(glm::dvec3(relative.x, relative.y, relative.z));
    return static_cast<float>(2.0 * std::atan2(sine, std::fabs(relative.w)));
}

}  // namespace

// Below 60 frames a second every frame takes one step, above it several
// frames share one: the push per step, and so the car, must not change.
TEST_F(WorldTest, HoldingUpDrivesTheSameAtAnyFrameRate) {
    resetInput();
    const float frameTimes[] = {1.0f / 144.0f, 1.0f / 60.0f, 1.0f / 30.0f, 1.0f / 7.0f, 0.5f, 1.0f};
    float reference = 0.0f;
    for (float frameTime : frameTimes) {
        SCOPED_TRACE("frame time " + std::to_string(frameTime));
        world->loadLevel(1);
        physicsAccumulator = 0.0;
        runFrames(60);  // the car settles on its wheels
        const DriveResult drive = holdUpFor(60, frameTime);
        if (reference == 0.0f) {
            reference = drive.speed;
            EXPECT_GT(reference, 10.0f) << "about 15 m/s after a second";
        }
        EXPECT_NEAR(drive.speed, reference, 0.05f * reference);
        // On its wheels on the plateau (0.08 + wheel 0.4 + 0.2) all the way.
        EXPECT_GT(drive.lowest, 0.6f);
        EXPECT_LT(drive.highest, 0.8f);
        EXPECT_GT(drive.lowestUp, 0.98f);
    }

    // After a stutter every frame takes a step until the owed time is used
    // up: short frames then must push each step as hard as ever.
    world->loadLevel(1);
    physicsAccumulator = 0.0;
    runFrames(60);
    stepWorld(1.0, 0.0);
    const DriveResult catchingUp = holdUpFor(60, 1.0f / 144.0f);
    EXPECT_GT(physicsAccumulator, 0.1) << "still catching up";
    EXPECT_NEAR(catchingUp.speed, reference, 0.05f * reference) << "after a stutter";
}

// However hard the car is hit or steered, its chassis turns at most its cap
// of 1 rad/s within every single step.
TEST_F(WorldTest, TheChassisNeverTurnsFasterThanItsCapWithinAStep) {
    const float stepCap = 1.0f * PHYSICS_STEP * 1.0001f;
    float worst = 0.0f;
    auto watch = [&](int frames, int command, int secondCommand) {
        for (int frame = 0; frame < frames; ++frame) {
            const RigidDynamic* chassis = world->car->chassis;
            const Quat before = chassis->getGlobalPose().q;
            deltaTime = PHYSICS_STEP;
            driveWorldCar(command);
            driveWorldCar(secondCommand);
            stepWorld(static_cast<double>(PHYSICS_STEP), 0.0);
            ASSERT_EQ(world->car->chassis, chassis) << "the car fell off: no strike measured";
            worst = std::max(worst, turnBetween(before, chassis->getGlobalPose().q));
        }
    };
    runFrames(60);
    // Full steering at speed, both ways.
    watch(90, 0, -1);
    watch(45, 0, 2);
    watch(45, 0, 3);
    EXPECT_LE(worst, stepCap) << "steering";

    // Hard strikes: crates dropped onto the car and standing in its way.
    world->loadLevel(1);
    runFrames(60);
    for (int i = 0; i < 6; ++i) {
        Pose pose;
        pose.p = vec3(2.0f + 0.4f * static_cast<float>(i % 3 - 1), 0.6f,
                      -12.0f - 6.0f * static_cast<float>(i));
        world->crates[static_cast<size_t>(i)]->actor->setGlobalPose(pose, true);
    }
    Pose above;
    above.p = vec3(2.6f, 3.0f, -1.0f);
    world->crates[6]->actor->setGlobalPose(above, true);
    watch(240, 0, -1);
    EXPECT_LE(worst, stepCap) << "crate strikes";
}
