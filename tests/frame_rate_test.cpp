// The real game at whatever frame rate this machine gives it, driven with
// real key events: held Up keeps the car on the road and takes it forward,
// Up with Left turns it on its wheels. The game records itself; this test
// replays the recording as it grows, in this process and without drawing,
// which gives the same game bit for bit, and reads the chassis from it.
//
// Every judgement is about where the car is after so many physics steps of
// game time, never about how many frames went by in a wall-clock time, so
// that it holds at 3 frames a second as at 60 and with every core busy.
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/input.h"
#include "app/main_loop.h"
#include "recordings/recording.h"
#include "recordings/replay.h"
#include "tests/support/game_process.h"
#include "tests/support/gl_context.h"
#include "world/heightfield.h"
#include "world/physics.h"
#include "world/world.h"

namespace {

// The game takes at most one 1/60 s step a frame, so a wall-clock hold means
// nothing on its own: 10 s at 3 frames a second are 30 steps, in which the
// car has barely rolled, and at 60 they are 600, long after it has run off
// the end of the start straight (Up alone takes it off the asphalt after
// about 150 steps). So each key stays down until the recording shows the
// steps this test judges, however long that takes:
// - Up for 90 steps (1.5 s of game time, about 18 m, past the figure): a
//   push that grows with the frame time shows well within them (without
//   the drive's cap the car was airborne after 20 frames here), and the car
//   still has some 60 steps of road ahead if Left comes late.
// - Then Up and Left for 60 steps: the chassis turns at most 1 rad/s, so a
//   working turn passes 30 degrees after about 40 steps and reaches 40 to 50
//   in 60. By then it has taken the car over the straight's left edge, still
//   on its wheels: Left would have to come some 100 steps late for the slope
//   beyond the edge to tilt the car near 45 degrees.
constexpr int ROAD_STEPS = 90;
constexpr int TURN_STEPS = 60;
// On its wheels the chassis centre stands 0.6 above the ground; a launched
// car is far higher, a falling one soon far lower. After 90 steps the car is
// about 18 m on.
constexpr float HIGHEST_ABOVE_GROUND = 2.0f;
constexpr float FORWARD_METRES = 10.0f;
constexpr float TURN_DEGREES = 30.0f;
constexpr float TILT_DEGREES = 45.0f;
// Deadlines only a game far below one frame a second would miss.
constexpr double ROAD_DEADLINE_S = 120.0;
constexpr double TURN_DEADLINE_S = 90.0;

constexpr float DEGREES = 57.2957795f;

using Clock = std::chrono::steady_clock;

Clock::time_point after(double seconds) {
    return Clock::now() +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// One replayed frame: whether it took a step, the drive keys it held (after
// its events) and the chassis after it.
struct ReplayedFrame {
    float now = 0.0f;
    bool stepped = false;
    bool up = false;
    bool left = false;
    Pose chassis;
};

// Replays the game's recording in this process as the game writes it: the
// same frame loop with the recorded timer values and input.
class LiveReplay {
public:
    LiveReplay(GLFWwindow* window, std::string path) : window(window), path(std::move(path)) {
        resetGameState();
        owned = std::make_unique<World>();
        world = owned.get();
        start = currentChassis()->getGlobalPose();
    }
    ~LiveReplay() { world = nullptr; }
    LiveReplay(const LiveReplay&) = delete;
    LiveReplay& operator=(const LiveReplay&) = delete;

    // Plays the frames written since the last call. A recording the game
    // has not begun yet, or whose header is still being written, has none.
    void catchUp() {
        Recording recording;
        if (!readRecording(path, recording, problem)) {
            return;
        }
        StdoutCapture capture;
        for (size_t i = frames.size(); i < recording.frames.size(); ++i) {
            frames.push_back(playFrame(recording.frames[i]));
        }
        printed += capture.text();
        complete = recording.complete;
    }

    // The chassis before the frame, or where the level starts it.
    const Pose& chassisBefore(std::vector<ReplayedFrame>::const_iterator frame) const {
        return frame == frames.begin() ? start : (frame - 1)->chassis;
    }

    // Steps taken while Up was held, with Left (turning) or without.
    int drivenSteps(bool turning) const {
        return static_cast<int>(std::count_if(frames.begin(), frames.end(), [&](const auto& f) {
            return f.stepped && f.up && f.left == turning;
        }));
    }

    GLFWwindow* window;
    std::string path;
    std::unique_ptr<World> owned;
    Pose start;
    std::vector<ReplayedFrame> frames;
    std::string printed;  // what the replayed frames printed
    std::string problem;  // why the recording last could not be read
    bool complete = false;

private:
    ReplayedFrame playFrame(const RecordedFrame& frame) {
        FrameSource source;
        source.draw = false;
        source.pollEvents = [&] {
            for (const InputEvent& event : frame.events) {
                deliverEvent(window, event);
            }
        };
        ReplayedFrame replayed;
        replayed.now = frame.now;
        replayed.stepped = runFrame(window, FramePrograms{}, frame.now, nullptr, &source);
        replayed.up = keys[GLFW_KEY_UP];
        replayed.left = keys[GLFW_KEY_LEFT];
        if (const RigidDynamic* chassis = currentChassis()) {
            replayed.chassis = chassis->getGlobalPose();
        }
        return replayed;
    }
};

// Replays until Up has driven `steps` steps with or without Left, `seconds`
// have passed or the game has gone; true once the steps are there.
bool waitForSteps(LiveReplay& replay, GameProcess& game, bool turning, int steps, double seconds) {
    const auto deadline = after(seconds);
    while (true) {
        replay.catchUp();
        if (replay.drivenSteps(turning) >= steps) {
            return true;
        }
        if (!game.running() || Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

// The ground the game stands the car on: its heightfield from the game's
// heightmap at the game's scales, placed where the level placed its own.
struct Ground {
    PhysicsScene scene;
    Heightfield field;

    Ground(Physics& physics, const Pose& placed)
        : scene(physics),
          field(HEIGHTFIELD_ROW_SCALE, HEIGHTFIELD_COLUMN_SCALE, HEIGHTFIELD_HEIGHT_SCALE, &scene) {
        if (field.actor) {
            field.actor->setGlobalPose(placed);
        }
    }

    // The surface's height under (x, z); false where there is none.
    bool heightAt(float x, float z, float& y) const { return scene.raycastDown(x, z, 100.0f, y); }
};

std::vector<std::string> positionLines(const std::string& output) {
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Position: ", 0) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

vec3 positionOf(const std::string& line) {
    std::istringstream fields(line.substr(10));
    vec3 p(NAN);
    fields >> p.x >> p.y >> p.z;
    return p;
}

// Degrees about +Y, growing as the car turns left; 0 faces -Z.
float headingDegrees(const Quat& q) {
    const vec3 forward = rotateVector(q, vec3(0.0f, 0.0f, -1.0f));
    return std::atan2(-forward.x, -forward.z) * DEGREES;
}

// Wrapped into (-180, 180].
float turnDegrees(float from, float to) {
    float turn = std::fmod(to - from, 360.0f);
    if (turn > 180.0f) {
        turn -= 360.0f;
    } else if (turn <= -180.0f) {
        turn += 360.0f;
    }
    return turn;
}

float tiltDegrees(const Quat& q) {
    const float up = rotateVector(q, vec3(0.0f, 1.0f, 0.0f)).y;
    return std::acos(std::clamp(up, -1.0f, 1.0f)) * DEGREES;
}

// The chassis's height above the ground under it, or a message saying why
// it is not where it should be.
bool standsOnTheGround(const Ground& ground, const vec3& p, float& above, std::string& why) {
    float surface = 0.0f;
    if (!ground.heightAt(p.x, p.z, surface)) {
        why = "no ground under it";
        return false;
    }
    above = p.y - surface;
    if (above > 0.0f && above <= HIGHEST_ABOVE_GROUND) {
        return true;
    }
    why = std::to_string(above) + " above the ground at " + std::to_string(surface);
    return false;
}

std::string where(const vec3& p) {
    char text[64];
    std::snprintf(text, sizeof text, "(%.2f, %.2f, %.2f)", static_cast<double>(p.x),
                  static_cast<double>(p.y), static_cast<double>(p.z));
    return text;
}

}  // namespace

TEST(FrameRate, RealBinaryHoldsTheRoadAtTheMachinesOwnFrameRate) {
    GLFWwindow* context = testGlContext();
    ASSERT_NE(context, nullptr);
    const std::string recordingPath = scratchDirectory("frame-rate") + "/game.rec";
    // As a player starts it: the question answered on the console.
    GameStart start;
    start.answer = "n\n";
    start.arguments = {"--record", recordingPath};
    GameProcess game(start);
    const std::string window = game.findWindow();
    ASSERT_FALSE(window.empty()) << game.report();
    LiveReplay replay(context, recordingPath);

    // Up, with X tapped about once a second, until the car has driven its
    // stretch; one more X says where the stretch ends.
    ASSERT_TRUE(pressKey(window, "Up"));
    const auto roadDeadline = after(ROAD_DEADLINE_S);
    while (replay.drivenSteps(false) < ROAD_STEPS && game.running() &&
           Clock::now() < roadDeadline) {
        tapKey(window, "x");
        waitForSteps(replay, game, false, ROAD_STEPS, 0.7);
    }
    tapKey(window, "x");
    ASSERT_GE(replay.drivenSteps(false), ROAD_STEPS)
        << "steps with Up held in " << ROAD_DEADLINE_S << " s; " << replay.problem << "\n"
        << game.report();

    // Then Left with it.
    ASSERT_TRUE(pressKey(window, "Left"));
    const bool turned = waitForSteps(replay, game, true, TURN_STEPS, TURN_DEADLINE_S);
    releaseKey(window, "Left");
    releaseKey(window, "Up");
    ASSERT_TRUE(turned) << replay.drivenSteps(true) << " steps with Up and Left held in "
                        << TURN_DEADLINE_S << " s; " << replay.problem << "\n"
                        << game.report();
    EXPECT_EQ(game.quitWithEscape(window), 0) << game.report();
    replay.catchUp();
    EXPECT_TRUE(replay.complete) << replay.problem;

    // The poses are the game's own: the replay printed what the game did.
    const std::vector<std::string> printed = positionLines(game.output());
    EXPECT_EQ(positionLines(replay.printed), printed);
    ASSERT_GE(printed.size(), 3u) << game.report();

    const std::vector<ReplayedFrame>& frames = replay.frames;
    const auto firstUp = std::find_if(frames.begin(), frames.end(), [](auto& f) { return f.up; });
    const auto firstLeft = std::find_if(firstUp, frames.end(), [](auto& f) { return f.left; });
    ASSERT_TRUE(firstLeft != frames.end());
    // Without its heightmap (started outside the repository root) the level
    // has no ground to judge against.
    ASSERT_TRUE(world->roadHeightfield && world->roadHeightfield->actor)
        << "the replayed level has no ground: is Vrom2/ in the working directory?";
    const Ground ground(*world->physics, world->roadHeightfield->actor->getGlobalPose());

    // Up alone: every frame's chassis and every printed position stand on
    // the ground, the printed ones each no further back than the last.
    float lowest = 1e9f, highest = -1e9f;
    int roadSteps = 0;
    for (auto f = firstUp; f != firstLeft; ++f) {
        roadSteps += f->stepped ? 1 : 0;
        float above = 0.0f;
        std::string why;
        ASSERT_TRUE(standsOnTheGround(ground, f->chassis.p, above, why))
            << "frame " << f - frames.begin() + 1 << ": the chassis at " << where(f->chassis.p)
            << " is " << why;
        lowest = std::min(lowest, above);
        highest = std::max(highest, above);
    }
    const vec3 from = replay.chassisBefore(firstUp).p;
    vec3 last = from;
    for (const std::string& line : printed) {
        const vec3 p = positionOf(line);
        float above = 0.0f;
        std::string why;
        EXPECT_TRUE(standsOnTheGround(ground, p, above, why)) << line << ": " << why;
        EXPECT_LE(p.z, last.z + 0.05f) << line << " is behind " << where(last);
        last = p;
    }
    EXPECT_LT(last.z, from.z - FORWARD_METRES)
        << "the last position printed, after " << ROAD_STEPS << " steps, from " << where(from);

    // Up with Left, over the first steps of the turn: on its wheels
    // throughout, and turned to the left.
    const Pose turnFrom = replay.chassisBefore(firstLeft);
    float steepest = 0.0f;
    int steps = 0;
    auto f = firstLeft;
    for (; f != frames.end() && steps < TURN_STEPS; ++f) {
        steps += f->stepped ? 1 : 0;
        const float tilt = tiltDegrees(f->chassis.q);
        steepest = std::max(steepest, tilt);
        ASSERT_LE(tilt, TILT_DEGREES) << "frame " << f - frames.begin() + 1 << ", step " << steps
                                      << " of the turn, at " << where(f->chassis.p);
    }
    ASSERT_EQ(steps, TURN_STEPS);
    const float turn = turnDegrees(headingDegrees(turnFrom.q), headingDegrees((f - 1)->chassis.q));
    EXPECT_GT(turn, TURN_DEGREES) << "after " << TURN_STEPS << " steps of Left, at "
                                  << where((f - 1)->chassis.p);

    const double seconds = static_cast<double>((f - 1)->now - firstUp->now);
    const long played = f - firstUp;
    std::printf(
        "frame rate: %ld frames in %.1f s (%.1f a second); Up: %d steps from %s to %s, %zu "
        "positions printed, chassis %.2f to %.2f above the ground; Left: turned %.1f degrees in %d "
        "steps, tilted at most %.1f degrees\n",
        played, seconds, static_cast<double>(played) / seconds, roadSteps, where(from).c_str(),
        where(turnFrom.p).c_str(), printed.size(), static_cast<double>(lowest),
        static_cast<double>(highest), static_cast<double>(turn), TURN_STEPS,
        static_cast<double>(steepest));
}
