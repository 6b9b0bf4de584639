#include "tools/autopilot/autopilot.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <cmath>
#include <glm/geometric.hpp>

#include "app/input.h"
#include "tests/support/world_fixture.h"
#include "tools/assetgen/route.h"

namespace {

// A car standing `lateral` metres right of the centre line, `along` metres
// down the road, turned `turn` radians to the left of the road's direction.
CarView carOnRoad(float along, float lateral, float turn, float tilt = 0.0f) {
    const std::vector<CentreLinePoint>& points = centreLinePoints();
    size_t i = 0;
    while (i + 1 < points.size() && points[i + 1].distanceAlong <= along) {
        ++i;
    }
    const CentreLinePoint& p = points[i];
    const glm::vec2 right(-p.direction.y, p.direction.x);
    const glm::vec2 at = p.position + right * lateral;
    const float heading = std::atan2(-p.direction.x, -p.direction.y) + turn;
    // Heading about +Y, then a roll about the car's own forward axis.
    Quat yaw{0.0f, std::sin(heading / 2), 0.0f, std::cos(heading / 2)};
    Quat roll{0.0f, 0.0f, std::sin(tilt / 2), std::cos(tilt / 2)};
    // q = yaw * roll
    Quat q{yaw.w * roll.x + yaw.x * roll.w + yaw.y * roll.z - yaw.z * roll.y,
           yaw.w * roll.y - yaw.x * roll.z + yaw.y * roll.w + yaw.z * roll.x,
           yaw.w * roll.z + yaw.x * roll.y - yaw.y * roll.x + yaw.z * roll.w,
           yaw.w * roll.w - yaw.x * roll.x - yaw.y * roll.y - yaw.z * roll.z};
    CarView car;
    car.position = vec3(at.x, 0.68f, at.y);
    car.orientation = q;
    const vec3 anchors[4] = {
        {-0.6f, -0.2f, -1.0f}, {0.6f, -0.2f, -1.0f}, {-0.6f, -0.2f, 1.0f}, {0.6f, -0.2f, 1.0f}};
    for (int w = 0; w < 4; ++w) {
        car.wheels[w] = car.position + rotateVector(q, anchors[w]);
    }
    return car;
}

// The same car `distance` metres further along its own nose.
CarView movedForward(CarView car, float distance) {
    const vec3 step = rotateVector(car.orientation, vec3(0.0f, 0.0f, -distance));
    car.position += step;
    for (vec3& wheel : car.wheels) {
        wheel += step;
    }
    return car;
}

WorldView viewWith(const CarView& car) {
    WorldView view;
    view.car = car;
    for (const glm::vec3& crate : ROUTE_CRATES) {
        view.crates.push_back(vec3(crate.x, 0.18f, crate.z));
    }
    return view;
}

Autopilot drivingPilot() {
    Autopilot pilot;
    pilot.mode = DriveMode::Approach;
    return pilot;
}

}  // namespace

// Decisions on made-up views of the road: what a fault in the controller
// would get wrong long before a whole run shows it.

TEST(AutopilotControls, BrakesWhenHeadingForAnEdgeTooFastToStop) {
    // On the long straight, 4.5 m right of the centre, nose 30 degrees
    // towards the right edge at 8 m/s: the stop would take it over.
    Autopilot pilot = drivingPilot();
    const CarView before = carOnRoad(100.0f, 4.5f, -0.52f);
    decideControls(pilot, viewWith(before), 1);
    const Controls c =
        decideControls(pilot, viewWith(movedForward(before, 8.0f * PHYSICS_STEP)), 1);
    EXPECT_GT(pilot.speed, 7.5f);
    EXPECT_TRUE(c.backward);
    EXPECT_FALSE(c.forward);
    EXPECT_TRUE(pilot.guarded);
}

TEST(AutopilotControls, NeverDrivesOnTowardsANearEdgeAndBacksAwayInTheEnd) {
    // Standing still with the front-right wheel 0.4 m inside the plateau's
    // edge, the nose turned slightly out: the way on lies ahead.
    Autopilot pilot = drivingPilot();
    const WorldView view = viewWith(carOnRoad(100.0f, 5.7f, -0.25f));
    bool backedAway = false;
    for (int frame = 0; frame < 240; ++frame) {
        const Controls c = decideControls(pilot, view, 1);
        ASSERT_FALSE(c.forward) << "frame " << frame;
        backedAway = backedAway || c.backward;
    }
    EXPECT_TRUE(backedAway) << "stuck at the edge for 4 s without reversing";
}

TEST(AutopilotControls, SetsACarOnItsSideUprightWithSpace) {
    Autopilot pilot = drivingPilot();
    const WorldView view = viewWith(carOnRoad(100.0f, 0.0f, 0.0f, 1.5f));
    int presses = 0;
    for (int frame = 0; frame < 60; ++frame) {
        presses += decideControls(pilot, view, 1).upright ? 1 : 0;
    }
    EXPECT_EQ(presses, 1) << "one press, then time to settle";

    Autopilot upright = drivingPilot();
    const WorldView level = viewWith(carOnRoad(100.0f, 0.0f, 0.0f));
    for (int frame = 0; frame < 60; ++frame) {
        ASSERT_FALSE(decideControls(upright, level, 1).upright);
    }
}

