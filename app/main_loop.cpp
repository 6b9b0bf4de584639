#include "app/main_loop.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "app/camera.h"
#include "app/command_line.h"
#include "app/game_sound.h"
#include "app/gamepad.h"
#include "app/glfw_error.h"
#include "app/input.h"
#include "app/play_state.h"
#include "app/quality_choice.h"
#include "audio/sound_player.h"
#include "hud/text_overlay.h"
#include "render/environment_pass.h"
#include "render/shadow_pass.h"
#include "storage/settings.h"
#include "world/physics.h"
#include "world/world.h"

namespace {

// Full screen at the monitor's current mode, or 1024 x 768 in a window.
GLFWwindow* createWindow(bool visible, int samples) {
    if (!visible) {
        glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    }
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_SAMPLES, samples);

    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = (fullscreen && monitor) ? glfwGetVideoMode(monitor) : nullptr;
    if (mode) {
        glfwWindowHint(GLFW_REFRESH_RATE, 60);
        GLFWwindow* window =
            glfwCreateWindow(mode->width, mode->height, "Vromdash", monitor, nullptr);
        windowWidth = static_cast<uint32_t>(mode->width);
        windowHeight = static_cast<uint32_t>(mode->height);
        return window;
    }
    return glfwCreateWindow(static_cast<int>(windowWidth), static_cast<int>(windowHeight),
                            "Vromdash", nullptr, nullptr);
}

void setGlobalGlState() {
    glViewport(0, 0, static_cast<GLsizei>(windowWidth), static_cast<GLsizei>(windowHeight));
    glEnable(GL_MULTISAMPLE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
}

GLFWwindow* fail(const std::string& message) {
    std::cout << message << std::endl;
    glfwTerminate();
    return nullptr;
}

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Adds the time since `start` to `total` and restarts the stopwatch; with
// finishStages the stage's GPU work is waited for first.
void lap(FrameStageTimes& times, double& start, double& total) {
    if (times.finishStages) {
        glFinish();
    }
    const double now = times.clock();
    total += now - start;
    start = now;
}

// The settings file, then the quality for this run: the command line's,
// else the file's, with auto decided by the renderer (which needs GLFW).
// False, with the failure line printed, when GLFW cannot start.
bool chooseRunQuality(const CommandLine& commandLine, QualityChoice& choice) {
    const Quality fromFile = settingsQuality();
    if (!glfwInit()) {
        fail(withGlfwReason(GLFW_INIT_FAILED));
        return false;
    }
    choice = chooseQuality(commandLine.quality, fromFile, probeRenderer);
    return true;
}

// The held keys and the world's step, then what the rules did.
bool simulateFrame() {
    applyHeldKeys();
    const bool stepped = stepWorld(static_cast<double>(deltaTime), glfwGetTime());
    followRules(stepped);
    return stepped;
}

}  // namespace

void greet(std::ostream& out) {
    out << "Hallo Vrom" << std::endl;
}

bool askFullscreen(std::istream& in, std::ostream& out) {
    greet(out);
    out << "Fullscreen? y/N: " << std::flush;
    return in.get() == 'y';
}

Quality settingsQuality() {
    SettingsFile settings;
    settings.path = settingsPath();
    settings.load(std::cout);
    return settings.settings.quality;
}

std::string fromStartDirectory(std::string path) {
    const char* startDirectory = std::getenv("VROMDASH_START_DIRECTORY");
    if (!path.empty() && path[0] != '/' && startDirectory && *startDirectory) {
        path = std::string(startDirectory) + "/" + path;
    }
    return path;
}

void resetGameState() {
    resetInput();
    resetPlayState();
    camera = Camera();
    deltaTime = 0.0f;
    lastFrame = 0.0f;
    physicsAccumulator = 0.0;
}

mat4 screenProjection(float zoomDegrees) {
    // A minimised window has no area; keep the last shape that had one.
    static float lastValidAspect = 1024.0f / 768.0f;
    if (windowWidth > 0 && windowHeight > 0) {
        lastValidAspect = static_cast<float>(windowWidth) / static_cast<float>(windowHeight);
    }
    return perspective(zoomDegrees, lastValidAspect, 0.1f, 100.0f);
}

GLFWwindow* openGameWindow(bool visible, int samples) {
    if (!glfwInit()) {
        return fail(withGlfwReason(GLFW_INIT_FAILED));
    }
    GLFWwindow* window = createWindow(visible, samples);
    if (!window) {
        return fail(withGlfwReason(WINDOW_FAILED));
    }
    glfwMakeContextCurrent(window);
    installInputCallbacks(window);

    glewExperimental = GL_TRUE;
    const GLenum glewStatus = glewInit();
    if (glewStatus != GLEW_OK) {
        return fail(withGlewReason(GLEW_INIT_FAILED, glewStatus));
    }
    // Extension loading may leave an error flag behind; it means nothing.
    glGetError();
    setGlobalGlState();
    return window;
}

