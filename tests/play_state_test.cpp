// The game around the simulation, through the real frame: pause and the
// lost focus, the display's switches, the clock and crate count the display
// reads, the messages the rules leave and the best times they keep.
#include "app/play_state.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/camera.h"
#include "app/input.h"
#include "app/main_loop.h"
#include "recordings/recording.h"
#include "recordings/replay.h"
#include "tests/support/frame_fixture.h"
#include "tests/support/game_process.h"
#include "tests/support/gl_context.h"
#include "tests/support/scoped_variable.h"
#include "world/body_hashes.h"
#include "world/physics.h"

namespace {

class PlayFrames : public FrameTest {
protected:
    void SetUp() override {
        FrameTest::SetUp();
        playState.bestTimes = BestTimes();
    }
    void TearDown() override {
        playState.bestTimes = BestTimes();
        FrameTest::TearDown();
    }
};

}  // namespace

// While paused nothing steps, no frame time is owed and held keys do
// nothing, at every frame time from 1/144 to 1/5 s and through a one-second
// stutter. And the pause is invisible to the simulation: the same frames
// with a pause in the middle end in the very same world as without it
// (checked bit for bit at frame times whose sums the float timer holds
// exactly; at others the timer's rounding of later, larger clock values
// alone would tell the runs apart).
TEST_F(PlayFrames, APauseStopsStepsAndOwedTimeAndGoesOnExactlyWhereItStopped) {
    struct FrameTime {
        double seconds;
        bool exactOnTheTimer;
    };
    const FrameTime frameTimes[] = {{1.0 / 144, false}, {1.0 / 128, true}, {1.0 / 60, false},
                                    {1.0 / 32, true},   {1.0 / 8, true},   {1.0 / 5, false}};
    for (const FrameTime& frameTime : frameTimes) {
        const double seconds = frameTime.seconds;
        SCOPED_TRACE("frame time " + std::to_string(seconds));
        auto play = [&](bool pause) {
            restart();
            frame(seconds, [] { press(GLFW_KEY_UP); });
            for (int i = 0; i < 40; ++i) {
                frame(seconds);
            }
            if (pause) {
                frame(seconds, [] { tap(GLFW_KEY_P); });
                EXPECT_TRUE(playState.paused);
                const double owed = physicsAccumulator;
                const long steps = world->levelSteps;
                const uint64_t hash = worldHash(*world);
                for (int i = 0; i < 8; ++i) {
                    EXPECT_FALSE(frame(i == 3 ? 1.0 : seconds));
                }
                EXPECT_EQ(physicsAccumulator, owed);
                EXPECT_EQ(world->levelSteps, steps);
                EXPECT_EQ(worldHash(*world), hash) << "a body moved while paused";
                EXPECT_TRUE(keys[GLFW_KEY_UP]);
            }
            // The frame that lets go of the pause is an ordinary frame.
            frame(seconds, [pause] {
                if (pause) {
                    tap(GLFW_KEY_P);
                }
            });
            EXPECT_FALSE(playState.paused);
            EXPECT_NEAR(deltaTime, seconds, 1e-5);
            for (int i = 0; i < 40; ++i) {
                frame(seconds);
            }
            return worldHash(*world);
        };
        const uint64_t straight = play(false);
        const long straightSteps = world->levelSteps;
        const uint64_t withPause = play(true);
        EXPECT_GT(world->levelSteps, 0);
        if (frameTime.exactOnTheTimer) {
            EXPECT_EQ(withPause, straight);
            EXPECT_EQ(world->levelSteps, straightSteps);
        } else {
            EXPECT_NEAR(world->levelSteps, straightSteps, 1);
        }
    }
}