TEST(AutopilotControls, StrikesEachCrateTowardsItsNearerEdge) {
    // Crate 2 stands right of the centre line, crate 3 left of it.
    for (int crate : {1, 2}) {
        Autopilot pilot = drivingPilot();
        const float along = crate == 1 ? 45.0f : 85.0f;
        WorldView view = viewWith(carOnRoad(along, 0.0f, 0.0f));
        for (int i = 0; i < crate; ++i) {
            view.crates[i].y = -30.0f;  // already pushed off
        }
        decideControls(pilot, view, 1);
        ASSERT_EQ(pilot.plan.crate, crate);
        const RoadProjection road = projectOntoRoad(ROUTE_CRATES[crate].x, ROUTE_CRATES[crate].z);
        const glm::vec2 right(-road.direction.y, road.direction.x);
        const glm::vec2 toCrate =
            glm::vec2(ROUTE_CRATES[crate].x, ROUTE_CRATES[crate].z) - road.position;
        const int nearer = glm::dot(toCrate, right) > 0.0f ? 1 : -1;
        EXPECT_EQ(pilot.plan.side, nearer) << "crate " << crate + 1;
        // The strike line runs forwards and out towards that edge, and starts
        // on the road with room for the wheels.
        EXPECT_GT(glm::dot(pilot.plan.direction, road.direction), 0.5f);
        EXPECT_GT(glm::dot(pilot.plan.direction, right) * static_cast<float>(nearer), 0.15f);
        const RoadProjection staging = projectOntoRoad(pilot.plan.staging.x, pilot.plan.staging.y);
        EXPECT_LT(staging.distance, staging.halfWidth - 1.5f);
    }
}

TEST(AutopilotControls, StartsAfreshWhenTheLevelIsRebuilt) {
    Autopilot pilot = drivingPilot();
    decideControls(pilot, viewWith(carOnRoad(400.0f, 0.0f, 0.0f)), 1);
    ASSERT_NE(pilot.plan.crate, -1);
    // The car reappears at its start: the level began again.
    decideControls(pilot, viewWith(carOnRoad(0.0f, -7.5f, 0.0f)), 1);
    EXPECT_EQ(pilot.mode, DriveMode::Settle);
    EXPECT_EQ(pilot.plan.crate, -1);
}

TEST(AutopilotControls, SeedsVaryTheRunButRepeat) {
    const AutopilotSettings a = settingsForSeed(3);
    const AutopilotSettings b = settingsForSeed(3);
    const AutopilotSettings c = settingsForSeed(4);
    EXPECT_EQ(a.startDelaySteps, b.startDelaySteps);
    EXPECT_EQ(a.cruiseSpeed, b.cruiseSpeed);
    EXPECT_TRUE(a.startDelaySteps != c.startDelaySteps || a.cruiseSpeed != c.cruiseSpeed);
    EXPECT_EQ(settingsForSeed(0).cruiseSpeed, AutopilotSettings().cruiseSpeed);
}

// The real level, played with the player's keys.

using AutopilotPlay = WorldTest;

TEST_F(AutopilotPlay, KeysAreThePlayersAndAreLetGoAfterTheFrame) {
    runFrames(60);  // the car settles on its wheels
    const vec3 start = chassisPosition();
    Controls forward;
    forward.forward = true;
    for (int frame = 0; frame < 30; ++frame) {
        pressControls(forward);
        stepWorld(static_cast<double>(PHYSICS_STEP));
    }
    EXPECT_LT(chassisPosition().z, start.z - 2.0f) << "the up arrow drives towards -Z";
    EXPECT_FALSE(keys[GLFW_KEY_UP]);
    EXPECT_FALSE(keys[GLFW_KEY_SPACE]);
}

TEST_F(AutopilotPlay, PushesTheFirstCrateOffTheRoadWithinAMinute) {
    Autopilot pilot;
    PlayRecord record;
    FrameClock clock = fixedFrameClock(1.0 / 60.0);
    startPlay(clock);
    const long limit = 60 * 60;  // one minute of game time
    while (record.steps < limit && record.clearedOrder.empty()) {
        playFrame(pilot, record, clock);
    }
    ASSERT_FALSE(record.clearedOrder.empty()) << "no crate fell within a minute";
    EXPECT_EQ(record.clearedOrder.front(), 0) << "crate 1 is the first on the road";
    EXPECT_LE(world->crates[0]->actor->getGlobalPose().p.y, CRATE_FALLEN_HEIGHT);
    EXPECT_EQ(record.falls, 0);
    EXPECT_EQ(world->level, 1);
    // Frames of 1/60 s on the game's timer: each took its step, bar the odd
    // one the timer's rounding left just short.
    EXPECT_LE(record.steps, record.frames);
    EXPECT_GE(record.steps, record.frames - 3);
    // The car is still on the road.
    const vec3 car = chassisPosition();
    EXPECT_TRUE(onRoad(car.x, car.z)) << car.x << ", " << car.z;
}