FramePrograms GamePrograms::ids() const {
    return {environment.id(), sceneA.id(),  sceneB.id(),    sky.id(),
            shadow.id(),      cubemap.id(), cubemapSky.id()};
}

bool runFrame(GLFWwindow* window, const FramePrograms& programs, float now, FrameStageTimes* times,
              const FrameSource* source, const TextOverlay* overlay) {
    if (times && !times->clock) {
        times->clock = steadySeconds;
    }
    double start = times ? times->clock() : 0.0;

    deltaTime = now - lastFrame;
    lastFrame = now;
    if (source && source->pollEvents) {
        source->pollEvents();
    } else {
        glfwPollEvents();
        pollGamepad(window);
    }
    applyPlayKeys();
    const bool stepped = playState.paused ? holdPaused() : simulateFrame();

    // The step may have rebuilt the level: read the car afresh.
    if (!freeCamera && world->car) {
        camera.followCar(world->car->modelMatrix);
    }
    updateSound(stepped, freeCamera ? camera.viewMatrix() : camera.followViewMatrix());
    if (times) {
        lap(*times, start, times->update);
    }
    if (!source || source->draw) {
        drawFrame(window, programs, source, overlay, times);
    }
    return stepped;
}

void drawFrame(GLFWwindow* window, const FramePrograms& programs, const FrameSource* source,
               const TextOverlay* overlay, FrameStageTimes* times) {
    if (times && !times->clock) {
        times->clock = steadySeconds;
    }
    double start = times ? times->clock() : 0.0;
    const Camera& shown = source && source->camera ? *source->camera : camera;
    const bool followView = !freeCamera && &shown == &camera;
    const mat4 view = followView ? shown.followViewMatrix() : shown.viewMatrix();
    const mat4 projection = screenProjection(shown.zoom);

    prepareFrame(shown.position, view, projection);
    renderShadowPass(programs.shadow);
    if (times) {
        lap(*times, start, times->shadow);
    }
    renderEnvironmentPass(programs.cubemap, programs.cubemapSky);
    if (times) {
        lap(*times, start, times->environment);
    }
    renderScene(programs, windowWidth, windowHeight);
    if (overlay) {
        HudView view = hudView();
        if (source) {
            view.label = source->label;
        }
        overlay->draw(view, windowWidth, windowHeight);
    }
    glfwSwapBuffers(window);
    if (times) {
        lap(*times, start, times->scene);
    }
}

int playGame(const CommandLine& commandLine, const GameHooks& hooks) {
    if (commandLine.screen == ScreenChoice::Ask) {
        fullscreen = askFullscreen(std::cin, std::cout);
    } else {
        greet(std::cout);
        fullscreen = commandLine.screen == ScreenChoice::Fullscreen;
    }
    QualityChoice quality;
    if (!chooseRunQuality(commandLine, quality)) {
        return 1;
    }
    const QualityPreset& preset = presetFor(quality.preset);
    GLFWwindow* window = openGameWindow(true, preset.windowSamples);
    if (!window) {
        return 1;
    }
    std::cout << qualityLine(quality) << std::endl;
    loadGamepadMappings(std::cout);
    watchGamepads(std::cout);
    if (hooks.windowOpened && !hooks.windowOpened()) {
        glfwTerminate();
        return 1;
    }
    {
        const GamePrograms programs;
        auto gameWorld = std::make_unique<World>(preset);
        world = gameWorld.get();
        TextOverlay overlay;
        overlay.load(std::cout);
        keepBestTimes(std::cout);
        SoundPlayer sound;
        sound.start(std::cout);
        playState.muted = commandLine.muted;
        gameSound = &sound;
        const FramePrograms ids = programs.ids();
        while (!glfwWindowShouldClose(window)) {
            const float now = static_cast<float>(glfwGetTime());
            runFrame(window, ids, now, nullptr, nullptr, &overlay);
            if (hooks.frameEnded) {
                hooks.frameEnded(now);
            }
        }
        // The world's GL objects and bodies go before the overlay's, the
        // programs and the context.
        gameSound = nullptr;
        world = nullptr;
        gameWorld.reset();
    }
    if (hooks.gameEnded) {
        hooks.gameEnded();
    }
    glfwTerminate();
    return 0;
}
