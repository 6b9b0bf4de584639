// Watching a recording: the pace of the frames on the wall clock, the
// watcher's keys (pause, step, speed, free camera) that never reach the
// game, and the real tool in a window with real key events.
#include "recordings/watch.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/input.h"
#include "app/main_loop.h"
#include "app/play_state.h"
#include "recordings/replay.h"
#include "tests/support/game_process.h"
#include "tests/support/gl_context.h"
#include "world/body_hashes.h"
#include "world/world.h"

namespace {

TEST(PlaybackPace, FramesFallDueAtTheirRecordedDistanceTimesTheSpeed) {
    PlaybackPace pace;
    pace.anchor(100.0, 2.0);
    EXPECT_DOUBLE_EQ(pace.dueAt(2.5), 100.5);
    EXPECT_DOUBLE_EQ(pace.recordedAt(101.0), 3.0);
    // Twice as fast from wall time 101: recorded 3.0 is reached there, and
    // from then on a recorded second takes half a second.
    pace.setSpeed(2.0, 101.0);
    EXPECT_DOUBLE_EQ(pace.dueAt(3.0), 101.0);
    EXPECT_DOUBLE_EQ(pace.dueAt(4.0), 101.5);
    pace.setSpeed(0.5, 101.5);
    EXPECT_DOUBLE_EQ(pace.dueAt(4.0), 101.5);
    EXPECT_DOUBLE_EQ(pace.dueAt(5.0), 103.5);
}

Recording checkedIn(const std::string& name) {
    Recording recording;
    std::string problem;
    EXPECT_TRUE(readRecording(sourcePath("tests/recordings/" + name), recording, problem))
        << problem;
    return recording;
}

// What a run leaves after every frame: the world's hash and where the game's
// own camera stands.
struct FrameRecord {
    uint64_t hash = 0;
    vec3 gameCamera{0.0f};
    double wall = 0.0;
};

std::vector<FrameRecord> hiddenReplay(const Recording& recording) {
    resetGameState();
    auto replayWorld = std::make_unique<World>();
    world = replayWorld.get();
    std::vector<FrameRecord> frames;
    replayFrames(testGlContext(), FramePrograms{}, recording, false, [&](int) {
        frames.push_back({worldHash(*world), camera.position, 0.0});
    });
    world = nullptr;
    return frames;
}

// A watcher's key at a time on the watch's own clock.
struct ScriptedKey {
    double at;
    int key;
    int action;
};

// Watches the recording on a clock of the test's own: waiting moves it on
// and hands over the watcher's keys that fall due; each frame costs
// `frameCost` seconds of it (a machine that draws slowly).
struct ScriptedWatch {
    std::vector<ScriptedKey> keys;
    double frameCost = 0.0;
    double now = 0.0;
    size_t next = 0;
    WatchState state;
    std::vector<FrameRecord> frames;
    WatchOutcome outcome;

    double closeAt = -1.0;  // when the window's close button is clicked, if ever

    void deliverUntil(double time) {
        while (next < keys.size() && keys[next].at <= time) {
            onWatchKey(testGlContext(), keys[next].key, 0, keys[next].action, 0);
            ++next;
        }
        if (closeAt >= 0.0 && closeAt <= time) {
            glfwSetWindowShouldClose(testGlContext(), GLFW_TRUE);
        }
        now = std::max(now, time);
    }

    void run(const Recording& recording, const GamePrograms& programs) {
        resetGameState();
        auto replayWorld = std::make_unique<World>();
        world = replayWorld.get();
        GLFWwindow* window = testGlContext();
        // A fresh window: a hidden replay's recorded Escape closes this one.
        glfwSetWindowShouldClose(window, GLFW_FALSE);
        glfwSetWindowUserPointer(window, &state);
        const WatchClock clock{[this] { return now; },
                               [this](double seconds) { deliverUntil(now + seconds); }};
        outcome = watchFrames(window, programs.ids(), nullptr, recording, state, clock, [&](int) {
            frames.push_back({worldHash(*world), camera.position, now});
            now += frameCost;
        });
        glfwSetWindowUserPointer(window, nullptr);
        glfwSetWindowShouldClose(window, GLFW_FALSE);  // the context serves other tests
        world = nullptr;
    }
};

std::vector<ScriptedKey> taps(double at, int key) {
    return {{at, key, GLFW_PRESS}, {at + 0.01, key, GLFW_RELEASE}};
}

void append(std::vector<ScriptedKey>& to, const std::vector<ScriptedKey>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

class Watching : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(testGlContext(), nullptr);
        programs = std::make_unique<GamePrograms>();
    }
    void TearDown() override {
        programs.reset();
        resetGameState();
    }
    std::unique_ptr<GamePrograms> programs;
};

}  // namespace

