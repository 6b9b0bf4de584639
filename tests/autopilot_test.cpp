#include "tools/autopilot/autopilot.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <glm/geometric.hpp>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/input.h"
#include "app/play_state.h"
#include "tests/support/world_fixture.h"
#include "tools/assetgen/route.h"

namespace {

float headingOfDirection(glm::vec2 direction) {
    return std::atan2(-direction.x, -direction.y);
}

// A car standing on the road's surface at `at` (x, z) with a heading (0
// faces -Z, growing to the left) and a roll.
CarView carAt(glm::vec2 at, float heading, float tilt = 0.0f) {
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
    return carAt(p.position + right * lateral, headingOfDirection(p.direction) + turn, tilt);
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

TEST(AutopilotControls, JudgesMotionOverGameTimeNotFrames) {
    // 8 m/s towards the right edge, turning left at 0.6 rad/s, seen over one
    // physics step; then frames that took no step show the same picture.
    Autopilot pilot = drivingPilot();
    const CarView before = carOnRoad(100.0f, 4.5f, -0.52f);
    CarView after = movedForward(before, 8.0f * PHYSICS_STEP);
    after.orientation = carOnRoad(100.0f, 4.5f, -0.52f + 0.6f * PHYSICS_STEP).orientation;
    decideControls(pilot, viewWith(before), 1);
    decideControls(pilot, viewWith(after), 1);
    EXPECT_NEAR(pilot.speed, 8.0f, 0.1f);
    EXPECT_NEAR(pilot.yawRate, 0.6f, 0.05f);
    for (int frame = 0; frame < 3; ++frame) {
        const Controls c = decideControls(pilot, viewWith(after), 0);
        EXPECT_NEAR(pilot.speed, 8.0f, 0.1f) << "frame " << frame << " took no step";
        EXPECT_NEAR(pilot.yawRate, 0.6f, 0.05f) << "frame " << frame << " took no step";
        EXPECT_TRUE(c.backward) << "still heading for the edge";
    }
    // The next step's motion is measured from the last picture.
    decideControls(pilot, viewWith(movedForward(after, 3.0f * PHYSICS_STEP)), 1);
    EXPECT_NEAR(pilot.speed, 3.0f, 0.1f);
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

TEST(AutopilotControls, LeavesAnEdgeMarginItIsAlreadyInside) {
    // Standing still with the rear-right wheel 0.3 m inside the plateau's
    // edge, the nose turned in: backing up would take that wheel further
    // out, driving on brings it in.
    Autopilot pilot = drivingPilot();
    const WorldView view = viewWith(carOnRoad(100.0f, 5.8f, 0.25f));
    bool drove = false;
    for (int frame = 0; frame < 240; ++frame) {
        const Controls c = decideControls(pilot, view, 1);
        ASSERT_FALSE(c.backward) << "frame " << frame;
        drove = drove || c.forward;
    }
    EXPECT_TRUE(drove) << "stood at the edge for 4 s without driving away from it";
}

TEST(AutopilotControls, TurnsBackForACrateItHasPassed) {
    // Crate 2 is the target; the car stands 4 m beyond it on the line it
    // would strike along, facing along it: that line leads away from the
    // crate now.
    WorldView view = viewWith(carOnRoad(45.0f, 0.0f, 0.0f));
    view.crates[0].y = -30.0f;
    Autopilot planner = drivingPilot();
    decideControls(planner, view, 1);
    ASSERT_EQ(planner.plan.crate, 1);
    const glm::vec2 crate(view.crates[1].x, view.crates[1].z);
    const glm::vec2 line = planner.plan.direction;
    view.car = carAt(crate + line * 4.0f, headingOfDirection(line));

    Autopilot pilot = drivingPilot();
    bool backed = false;
    for (int frame = 0; frame < 10; ++frame) {
        const Controls c = decideControls(pilot, view, 1);
        ASSERT_EQ(pilot.plan.crate, 1);
        ASSERT_GT(glm::dot(pilot.plan.direction, line), 0.95f) << "the same strike line";
        ASSERT_FALSE(c.forward) << "frame " << frame << ": drives on away from the crate";
        backed = backed || c.backward;
    }
    EXPECT_TRUE(backed) << "no turn back towards the crate";
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

TEST(AutopilotFrameClock, JitterSpansTheFrameRatesAndRepeats) {
    FrameClock a = jitterFrameClock(7);
    FrameClock b = jitterFrameClock(7);
    FrameClock c = jitterFrameClock(8);
    double shortest = 1.0;
    double longest = 0.0;
    int shorterThanAStep = 0;
    int differ = 0;
    const int frames = 20000;
    for (int frame = 0; frame < frames; ++frame) {
        const double t = nextFrameTime(a);
        ASSERT_GE(t, SHORTEST_FRAME_TIME);
        ASSERT_LE(t, LONGEST_FRAME_TIME);
        ASSERT_EQ(t, nextFrameTime(b)) << "frame " << frame;
        differ += t != nextFrameTime(c) ? 1 : 0;
        shortest = std::min(shortest, t);
        longest = std::max(longest, t);
        shorterThanAStep += t < static_cast<double>(PHYSICS_STEP) ? 1 : 0;
    }
    EXPECT_LT(shortest, 1.0 / 120.0);
    EXPECT_EQ(longest, LONGEST_FRAME_TIME) << "stutters of 1/5 s";
    // Both kinds of frame are common: many that take no step, many that
    // owe more than one.
    EXPECT_GT(shorterThanAStep, frames / 5);
    EXPECT_LT(shorterThanAStep, frames * 4 / 5);
    EXPECT_GT(differ, frames / 2) << "another seed, other frame times";
    FrameClock fixed = fixedFrameClock(1.0 / 7.0);
    EXPECT_EQ(nextFrameTime(fixed), 1.0 / 7.0);
    EXPECT_EQ(nextFrameTime(fixed), 1.0 / 7.0);
}

// The real level, played with the player's keys.

using AutopilotPlay = WorldTest;

namespace {

// Plays the current level through the frame loop until the next level is
// built, `crates` crates have gone off or `minutes` of game time have
// passed.
PlayRecord playLevel(unsigned seed, FrameClock clock, double minutes, size_t crates = CRATE_COUNT) {
    Autopilot pilot;
    pilot.settings = settingsForSeed(seed);
    PlayRecord record;
    startPlay(clock);
    const int level = world->level;
    const long limit = std::lround(minutes * 60.0 / gameSeconds(1));
    while (record.steps < limit && world->level == level && record.clearedOrder.size() < crates) {
        playFrame(pilot, record, clock);
    }
    return record;
}

void startOnLayout(int number) {
    world->loadLevel(number);
    world->level = number;
}

// The car's position after every second of game time.
std::vector<vec3> carTrack(unsigned seed, FrameClock clock, int seconds) {
    Autopilot pilot;
    pilot.settings = settingsForSeed(seed);
    PlayRecord record;
    startPlay(clock);
    std::vector<vec3> track;
    while (static_cast<int>(track.size()) < seconds) {
        playFrame(pilot, record, clock);
        if (record.lastFrameSteps > 0 && record.steps % 60 == 0) {
            track.push_back(chassisPosition());
        }
    }
    return track;
}

// The run's figures, as the autopilot tool prints them, for the test log.
void printRecord(const std::string& run, const PlayRecord& record) {
    std::cout << run << ": cleared " << record.clearedOrder.size() << "/" << CRATE_COUNT << " in "
              << gameSeconds(record.steps) << " s of game time, falls " << record.falls << ", "
              << record.frames << " frames, " << record.steps << " steps" << std::endl;
}

}  // namespace

TEST_F(AutopilotPlay, KeysAreThePlayersAndAreLetGoAfterTheFrame) {
    runFrames(60);  // the car settles on its wheels
    const vec3 start = chassisPosition();
    Controls forward;
    forward.forward = true;
    for (int frame = 0; frame < 30; ++frame) {
        pressControls(forward);
        stepWorld(static_cast<double>(PHYSICS_STEP), 0.0);
    }
    EXPECT_LT(chassisPosition().z, start.z - 2.0f) << "the up arrow drives towards -Z";
    EXPECT_FALSE(keys[GLFW_KEY_UP]);
    EXPECT_FALSE(keys[GLFW_KEY_SPACE]);
}

TEST_F(AutopilotPlay, ClearsLevelOneThenLayoutTwoAtSevenFramesASecond) {
    // Each 1/7 s frame takes one step: the game runs at 7/60 of its speed,
    // and the autopilot must play it as it plays at 60.
    const FrameClock slow = fixedFrameClock(1.0 / 7.0);
    playState.bestTimes = BestTimes();
    const PlayRecord first = playLevel(1, slow, 10.0);
    printRecord("level 1, seed 1, 1/7 s frames", first);
    ASSERT_EQ(world->level, 2) << first.clearedOrder.size() << " crates in 10 minutes";
    EXPECT_EQ(first.falls, 0);
    EXPECT_EQ(first.steps, first.frames);
    // The clear counts like a player's, in the time the autopilot gives.
    EXPECT_EQ(playState.bestTimes.bestFor(LayoutKind::Default), first.steps);
    EXPECT_STREQ(layoutFor(world->level).carModel, "Vrom2/model/car3/car3.obj");
    const PlayRecord second = playLevel(3, slow, 10.0);
    printRecord("layout 2 after it, seed 3, 1/7 s frames", second);
    EXPECT_EQ(world->level, 3) << second.clearedOrder.size() << " crates in 10 minutes";
    EXPECT_EQ(second.falls, 0);
    EXPECT_EQ(second.steps, second.frames);
    EXPECT_EQ(playState.bestTimes.bestFor(LayoutKind::LevelTwo), second.steps);
}

TEST_F(AutopilotPlay, ClearsLevelOneAndLayoutTwoWhenFramesJitter) {
    // Whole levels at wandering frame times with stutters. The time the slow
    // stretches leave owed is never shed, so the short frames after them go
    // on taking a step each, and each must push a whole step: a drive that
    // pushed only a short frame's share would crawl there.
    struct Case {
        int layout;
        unsigned seed;
    };
    for (const Case c : {Case{1, 2}, Case{2, 4}}) {
        SCOPED_TRACE("layout " + std::to_string(c.layout) + ", seed " + std::to_string(c.seed));
        startOnLayout(c.layout);
        const PlayRecord record = playLevel(c.seed, jitterFrameClock(c.seed), 10.0);
        printRecord(
            "layout " + std::to_string(c.layout) + ", seed " + std::to_string(c.seed) + ", jitter",
            record);
        EXPECT_EQ(world->level, c.layout + 1)
            << record.clearedOrder.size() << " crates in 10 minutes";
        EXPECT_EQ(record.falls, 0);
    }
}

TEST_F(AutopilotPlay, AFrameLongerThanAStepPlaysLikeAnyOther) {
    // At 1/30 s and at 1/7 s every frame takes one step with the same keys:
    // the same run, step for step.
    const std::vector<vec3> thirty = carTrack(2, fixedFrameClock(1.0 / 30.0), 40);
    world = nullptr;
    owned.reset();
    owned = std::make_unique<World>();
    world = owned.get();
    const std::vector<vec3> seven = carTrack(2, fixedFrameClock(1.0 / 7.0), 40);
    ASSERT_EQ(thirty.size(), seven.size());
    for (size_t second = 0; second < thirty.size(); ++second) {
        EXPECT_LT(glm::length(thirty[second] - seven[second]), 1e-3f)
            << "after " << second + 1 << " s";
    }
    EXPECT_GT(glm::length(thirty.back() - thirty.front()), 20.0f) << "the car drove";
}

TEST_F(AutopilotPlay, PushesCratesOffWhenFramesAreShortOrJitter) {
    // At 1/144 s most frames take no step; the jitter mixes such stretches
    // with slow ones and stutters. Six crates are off by about two minutes
    // in these runs.
    struct Case {
        const char* name;
        int layout;
        unsigned seed;
        FrameClock clock;
    };
    const Case cases[] = {{"1/144 s frames, level 1", 1, 1, fixedFrameClock(1.0 / 144.0)},
                          {"jitter, level 1", 1, 3, jitterFrameClock(3)},
                          {"jitter, layout 2", 2, 5, jitterFrameClock(5)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        startOnLayout(c.layout);
        const PlayRecord record = playLevel(c.seed, c.clock, 3.0, 6);
        EXPECT_EQ(record.clearedOrder.size(), 6u);
        EXPECT_EQ(record.falls, 0);
        EXPECT_EQ(world->level, c.layout);
        const vec3 car = chassisPosition();
        EXPECT_TRUE(onRoad(car.x, car.z)) << car.x << ", " << car.z;
    }
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
