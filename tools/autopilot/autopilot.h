// The autopilot: plays level 1 with nothing but the player's controls (the
// four drive keys and Space, once per frame) and reads nothing but what a
// player sees (where the car and the crates are). It follows the
// road's centre line, lines up behind each crate on the road side and strikes
// it towards the nearest edge, and backs off, turns or rights the car when it
// gets stuck.
#pragma once

#include <glm/vec2.hpp>
#include <vector>

#include "render/maths.h"

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
    int startDelayFrames = 45;  // lets the car settle on its wheels
    // Then a turn on the spot for this many frames, so runs start turned a
    // little differently.
    int startTurnFrames = 0;
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

// The controller's memory between frames.
struct Autopilot {
    AutopilotSettings settings;
    DriveMode mode = DriveMode::Settle;
    int modeFrames = 0;
    StrikePlan plan;
    bool havePrevious = false;
    vec3 previousPosition{0.0f};
    float previousHeading = 0.0f;
    float speed = 0.0f;        // along the car's forward axis, m/s
    glm::vec2 velocity{0.0f};  // over the ground (x, z), m/s
    float yawRate = 0.0f;      // rad/s, positive turning left
    int slowFrames = 0;        // frames with a drive key held but no motion
    int tiltedFrames = 0;
    std::vector<float> roadSpeeds;  // speed plan per centre-line point, made once
    std::vector<vec3> previousCrates;
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

// Decides this frame's keys. Call once per frame, before the step.
Controls decideControls(Autopilot& pilot, const WorldView& view);

// Forgets the current plan after the level was rebuilt (car fell off).
void restartAutopilot(Autopilot& pilot);

// Holds exactly these keys for one frame, as a player would, and lets the
// game's key handling act on them.
void pressControls(const Controls& controls);

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
    std::vector<float> clearedTimes;
    int falls = 0;
    long frames = 0;
};

// One frame of play at 60 frames per second: observe, decide, press the keys,
// one world step. Updates the record and reports what happened.
FrameEvents playFrame(Autopilot& pilot, PlayRecord& record);

constexpr float FRAME_TIME = 1.0f / 60.0f;