// A paused frame drops what was pressed in it: a level key pressed while
// paused does not act when the game goes on.
TEST_F(PlayFrames, KeysPressedWhilePausedDoNotActLater) {
    frame(1.0 / 60);
    frame(1.0 / 60, [] { tap(GLFW_KEY_P); });
    frame(1.0 / 60, [] { tap(GLFW_KEY_2); });
    frame(1.0 / 60, [] { tap(GLFW_KEY_C); });
    {
        StdoutCapture capture;
        frame(1.0 / 60, [] { tap(GLFW_KEY_X); });
        frame(1.0 / 60, [] { tap(GLFW_KEY_P); });
        EXPECT_EQ(capture.text(), "") << "the position was printed for an X pressed while paused";
    }
    EXPECT_FALSE(freeCamera);
    EXPECT_EQ(world->layoutNumber, 1);
    // Escape still quits from a paused game (the window's close flag is set
    // in the callback; there is no window here, so only the key is seen).
    frame(1.0 / 60, [] { tap(GLFW_KEY_P); });
    frame(1.0 / 60, [] { press(GLFW_KEY_ESCAPE); });
    EXPECT_TRUE(keys[GLFW_KEY_ESCAPE]);
}

// P, H and F1 taps that begin and end between two frames act once each;
// two taps in one frame flip twice.
TEST_F(PlayFrames, TapsOfPauseDisplayAndControlsActOncePerTapBetweenFrames) {
    EXPECT_TRUE(playState.hudShown);
    EXPECT_FALSE(playState.controlsShown);
    frame(0.2, [] {
        tap(GLFW_KEY_P);
        tap(GLFW_KEY_H);
        tap(GLFW_KEY_F1);
    });
    EXPECT_TRUE(playState.paused);
    EXPECT_FALSE(playState.hudShown);
    EXPECT_TRUE(playState.controlsShown);
    // Hidden, the display still says the game is paused and shows the
    // controls asked for, and nothing else.
    const HudView view = hudView();
    EXPECT_EQ(view.centre, std::vector<std::string>{"Paused - P to go on"});
    EXPECT_FALSE(view.controls.empty());
    EXPECT_TRUE(view.status.empty());
    // Held for many frames, a toggle still flips once.
    frame(0.2, [] { press(GLFW_KEY_H); });
    frame(0.2);
    frame(0.2, [] { release(GLFW_KEY_H); });
    EXPECT_TRUE(playState.hudShown);
    frame(0.2, [] {
        tap(GLFW_KEY_F1);
        tap(GLFW_KEY_F1);
    });
    EXPECT_TRUE(playState.controlsShown);
    frame(0.2, [] { tap(GLFW_KEY_P); });
    EXPECT_FALSE(playState.paused);
}

// Losing the focus pauses, as switching to another window should; the
// focus lost and given back within one frame's events (the window does so
// when it captures the cursor) does not. Getting it back does not go on by
// itself: the player says when.
TEST_F(PlayFrames, ALostFocusPausesButABlipDoesNot) {
    frame(1.0 / 60, [] {
        onWindowFocus(nullptr, GLFW_FALSE);
        onWindowFocus(nullptr, GLFW_TRUE);
    });
    EXPECT_FALSE(playState.paused);
    frame(1.0 / 60, [] { onWindowFocus(nullptr, GLFW_FALSE); });
    EXPECT_TRUE(playState.paused);
    frame(1.0 / 60, [] { onWindowFocus(nullptr, GLFW_TRUE); });
    EXPECT_TRUE(playState.paused);
    EXPECT_FALSE(frame(1.0 / 60));
    frame(1.0 / 60, [] { tap(GLFW_KEY_P); });
    EXPECT_FALSE(playState.paused);
}