// With nothing pressed each frame goes on screen when its recorded time has
// come, and the world is the hidden replay's after every frame.
TEST_F(Watching, EveryFrameComesAtItsRecordedTimeAndTheWorldIsTheHiddenReplays) {
    const Recording recording = checkedIn("drive.rec");
    const std::vector<FrameRecord> hidden = hiddenReplay(recording);
    ScriptedWatch watch;
    watch.now = 50.0;
    watch.run(recording, *programs);
    ASSERT_EQ(watch.frames.size(), recording.frames.size());
    EXPECT_FALSE(watch.outcome.quit);
    for (size_t i = 0; i < watch.frames.size(); ++i) {
        EXPECT_EQ(watch.frames[i].hash, hidden[i].hash) << "frame " << i + 1;
        const double due = 50.0 + (recording.frames[i].now - recording.frames[0].now);
        EXPECT_NEAR(watch.frames[i].wall, due, 1e-6) << "frame " << i + 1;
    }
}

// Pausing, stepping, the speed keys, the free camera and keys that mean
// something to the game (Up, 2, X) change nothing in the simulation: after
// every frame the world, and the game's own camera underneath, are the
// hidden replay's. Paused, frames come only one tap of '.' at a time; twice
// the speed halves the time between frames.
TEST_F(Watching, TheWatchersKeysPaceThePlaybackButNeverReachTheGame) {
    const Recording recording = checkedIn("layouts.rec");
    const std::vector<FrameRecord> hidden = hiddenReplay(recording);
    ScriptedWatch watch;
    std::vector<ScriptedKey>& keys = watch.keys;
    append(keys, taps(1.0, GLFW_KEY_SPACE));  // pause
    append(keys, taps(2.0, GLFW_KEY_UP));
    append(keys, taps(2.5, GLFW_KEY_2));
    append(keys, taps(3.0, GLFW_KEY_PERIOD));  // one frame
    append(keys, taps(4.0, GLFW_KEY_PERIOD));  // and one more
    append(keys, taps(5.0, GLFW_KEY_C));       // free camera, flown forward
    keys.push_back({5.5, GLFW_KEY_W, GLFW_PRESS});
    keys.push_back({6.5, GLFW_KEY_W, GLFW_RELEASE});
    append(keys, taps(7.0, GLFW_KEY_X));
    append(keys, taps(8.0, GLFW_KEY_P));      // go on
    append(keys, taps(8.0, GLFW_KEY_EQUAL));  // twice as fast
    append(keys, taps(9.5, GLFW_KEY_C));      // back to the recorded camera
    watch.run(recording, *programs);

    ASSERT_EQ(watch.frames.size(), recording.frames.size());
    for (size_t i = 0; i < watch.frames.size(); ++i) {
        EXPECT_EQ(watch.frames[i].hash, hidden[i].hash) << "frame " << i + 1;
        EXPECT_EQ(watch.frames[i].gameCamera, hidden[i].gameCamera) << "frame " << i + 1;
    }
    // Frames before the pause, then the two steps at the taps, then nothing
    // until it goes on.
    size_t paused = 0;
    while (paused < watch.frames.size() && watch.frames[paused].wall < 1.0) {
        ++paused;
    }
    ASSERT_GT(paused, 2u);
    ASSERT_LT(paused + 2, watch.frames.size());
    EXPECT_NEAR(watch.frames[paused].wall, 3.0, 0.05);
    EXPECT_NEAR(watch.frames[paused + 1].wall, 4.0, 0.05);
    EXPECT_GE(watch.frames[paused + 2].wall, 8.0);
    // Twice as fast after 8 s: a recorded stretch plays in half its time.
    const size_t a = paused + 5, b = paused + 25;
    ASSERT_LT(b, watch.frames.size());
    const double recorded = recording.frames[b].now - recording.frames[a].now;
    EXPECT_NEAR(watch.frames[b].wall - watch.frames[a].wall, recorded / 2.0, 1e-6);
    EXPECT_EQ(watch.state.speed, 2.0);
    EXPECT_FALSE(watch.state.freeCamera);
    EXPECT_FALSE(watch.state.paused);
    // The watcher's own camera flew forward from where the game's stood.
    EXPECT_GT(glm::length(watch.state.camera.position - hidden[paused + 1].gameCamera), 1.0f);
}

