#include "recordings/watch.h"

#include <GLFW/glfw3.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <ostream>

#include "app/input.h"
#include "app/main_loop.h"
#include "app/quality_choice.h"
#include "hud/text_overlay.h"
#include "recordings/replay.h"
#include "recordings/replay_report.h"
#include "world/world.h"

namespace {

// A pause and a stretch the machine could not keep up with both end in a
// fresh anchor; behind by more than this counts as not keeping up.
constexpr double MOST_BEHIND = 0.25;
// While nothing is due the watcher's events are still taken this often.
constexpr double EVENT_WAIT = 1.0 / 30.0;
// How long the last picture of a recording that ended early stays up.
constexpr double EARLY_END_SECONDS = 3.0;

// The window's close button stops watching as Escape does.
bool closeAsked(GLFWwindow* window, WatchState& state) {
    if (window && glfwWindowShouldClose(window)) {
        state.quit = true;
    }
    return state.quit;
}

WatchState* stateOf(GLFWwindow* window) {
    return window ? static_cast<WatchState*>(glfwGetWindowUserPointer(window)) : nullptr;
}

void flyKey(WatchState& state, int key, bool down) {
    const int keysFlown[4] = {GLFW_KEY_W, GLFW_KEY_S, GLFW_KEY_A, GLFW_KEY_D};
    for (int i = 0; i < 4; ++i) {
        if (key == keysFlown[i]) {
            state.fly[i] = down;
        }
    }
}

void countTap(WatchState& state, int key) {
    switch (key) {
        case GLFW_KEY_SPACE:
        case GLFW_KEY_P:
            ++state.pauseTaps;
            break;
        case GLFW_KEY_PERIOD:
        case GLFW_KEY_KP_DECIMAL:
            ++state.stepTaps;
            break;
        case GLFW_KEY_EQUAL:  // '+' is Shift and '=' on most keyboards
        case GLFW_KEY_KP_ADD:
            ++state.fasterTaps;
            break;
        case GLFW_KEY_MINUS:
        case GLFW_KEY_KP_SUBTRACT:
            ++state.slowerTaps;
            break;
        case GLFW_KEY_C:
            ++state.cameraTaps;
            break;
        case GLFW_KEY_ESCAPE:
            state.quit = true;
            break;
        default:
            break;
    }
}

std::string speedText(double speed) {
    char text[16];
    if (speed >= 1.0) {
        std::snprintf(text, sizeof text, "x%g", speed);
    } else {
        std::snprintf(text, sizeof text, "x1/%g", 1.0 / speed);
    }
    return text;
}

std::string labelFor(const WatchState& state, int frame, int frames) {
    std::string label = "Replay  frame " + std::to_string(frame) + " / " + std::to_string(frames) +
                        "  " + speedText(state.speed);
    if (state.paused) {
        label += "  paused";
    }
    if (state.freeCamera) {
        label += "  free camera";
    }
    return label;
}

// The frame's own input, handed to the game with no window, so that none of
// it acts on the watcher's window (its cursor, its close flag).
FrameSource recordedInput(const RecordedFrame& frame, const WatchState& state) {
    FrameSource source;
    source.pollEvents = [&frame] {
        for (const InputEvent& event : frame.events) {
            deliverEvent(nullptr, event);
        }
    };
    source.camera = state.freeCamera ? &state.camera : nullptr;
    return source;
}

}  // namespace

void onWatchKey(GLFWwindow* window, int key, int /*scancode*/, int action, int /*mods*/) {
    WatchState* state = stateOf(window);
    if (!state || action == GLFW_REPEAT) {
        return;
    }
    flyKey(*state, key, action == GLFW_PRESS);
    if (action == GLFW_PRESS) {
        countTap(*state, key);
    }
}

void onWatchCursorPos(GLFWwindow* window, double x, double y) {
    WatchState* state = stateOf(window);
    if (!state) {
        return;
    }
    if (state->firstMouse) {
        state->lastX = x;
        state->lastY = y;
        state->firstMouse = false;
    }
    const float dx = static_cast<float>(x - state->lastX);
    const float dy = static_cast<float>(state->lastY - y);
    state->lastX = x;
    state->lastY = y;
    if (!state->freeCamera || (dx == 0.0f && dy == 0.0f)) {
        return;
    }
    state->camera.look(dx, dy);
    state->moved = true;
}