// What the display reads comes from the world through the real rules: the
// clock counts steps of game time, a crate below the rule's height lowers
// the count, a clear leaves its message and its best time and starts the
// next level's clock, a fall says so and starts the clock again.
TEST_F(PlayFrames, TheClockCountsAndMessagesFollowTheRules) {
    for (int i = 0; i < 90; ++i) {
        frame(1.0 / 30);  // one step a frame below 60 frames a second
    }
    EXPECT_EQ(world->levelSteps, 90);
    HudView view = hudView();
    ASSERT_EQ(view.status.size(), 3u);
    EXPECT_EQ(view.status[0], "Level 1");
    EXPECT_EQ(view.status[1], "Crates 18 / 18");
    EXPECT_EQ(view.status[2], "0:01.5");
    EXPECT_EQ(view.hint, "F1 controls");

    // Just below the rule's height, away from the ground: it counts as gone.
    Pose pose = world->crates[4]->actor->getGlobalPose();
    pose.p = vec3(120.0f, -20.5f, 0.0f);
    world->crates[4]->actor->setGlobalPose(pose, true);
    frame(1.0 / 30);
    EXPECT_EQ(hudView().status[1], "Crates 17 / 18");

    dropAllCrates();
    frame(1.0 / 30);
    ASSERT_EQ(world->level, 2);
    EXPECT_EQ(world->levelSteps, 0);
    view = hudView();
    EXPECT_EQ(view.status[0], "Level 2");
    EXPECT_EQ(view.status[1], "Crates 18 / 18");
    EXPECT_EQ(view.status[2], "0:00.0");
    ASSERT_EQ(view.centre.size(), 1u);
    EXPECT_EQ(view.centre[0], "Level 1 cleared in 0:01.5 - new best!");
    EXPECT_EQ(playState.bestTimes.bestFor(LayoutKind::Default), 92);
    // Level 2 has a layout of its own, with no best time yet.
    EXPECT_EQ(view.status.size(), 3u);

    // The message lasts three seconds of game time, however long the frames.
    for (int i = 0; i < MESSAGE_STEPS - 1; ++i) {
        frame(1.0 / 30);
    }
    EXPECT_EQ(hudView().centre.size(), 1u);
    frame(1.0 / 30);
    EXPECT_TRUE(hudView().centre.empty());
    // The hint for the controls goes after the game's first seconds.
    EXPECT_FALSE(hudView().hint.empty());
    while (playState.gameSteps < CONTROLS_HINT_STEPS) {
        frame(1.0 / 30);
    }
    EXPECT_TRUE(hudView().hint.empty());

    Pose chassis = world->car->chassis->getGlobalPose();
    chassis.p.y = -60.0f;
    world->car->chassis->setGlobalPose(chassis, true);
    frame(1.0 / 30);
    EXPECT_EQ(world->level, 2);
    EXPECT_EQ(world->levelSteps, 0);
    ASSERT_EQ(hudView().centre.size(), 1u);
    EXPECT_EQ(hudView().centre[0], "The car fell - the level starts again");

    // A layout key builds the level afresh: its clock starts again too.
    for (int i = 0; i < 10; ++i) {
        frame(1.0 / 30);
    }
    frame(1.0 / 30, [] { tap(GLFW_KEY_1); });
    EXPECT_EQ(world->levelSteps, 1);
}

// A slower clear keeps the best; a faster one beats it; each layout keeps
// its own. The display shows the best of the layout being played.
TEST_F(PlayFrames, BestTimesAreKeptPerLayoutInTheirFile) {
    const std::string folder = scratchDirectory("play-best-times");
    playState.bestTimes.path = folder + "/best-times";
    auto clearAfter = [&](int steps) {
        for (int i = 1; i < steps; ++i) {
            frame(1.0 / 30);
        }
        dropAllCrates();
        frame(1.0 / 30);
        return hudView().centre.back();
    };
    EXPECT_EQ(clearAfter(120), "Level 1 cleared in 0:02.0 - new best!");
    // Level 2 now: its own layout.
    EXPECT_EQ(clearAfter(60), "Level 2 cleared in 0:01.0 - new best!");
    EXPECT_EQ(clearAfter(150), "Level 3 cleared in 0:02.5");
    EXPECT_EQ(hudView().status.back(), "Best 0:02.0");
    EXPECT_EQ(clearAfter(100), "Level 4 cleared in 0:01.6 - new best!");
    std::ifstream in(playState.bestTimes.path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("\ndefault 100 "), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("\nlevel-2 60 "), std::string::npos) << text.str();

    // The next game reads them back.
    BestTimes again;
    again.path = playState.bestTimes.path;
    StdoutCapture quiet;
    again.load(std::cout);
    EXPECT_EQ(quiet.text(), "");
    EXPECT_EQ(again.bestFor(LayoutKind::Default), 100);
    EXPECT_EQ(again.bestFor(LayoutKind::LevelTwo), 60);
}