// A machine that draws slower than the recording ran still shows every
// frame, in order; it falls behind rather than skipping or rushing.
TEST_F(Watching, ASlowMachineShowsEveryFrameInOrderWithoutRushing) {
    const Recording recording = checkedIn("drive.rec");
    const std::vector<FrameRecord> hidden = hiddenReplay(recording);
    ScriptedWatch watch;
    watch.frameCost = 0.5;  // two frames a second, the recording ran at about twelve
    append(watch.keys, taps(10.0, GLFW_KEY_ESCAPE));
    watch.run(recording, *programs);
    EXPECT_TRUE(watch.outcome.quit);
    ASSERT_GE(watch.frames.size(), 15u);
    ASSERT_LT(watch.frames.size(), recording.frames.size());
    for (size_t i = 1; i < watch.frames.size(); ++i) {
        EXPECT_EQ(watch.frames[i].hash, hidden[i].hash) << "frame " << i + 1;
        EXPECT_GE(watch.frames[i].wall - watch.frames[i - 1].wall, 0.5 - 1e-9);
    }
    // The speed stays within its limits however often it is pressed.
    WatchState state;
    state.fasterTaps = 20;
    applyWatchKeys(state, 0.0);
    EXPECT_EQ(state.speed, FASTEST_PLAYBACK);
    state.slowerTaps = 20;
    applyWatchKeys(state, 0.0);
    EXPECT_EQ(state.speed, SLOWEST_PLAYBACK);
}

// The window's close button ends the watch where it is, as Escape does.
TEST_F(Watching, TheCloseButtonStopsItWhereItIs) {
    const Recording recording = checkedIn("drive.rec");
    ScriptedWatch watch;
    watch.closeAt = 2.0;
    watch.run(recording, *programs);
    EXPECT_TRUE(watch.outcome.quit);
    ASSERT_FALSE(watch.frames.empty());
    EXPECT_LT(watch.frames.size(), recording.frames.size());
    EXPECT_LE(watch.frames.back().wall, 2.0 + 1e-9);
}

// ---------------------------------------------------------------------------
// The real tool in a window, with real key events

namespace {

const std::string REPLAY_TOOL = std::string(VROMDASH_BINARY_DIR) + "/vromdash-replay";

std::string lastLineStartingWith(const std::string& text, const std::string& start) {
    const std::vector<std::string> lines = linesStartingWith(text, start);
    return lines.empty() ? "" : lines.back();
}

}  // namespace

// Watched to the end, the tool prints the hidden replay's final hash and
// exits with 0.
TEST(ReplayTool, AWatchedReplayEndsWithTheHiddenReplaysHash) {
    const std::string path = sourcePath("tests/recordings/drive.rec");
    const std::string hidden = commandOutput("'" + REPLAY_TOOL + "' '" + path + "' --frames-only");
    GameStart start;
    start.program = REPLAY_TOOL;
    start.arguments = {path, "--watch"};
    GameProcess watch(start);
    EXPECT_EQ(watch.waitForExit(300.0), 0) << watch.report();
    const std::string last = lastLineStartingWith(hidden, "frame ");
    ASSERT_FALSE(last.empty()) << hidden;
    EXPECT_EQ(lastLineStartingWith(watch.output(), "frame "), last) << watch.report();
    EXPECT_EQ(lastLineStartingWith(watch.output(), "final car position"),
              lastLineStartingWith(hidden, "final car position"));
    EXPECT_NE(watch.output().find("watched 67 frames in "), std::string::npos) << watch.report();
}