void onWatchScroll(GLFWwindow* window, double /*xoffset*/, double yoffset) {
    WatchState* state = stateOf(window);
    if (!state || !state->freeCamera) {
        return;
    }
    state->camera.zoomBy(static_cast<float>(yoffset));
    state->moved = true;
}

void installWatchCallbacks(GLFWwindow* window, WatchState* state) {
    glfwSetWindowUserPointer(window, state);
    glfwSetKeyCallback(window, onWatchKey);
    glfwSetCursorPosCallback(window, onWatchCursorPos);
    glfwSetScrollCallback(window, onWatchScroll);
    // The watcher's window size and focus are the watcher's: the game keeps
    // the recorded ones.
    glfwSetWindowSizeCallback(window, nullptr);
    glfwSetWindowFocusCallback(window, nullptr);
}

void applyWatchKeys(WatchState& state, double seconds) {
    if (state.pauseTaps % 2 != 0) {
        state.paused = !state.paused;
    }
    if (state.paused) {
        state.steps += state.stepTaps;
    }
    for (int i = 0; i < state.fasterTaps; ++i) {
        state.speed = std::min(FASTEST_PLAYBACK, state.speed * 2.0);
    }
    for (int i = 0; i < state.slowerTaps; ++i) {
        state.speed = std::max(SLOWEST_PLAYBACK, state.speed / 2.0);
    }
    if (state.cameraTaps % 2 != 0) {
        state.freeCamera = !state.freeCamera;
        if (state.freeCamera) {
            state.camera = camera;
            state.camera.worldUp = vec3(0.0f, 1.0f, 0.0f);
            state.camera.updateVectors();
        }
        state.moved = true;
    }
    state.pauseTaps = state.stepTaps = state.fasterTaps = state.slowerTaps = state.cameraTaps = 0;

    if (!state.freeCamera) {
        return;
    }
    // The watcher flies three times as fast as the game's free camera: a
    // replay is looked over, not played.
    Camera& c = state.camera;
    if (c.fly(state.fly[0], state.fly[1], state.fly[2], state.fly[3],
              c.movementSpeed * 3.0f * static_cast<float>(seconds))) {
        state.moved = true;
    }
}

void PlaybackPace::anchor(double wall, double recorded) {
    wallAnchor = wall;
    recordedAnchor = recorded;
}

double PlaybackPace::dueAt(double recorded) const {
    return wallAnchor + (recorded - recordedAnchor) / speed;
}

double PlaybackPace::recordedAt(double wall) const {
    return recordedAnchor + (wall - wallAnchor) * speed;
}

void PlaybackPace::setSpeed(double newSpeed, double wall) {
    anchor(wall, recordedAt(wall));
    speed = newSpeed;
}

WatchOutcome watchFrames(GLFWwindow* window, const FramePrograms& programs,
                         const TextOverlay* overlay, const Recording& recording, WatchState& state,
                         const WatchClock& clock,
                         const std::function<void(int frame)>& afterFrame) {
    WatchOutcome outcome;
    const std::vector<RecordedFrame>& frames = recording.frames;
    const int count = static_cast<int>(frames.size());
    PlaybackPace pace;
    double lastWall = clock.now();
    pace.anchor(lastWall, frames.empty() ? 0.0 : frames[0].now);
    bool wasPaused = false;
    double lastShown = frames.empty() ? 0.0 : frames[0].now;
    std::string shownLabel;

    auto runNext = [&] {
        const RecordedFrame& frame = frames[static_cast<size_t>(outcome.frames)];
        FrameSource source = recordedInput(frame, state);
        source.label = labelFor(state, outcome.frames + 1, count);
        runFrame(window, programs, frame.now, nullptr, &source, overlay);
        lastShown = frame.now;
        shownLabel = source.label;
        state.moved = false;
        afterFrame(++outcome.frames);
    };
    // The picture is drawn again only when the watcher changed what it
    // shows: nothing else changes between two frames.
    auto redrawIfChanged = [&] {
        FrameSource source;
        source.camera = state.freeCamera ? &state.camera : nullptr;
        source.label = labelFor(state, outcome.frames, count);
        if (state.moved || source.label != shownLabel) {
            drawFrame(window, programs, &source, overlay);
            shownLabel = source.label;
            state.moved = false;
        }
    };

    while (outcome.frames < count && !closeAsked(window, state)) {
        const double wall = clock.now();
        const double speedBefore = state.speed;
        applyWatchKeys(state, wall - lastWall);
        lastWall = wall;
        if (state.speed != speedBefore) {
            pace.setSpeed(state.speed, wall);
        }
        if (state.paused) {
            wasPaused = true;
            if (state.steps > 0) {
                --state.steps;
                runNext();
            } else {
                redrawIfChanged();
                clock.wait(EVENT_WAIT);
            }
            continue;
        }
        if (wasPaused) {
            // Going on: the next frame follows the last one shown at its
            // recorded distance.
            pace.anchor(wall, lastShown);
            wasPaused = false;
        }
        const double due = pace.dueAt(frames[static_cast<size_t>(outcome.frames)].now);
        if (wall < due) {
            redrawIfChanged();
            clock.wait(std::min(due - wall, EVENT_WAIT));
            continue;
        }
        if (wall - due > MOST_BEHIND) {
            pace.anchor(wall, frames[static_cast<size_t>(outcome.frames)].now);
        }
        runNext();
        clock.wait(0.0);
    }
    outcome.quit = outcome.frames < count;
    return outcome;
}

