// Watching a recording: the game drawn in a visible window at the pace its
// frames were recorded at, through the same frame loop as a hidden replay,
// so the simulation is the recording's to the last bit. The watcher's keys
// go to the watcher alone: pause, a step, the speed, a free camera of their
// own, quit. None of them reaches the game.
#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include "app/camera.h"
#include "recordings/recording.h"
#include "render/quality.h"
#include "render/scene_pass.h"

struct GLFWwindow;
class TextOverlay;

// Playback speeds: doubled or halved by a key, within these.
constexpr double SLOWEST_PLAYBACK = 0.125;
constexpr double FASTEST_PLAYBACK = 8.0;

// What the watcher has asked for. Taps between two checks each count.
struct WatchState {
    bool paused = false;
    double speed = 1.0;
    bool freeCamera = false;
    bool quit = false;
    Camera camera;  // the watcher's own, while freeCamera is set
    // Taps seen since the last applyWatchKeys.
    int pauseTaps = 0, stepTaps = 0, fasterTaps = 0, slowerTaps = 0, cameraTaps = 0;
    int steps = 0;     // frames still to step while paused
    bool fly[4] = {};  // W, S, A, D held
    bool firstMouse = true;
    double lastX = 0.0, lastY = 0.0;
    bool moved = false;  // the free camera moved: a paused picture is drawn again
};

// The watcher's key, cursor and scroll events (the window's callbacks while
// watching; the window's user pointer is the WatchState).
void onWatchKey(GLFWwindow* window, int key, int scancode, int action, int mods);
void onWatchCursorPos(GLFWwindow* window, double x, double y);
void onWatchScroll(GLFWwindow* window, double xoffset, double yoffset);
void installWatchCallbacks(GLFWwindow* window, WatchState* state);

// Acts on the taps and held keys: `seconds` of wall time since the last
// call move the free camera. Turning the free camera on starts it where the
// game's camera is.
void applyWatchKeys(WatchState& state, double seconds);

// When each recorded frame is due on the wall clock: at the pace it was
// recorded, times the speed. Re-anchored when the speed changes, after a
// pause, or when the machine fell behind (frames are never skipped, and a
// slow stretch is not made up for by rushing the next).
struct PlaybackPace {
    double wallAnchor = 0.0;
    double recordedAnchor = 0.0;
    double speed = 1.0;

    void anchor(double wall, double recorded);
    double dueAt(double recorded) const;
    // The recorded time the playback has reached at `wall`.
    double recordedAt(double wall) const;
    void setSpeed(double newSpeed, double wall);
};

// The wall clock and the wait for the watcher's events, so a test can play
// a recording on a clock of its own.
struct WatchClock {
    std::function<double()> now;
    // Waits at most this long for the watcher's events and handles them.
    std::function<void(double seconds)> wait;
};

// How a watch ended.
struct WatchOutcome {
    int frames = 0;     // frames run
    bool quit = false;  // the watcher ended it before the last frame
};

// Plays every frame of the recording at its pace on the current world, in
// the window, with the display (when there is an overlay) labelled with the
// frame and speed. After each frame `afterFrame` gets its number (from 1).
WatchOutcome watchFrames(GLFWwindow* window, const FramePrograms& programs,
                         const TextOverlay* overlay, const Recording& recording, WatchState& state,
                         const WatchClock& clock, const std::function<void(int frame)>& afterFrame);

// The replay tool's and the game's --watch: opens a window of the
// recording's size at the quality the game would play at (the command line's,
// else the settings file's; auto: low on a software renderer, so a recording
// plays at its pace there too), watches it on the real clock and prints what
// a hidden replay prints (hashes every `every` frames and after the last, the
// Position lines, where the car ended). Escape or the window's close button
// stops it. Returns the exit status: 2 for a recording that cannot be read
// (its line starts with `program`), 1 without a window.
int watchRecordingFile(const std::string& path, int every, bool bodies, std::ostream& out,
                       const std::string& program,
                       std::optional<Quality> commandLineQuality = std::nullopt,
                       Quality settingsQuality = Quality::Auto);