// ---------------------------------------------------------------------------
// The real game, with real key events under X

namespace {

int recordedFrames(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return static_cast<int>(linesStartingWith(text.str(), "frame ").size());
}

// Waits until the game has run `frames` more frames, or has exited, or a
// generous deadline passes.
bool framesGoBy(GameProcess& game, const std::string& recordingPath, int frames) {
    const int until = recordedFrames(recordingPath) + frames;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (game.running() && std::chrono::steady_clock::now() < deadline) {
        if (recordedFrames(recordingPath) >= until) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return recordedFrames(recordingPath) >= until;
}

}  // namespace

// Up held throughout: P pauses (the car stands), F1 shows the controls, P
// goes on (an X then is answered), Escape quits. Replaying the recording shows the same: the paused
// frames took no step and moved nothing, though Up was down.
TEST(Play, PauseControlsAndGoingOnWithRealKeysReplayAsPlayed) {
    const std::string folder = scratchDirectory("play-pause-game");
    const std::string recordingPath = folder + "/game.rec";
    const ScopedVariable data("XDG_DATA_HOME", folder.c_str());
    GameStart start;
    start.arguments = {"--windowed", "--record", recordingPath};
    GameProcess game(start);
    const std::string window = game.findWindow();
    ASSERT_FALSE(window.empty()) << game.report();
    ASSERT_TRUE(pressKey(window, "Up"));
    // The game is under way, driving, once it answers an X.
    ASSERT_TRUE(answersX(game, window)) << game.report();
    EXPECT_TRUE(tapKey(window, "p"));
    EXPECT_TRUE(tapKey(window, "F1"));
    // Paused for a few frames, however slow they are: the recording gets a
    // line for every frame as it ends.
    EXPECT_TRUE(framesGoBy(game, recordingPath, 5));
    EXPECT_TRUE(tapKey(window, "p"));
    EXPECT_TRUE(answersX(game, window)) << game.report();
    EXPECT_TRUE(releaseKey(window, "Up"));
    // Paused again, Escape still quits.
    EXPECT_TRUE(tapKey(window, "p"));
    EXPECT_TRUE(framesGoBy(game, recordingPath, 2));
    EXPECT_EQ(game.quitWithEscape(window), 0) << game.report();
    EXPECT_EQ(game.output().find("ERROR"), std::string::npos) << game.report();

    Recording recording;
    std::string problem;
    ASSERT_TRUE(readRecording(recordingPath, recording, problem)) << problem;
    GLFWwindow* context = testGlContext();
    ASSERT_NE(context, nullptr);
    resetGameState();
    auto replayWorld = std::make_unique<World>();
    world = replayWorld.get();
    int pausedFrames = 0, pauses = 0, stepsBefore = 0, stepsAfter = 0;
    bool sawControls = false, wentOn = false, movedWhilePaused = false, wasPaused = false;
    uint64_t pausedHash = 0;
    replayFrames(context, FramePrograms{}, recording, false, [&](int) {
        sawControls |= playState.controlsShown;
        const bool paused = playState.paused;
        if (paused) {
            const uint64_t hash = worldHash(*world);
            movedWhilePaused |= wasPaused && hash != pausedHash;
            pausedHash = hash;
            pauses += wasPaused ? 0 : 1;
            ++pausedFrames;
        } else if (pausedFrames == 0) {
            stepsBefore = static_cast<int>(world->levelSteps);
        } else {
            wentOn = true;
            stepsAfter = static_cast<int>(world->levelSteps);
        }
        wasPaused = paused;
    });
    EXPECT_GT(stepsBefore, 0);
    EXPECT_GT(pausedFrames, 1);
    EXPECT_EQ(pauses, 2);
    EXPECT_TRUE(wasPaused) << "the game ended paused";
    EXPECT_FALSE(movedWhilePaused);
    EXPECT_TRUE(sawControls);
    EXPECT_TRUE(wentOn);
    EXPECT_GT(stepsAfter, stepsBefore);
    world = nullptr;
    replayWorld.reset();
    resetGameState();
}