namespace {

// The last picture of a recording that stopped early stays up a moment with
// a line that says so; Escape closes it sooner.
void holdEarlyEnd(GLFWwindow* window, const FramePrograms& programs, const TextOverlay* overlay,
                  WatchState& state, const WatchClock& clock, int frames) {
    FrameSource source;
    source.label = "Replay  recording ended early after frame " + std::to_string(frames);
    const double until = clock.now() + EARLY_END_SECONDS;
    while (!closeAsked(window, state) && clock.now() < until) {
        applyWatchKeys(state, 0.0);
        source.camera = state.freeCamera ? &state.camera : nullptr;
        drawFrame(window, programs, &source, overlay);
        clock.wait(EVENT_WAIT);
    }
}

}  // namespace

int watchRecordingFile(const std::string& path, int every, bool bodies, std::ostream& out,
                       const std::string& program, std::optional<Quality> commandLineQuality,
                       Quality settingsQuality) {
    Recording recording;
    std::string problem;
    if (!readRecording(path, recording, problem)) {
        out << program << ": " << problem << std::endl;
        return 2;
    }
    // The recorded window's size: the same projection.
    fullscreen = false;
    windowWidth = static_cast<uint32_t>(recording.header.width);
    windowHeight = static_cast<uint32_t>(recording.header.height);
    if (!glfwInit()) {
        return 1;
    }
    // The preset changes nothing in the simulation, only what it costs to draw.
    const QualityChoice quality = chooseQuality(commandLineQuality, settingsQuality, probeRenderer);
    const QualityPreset& preset = presetFor(quality.preset);
    GLFWwindow* window = openGameWindow(true, preset.windowSamples);
    if (!window) {
        return 1;
    }
    out << qualityLine(quality) << std::endl;
    WatchState state;
    installWatchCallbacks(window, &state);
    const WatchClock clock{[] { return glfwGetTime(); },
                           [](double seconds) {
                               if (seconds > 0.0) {
                                   glfwWaitEventsTimeout(seconds);
                               } else {
                                   glfwPollEvents();
                               }
                           }};
    {
        const GamePrograms programs;
        resetGameStateFor(recording.header);
        auto replayWorld = std::make_unique<World>(preset);
        world = replayWorld.get();
        TextOverlay overlay;
        overlay.load(out);
        const int last = static_cast<int>(recording.frames.size());
        const ReplayReport report{out, every, bodies, last};
        const double started = clock.now();
        const WatchOutcome outcome =
            watchFrames(window, programs.ids(), &overlay, recording, state, clock,
                        [&](int frame) { report.frameDone(frame); });
        const double seconds = clock.now() - started;
        report.stopped(outcome.frames);
        const double recorded =
            last > 1 ? recording.frames.back().now - recording.frames[0].now : 0;
        char pace[128];
        std::snprintf(pace, sizeof pace, "watched %d frames in %.2f s (recorded over %.2f s)\n",
                      outcome.frames, seconds, recorded);
        out << pace << std::flush;
        if (!recording.complete && !outcome.quit) {
            report.endedEarly();
            holdEarlyEnd(window, programs.ids(), &overlay, state, clock, last);
        }
        world = nullptr;
        replayWorld.reset();
    }
    glfwTerminate();
    return 0;
}
