// The autopilot: plays a level with nothing but the player's controls (the
// four drive keys and Space, once per frame) and reads nothing but what a
// player sees (where the car and the crates are, and how much game time
// passed between two frames' pictures). It follows the
// road's centre line, lines up behind each crate on the road side and strikes
// it towards the nearest edge, and backs off, turns or rights the car when it
// gets stuck.
#pragma once

#include <glm/vec2.hpp>
#include <random>
#include <vector>

#include "render/maths.h"

class RecordingWriter;
class World;

// What the player sees of the car: its chassis pose and the four wheel
// centres (front-left, front-right, rear-left, rear-right).
struct CarView {
    vec3 position{0.0f};
    Quat orientation;
    vec3 wheels[4];
};

struct WorldView {
    CarView car;
    std::vector<vec3> crates;  // crate origins, in the level's order
};

// One frame's keys.
struct Controls {
    bool forward = false;
    bool backward = false;
    bool left = false;
    bool right = false;
    bool upright = false;
};

// Tuning; a seed makes runs differ in small ways (start delay, speeds).
struct AutopilotSettings {
    float cruiseSpeed = 11.0f;           // on straights
    float cornerSpeedPerRadius = 0.62f;  // speed limit = this * bend radius
    float plannedDeceleration = 7.0f;    // what the speed plan assumes brakes give
    float approachSpeed = 4.5f;          // when turning onto the strike line
    float strikeAngleDegrees = 30.0f;    // strike line against the road direction
    float strikeRunUp = 9.0f;            // from the staging point to the crate
    float minStrikeSpeed = 3.5f;
    float maxStrikeSpeed = 10.0f;
    int startDelaySteps = 45;  // lets the car settle on its wheels
    // Then a turn on the spot for this many steps, so runs start turned a
    // little differently.
    int startTurnSteps = 0;
    bool startTurnLeft = false;
};

// Settings varied by a seed: the same seed gives the same run.
AutopilotSettings settingsForSeed(unsigned seed);

enum class DriveMode {
    Settle,    // waiting for the car to come to rest at the start
    Approach,  // along the road to the staging point, then onto the crate
    Brake,     // the crate was hit or the edge is near: stop
    Backup,    // reverse onto the strike line for another run-up
    Unstick,   // stuck against something: reverse a little
    Upright,   // on its side or roof: Space, then wait
};

const char* driveModeName(DriveMode mode);

// How one crate is to be struck: towards which edge, along which line.
struct StrikePlan {
    int crate = -1;
    int side = 0;               // +1 pushes to the road's right, -1 to its left
    glm::vec2 direction{0.0f};  // strike line direction
    glm::vec2 staging{0.0f};    // where the run-up starts
    glm::vec2 offset{0.0f};     // from the crate to where the line passes
    float crateLateral = 0.0f;  // from the centre line towards the chosen edge
    float halfWidth = 0.0f;     // of the asphalt at the crate
    float runUp = 0.0f;
    float strikeSpeed = 0.0f;
};

// The controller's memory between frames. Its clock is the game's: physics
// steps, each 1/60 s of game time. A frame that took no step shows nothing
// new, however long it lasted.
struct Autopilot {
    AutopilotSettings settings;
    DriveMode mode = DriveMode::Settle;
    int modeSteps = 0;
    StrikePlan plan;
    bool havePrevious = false;
    vec3 previousPosition{0.0f};
    float previousHeading = 0.0f;
    // Motion over the last step seen, in game time.
    float speed = 0.0f;        // along the car's forward axis, m/s
    glm::vec2 velocity{0.0f};  // over the ground (x, z), m/s
    float yawRate = 0.0f;      // rad/s, positive turning left
    int slowSteps = 0;         // steps with a drive key held but no motion
    int tiltedSteps = 0;
    std::vector<float> roadSpeeds;  // speed plan per centre-line point, made once
    std::vector<vec3> previousCrates;
    std::vector<float> crateSpeeds;  // over the ground, m/s, per crate
    // What the last decision was based on, for traces.
    glm::vec2 aimPoint{0.0f};
    float wantedSpeed = 0.0f;
    float edgeMargin = 0.0f;  // the nearest wheel's distance to an edge
    bool guarded = false;     // the edge guard overrode the keys
};

// Reads the poses a player sees.
WorldView observeWorld(const World& world);

// The car's heading in radians, growing when it turns left; 0 faces -Z.
float headingOf(const Quat& orientation);

// Whether a crate still stands on the road (not yet fallen off its edge).
bool crateOnRoad(const vec3& crate);

// Decides this frame's keys. Call once per frame, before the step; `steps`
// is how many physics steps the game took since the view of the last call
// (0 when that frame took none: the view is the same, the motion unknown).
Controls decideControls(Autopilot& pilot, const WorldView& view, int steps);

// Forgets the current plan after the level was rebuilt (car fell off).
void restartAutopilot(Autopilot& pilot);

// Holds exactly these keys for one frame, as a player would, and lets the
// game's key handling act on them.
void pressControls(const Controls& controls);

// Presses and releases the five keys as a player would, through the game's
// key callback, so that they hold exactly these controls: an event only for
// a key whose state changes, and the keys stay held until the next change.
// Each event is also added to `recording` when there is one. Called where
// the frame polls its events.
void deliverControls(const Controls& controls, RecordingWriter* recording);

// Signals from one played frame.
struct FrameEvents {
    bool levelRebuilt = false;      // the car fell and the level started over
    bool levelCleared = false;      // every crate was off: the next level was built
    std::vector<int> cratesFallen;  // crates that went below the counted height
};

// Tracks which crates have counted as fallen, for the record.
struct PlayRecord {
    std::vector<bool> fallen;
    std::vector<int> clearedOrder;
    std::vector<float> clearedTimes;  // game time, s
    int falls = 0;
    long frames = 0;
    long steps = 0;          // physics steps the game took: the game's clock
    int lastFrameSteps = 0;  // steps the last frame took (0 or 1)
};

// Game time in seconds after `steps` physics steps.
double gameSeconds(long steps);

// The frame times a run is played at: one fixed time, or a seeded jitter.
// The jitter wanders like a real frame rate does: stretches of 0.5 to 3 s
// (wall clock) around a frame time drawn uniform in log between 1/144 and
// 1/5 s, each frame within 15 % of it, and one frame in a hundred a 1/5 s
// stutter.
struct FrameClock {
    double fixedFrameTime = 1.0 / 60.0;
    bool jitter = false;
    std::mt19937 random;
    double stretchFrameTime = 1.0 / 60.0;
    double stretchLeft = 0.0;  // wall-clock seconds left in this stretch
    double now = 0.0;          // seconds since play began: the game's timer
};

constexpr double SHORTEST_FRAME_TIME = 1.0 / 144.0;
constexpr double LONGEST_FRAME_TIME = 1.0 / 5.0;

FrameClock fixedFrameClock(double frameTime);
FrameClock jitterFrameClock(unsigned seed);

// The next frame's length, seconds.
double nextFrameTime(FrameClock& clock);

// Play starts at zero on the game's timer with no frame time owed to the
// physics accumulator (the game's first frame also carries its start-up).
void startPlay(FrameClock& clock);

// One frame of the game's loop (runFrame, not drawn) with the clock's next
// frame time: the controller's keys come in as key events where the frame
// polls its events, then the held keys are acted on and the world steps (or
// not, as the game's accumulator decides). With a recording the frame's
// events and timer value are written to it. Updates the record and reports
// what happened.
FrameEvents playFrame(Autopilot& pilot, PlayRecord& record, FrameClock& clock,
                      RecordingWriter* recording = nullptr);
