// Program entry and main loop: the console dialogue, the window, the global
// OpenGL state, the shader programs, the world and the frame loop.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

#include "app/command_line.h"
#include "app/window_state.h"
#include "gfx/shader_program.h"
#include "render/maths.h"
#include "render/scene_pass.h"

struct GLFWwindow;
class Camera;
class TextOverlay;

// Greets the user and asks the full-screen question; true only for a
// lower-case 'y'. Reads exactly one character.
bool askFullscreen(std::istream& in, std::ostream& out);
// The greeting alone, for a command line that already answered the question.
void greet(std::ostream& out);

// The projection of the on-screen camera for the current window size. A
// window without area (minimised) keeps the last valid aspect ratio.
mat4 screenProjection(float zoomDegrees);

// glfwInit, the window (full screen when `fullscreen` is set, else 1024 x 768
// with `samples` asked for: the quality preset's, 16 at high), its context,
// the input callbacks, GLEW and the global GL state. Prints why and returns
// null when any of it fails. A replay asks for a hidden window.
GLFWwindow* openGameWindow(bool visible = true, int samples = 16);

// The seven programs in the order the game builds them; each ShaderProgram
// owns its program, so they are deleted with this.
struct GamePrograms {
    ShaderProgram environment{"Vrom2/shader/environment.vert", "Vrom2/shader/environment.frag"};
    ShaderProgram sceneA{"Vrom2/shader/shader.vert", "Vrom2/shader/shader.frag"};
    ShaderProgram sceneB{"Vrom2/shader/shader.vert", "Vrom2/shader/shader.frag"};
    ShaderProgram sky{"Vrom2/shader/sky.vert", "Vrom2/shader/sky.frag"};
    ShaderProgram shadow{"Vrom2/shader/shadow.vert", "Vrom2/shader/shadow.frag",
                         "Vrom2/shader/shadow.geom"};
    ShaderProgram cubemap{"Vrom2/shader/cubemap.vert", "Vrom2/shader/cubemap.frag",
                          "Vrom2/shader/cubemap.geom"};
    ShaderProgram cubemapSky{"Vrom2/shader/cubemapsky.vert", "Vrom2/shader/cubemapsky.frag",
                             "Vrom2/shader/cubemapsky.geom"};

    // The plain names every draw operation takes.
    FramePrograms ids() const;
};

// Seconds of one frame's stages, filled by runFrame when asked. `clock` is the
// stopwatch (a steady wall clock when null; a benchmark may pass a CPU-time
// clock). With finishStages each stage waits for its GPU work (glFinish), so
// the split is honest but the frame is no longer pipelined; without it only
// the sum is meaningful.
struct FrameStageTimes {
    bool finishStages = false;
    double (*clock)() = nullptr;
    double update = 0.0;       // events, held keys, physics step, camera
    double shadow = 0.0;       // prepareFrame and the shadow pass
    double environment = 0.0;  // environment pass
    double scene = 0.0;        // on-screen pass and swap
};

// Where a frame's input comes from, and whether it is drawn: the game polls
// the window's events and draws; a replay hands over recorded input and may
// skip the passes.
struct FrameSource {
    std::function<void()> pollEvents;  // empty: the window's own events
    bool draw = true;
    // Drawn from this camera instead of the game's, whose own goes on being
    // placed underneath (someone watching a replay flies their own).
    const Camera* camera = nullptr;
    // What the display shows in its top right corner (a replay says so).
    std::string label;
};

// The frame's passes, the display (with the source's label) and the swap,
// from the source's camera or the game's: what runFrame draws after its
// step, and what a paused replay draws again when its watcher looks around.
void drawFrame(GLFWwindow* window, const FramePrograms& programs, const FrameSource* source,
               const TextOverlay* overlay, FrameStageTimes* times = nullptr);

// One frame of the loop: frame time from `now` (seconds on the GLFW timer in
// the game), events, held keys, the physics step (none while paused), the
// camera, the three passes at the world's quality preset, the heads-up
// display at the window's size when there is an overlay, and the swap. Returns whether a physics
// step was taken.
bool runFrame(GLFWwindow* window, const FramePrograms& programs, float now,
              FrameStageTimes* times = nullptr, const FrameSource* source = nullptr,
              const TextOverlay* overlay = nullptr);

// What the entry adds around a game it starts (a recorder): once the window
// is open (false ends the run, with status 1), after every frame with the
// time it started at, and when the last frame has run.
struct GameHooks {
    std::function<bool()> windowOpened;
    std::function<void(float now)> frameEnded;
    std::function<void()> gameEnded;
};

// Plays the game the command line asks for: the console dialogue, start-up,
// the frame loop until the window is asked to close, shutdown. Returns the
// exit status.
int playGame(const CommandLine& commandLine, const GameHooks& hooks = {});

// The quality the player's settings file asks for (made with its defaults
// on the first start).
Quality settingsQuality();
// A file the player names is taken from where they started the launcher,
// which moves into the asset tree.
std::string fromStartDirectory(std::string path);

// The per-run state a game starts with: input, camera, the frame clock and
// the physics step's owed time. A replay starts from it, as the game does.
void resetGameState();