// The game's own --watch plays at the quality the game would play at (here
// the command line's). The preset changes only the drawing: watched at
// medium, the recording ends on the hidden replay's hash.
TEST(Game, WatchesARecordingAtTheQualityItWouldPlayAt) {
    const std::string path = sourcePath("tests/recordings/drive.rec");
    const std::string hidden = commandOutput("'" + REPLAY_TOOL + "' '" + path + "' --frames-only");
    GameStart start;
    start.arguments = {"--watch", path, "--quality", "medium"};
    GameProcess watch(start);
    EXPECT_EQ(watch.waitForExit(300.0), 0) << watch.report();
    EXPECT_EQ(linesStartingWith(watch.output(), "quality: "),
              std::vector<std::string>{"quality: medium (command line)"});
    EXPECT_EQ(lastLineStartingWith(watch.output(), "frame "),
              lastLineStartingWith(hidden, "frame "))
        << watch.report();
}

// Pause, Up, a step, the free camera flown with the mouse and W, then Escape:
// the window ends at once with 0 and says where it stopped, and the hash
// there is the hidden replay's at that frame.
TEST(ReplayTool, WatchingTakesPauseStepFreeCameraAndEscapeFromRealKeys) {
    const std::string path = sourcePath("tests/recordings/layouts.rec");
    GameStart start;
    start.program = REPLAY_TOOL;
    start.arguments = {path, "--watch", "--every", "1"};
    GameProcess watch(start);
    const std::string window = watch.findWindow();
    ASSERT_FALSE(window.empty()) << watch.report();
    EXPECT_TRUE(tapKey(window, "space"));
    // Up means nothing to the watcher: the frame stepped after it is the
    // recording's (the hashes below would part if it reached the game).
    EXPECT_TRUE(tapKey(window, "Up"));
    EXPECT_TRUE(tapKey(window, "period"));
    EXPECT_TRUE(tapKey(window, "c"));
    for (const char* to : {"300 300", "700 450"}) {
        commandOutput("xdotool mousemove --window " + window + " " + to);
    }
    EXPECT_TRUE(holdKey(window, "w", 0.5));
    EXPECT_EQ(watch.quitWithEscape(window), 0) << watch.report();
    const std::string stopped = lastLineStartingWith(watch.output(), "watching stopped at frame ");
    ASSERT_FALSE(stopped.empty()) << watch.report();
    const int frame = std::stoi(stopped.substr(26));
    EXPECT_GT(frame, 0);
    EXPECT_LT(frame, 145) << "paused, it cannot have reached the end";

    // The hidden replay's hash at the frame where watching stopped.
    const std::string hidden =
        commandOutput("'" + REPLAY_TOOL + "' '" + path + "' --frames-only --every 1");
    const std::string at = "frame " + std::to_string(frame) + " hash ";
    std::string expected;
    std::istringstream lines(hidden);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(at, 0) == 0) {
            expected = line;
        }
    }
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(lastLineStartingWith(watch.output(), "frame "), expected) << watch.report();
}

// A recording cut off mid-frame plays to its last whole frame, then says so
// on the console (and on screen, a moment) and ends with 0.
TEST(ReplayTool, AWatchedRecordingThatEndedEarlySaysSo) {
    std::ifstream in(sourcePath("tests/recordings/drive.rec"));
    std::stringstream text;
    text << in.rdbuf();
    const std::string whole = text.str();
    // Header and ten frames, and half of the eleventh line.
    size_t cut = 0;
    for (int line = 0; line < 14; ++line) {
        cut = whole.find('\n', cut) + 1;
    }
    const std::string path = scratchDirectory("watch-early") + "/cut.rec";
    std::ofstream(path) << whole.substr(0, cut + 10);
    GameStart start;
    start.program = REPLAY_TOOL;
    start.arguments = {path, "--watch"};
    GameProcess watch(start);
    EXPECT_EQ(watch.waitForExit(300.0), 0) << watch.report();
    EXPECT_NE(watch.output().find("recording ended early after frame 10\n"), std::string::npos)
        << watch.report();
    EXPECT_NE(watch.output().find("frame 10 hash "), std::string::npos) << watch.report();
}
