#include "app/main_loop.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <iostream>
#include <memory>

#include "app/camera.h"
#include "app/input.h"
#include "gfx/shader_program.h"
#include "render/scene_pass.h"
#include "world/world.h"

uint32_t windowWidth = 1024;
uint32_t windowHeight = 768;
bool fullscreen = false;
float deltaTime = 0.0f;
float lastFrame = 0.0f;

namespace {

// Opens the window full screen at the monitor's current mode, or 1024 x 768.
GLFWwindow* openWindow() {
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_SAMPLES, 16);

    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
    if (fullscreen && mode) {
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

void installCallbacks(GLFWwindow* window) {
    glfwSetKeyCallback(window, onKey);
    glfwSetCursorPosCallback(window, onCursorPos);
    glfwSetScrollCallback(window, onScroll);
    glfwSetWindowSizeCallback(window, onWindowSize);
}

void setGlobalGlState() {
    glViewport(0, 0, static_cast<GLsizei>(windowWidth), static_cast<GLsizei>(windowHeight));
    glEnable(GL_MULTISAMPLE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
}

// The seven programs, in the order they are built.
struct ShaderPrograms {
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

    FramePrograms ids() const {
        return {environment.id, sceneA.id, sceneB.id, sky.id, shadow.id, cubemap.id, cubemapSky.id};
    }
    void release() const {
        for (GLuint id :
             {environment.id, sceneA.id, sceneB.id, sky.id, shadow.id, cubemap.id, cubemapSky.id}) {
            glDeleteProgram(id);
        }
    }
};

void runFrame(GLFWwindow* window, const FramePrograms& programs) {
    const float now = static_cast<float>(glfwGetTime());
    deltaTime = now - lastFrame;
    lastFrame = now;

    glfwPollEvents();
    applyHeldKeys();
    stepWorld(static_cast<double>(deltaTime));

    // The step may have rebuilt the level: read the car afresh.
    if (!freeCamera && world->car) {
        camera.followCar(world->car->modelMatrix);
    }
    const mat4 view = camera.viewMatrix();
    const mat4 projection = screenProjection(camera.zoom);
    renderFrame(programs, camera.position, view, projection, windowWidth, windowHeight);
    glfwSwapBuffers(window);
}

int fail(const char* message) {
    std::cout << message << std::endl;
    glfwTerminate();
    return 1;
}

}  // namespace

bool askFullscreen(std::istream& in, std::ostream& out) {
    out << "Hallo Vrom" << std::endl;
    out << "Fullscreen? y/N: " << std::flush;
    return in.get() == 'y';
}

mat4 screenProjection(float zoomDegrees) {
    // A minimised window has no area; keep the last shape that had one.
    static float lastValidAspect = 1024.0f / 768.0f;
    if (windowWidth > 0 && windowHeight > 0) {
        lastValidAspect = static_cast<float>(windowWidth) / static_cast<float>(windowHeight);
    }
    return perspective(zoomDegrees, lastValidAspect, 0.1f, 100.0f);
}

int runGame() {
    fullscreen = askFullscreen(std::cin, std::cout);

    if (!glfwInit()) {
        return fail("Could not initialise GLFW (is a display available?)");
    }
    GLFWwindow* window = openWindow();
    if (!window) {
        return fail("Could not create the window with an OpenGL 3.3 core context");
    }
    glfwMakeContextCurrent(window);
    installCallbacks(window);

    glewExperimental = GL_TRUE;
    if (glewInit() != GLEW_OK) {
        return fail("Could not load the OpenGL entry points (glewInit failed)");
    }
    // Extension loading may leave an error flag behind; it means nothing.
    glGetError();
    setGlobalGlState();

    const ShaderPrograms shaders;
    auto gameWorld = std::make_unique<World>();
    world = gameWorld.get();

    const FramePrograms programs = shaders.ids();
    while (!glfwWindowShouldClose(window)) {
        runFrame(window, programs);
    }

    // Teardown in reverse: the world's GL objects and bodies, the programs,
    // then the context.
    world = nullptr;
    gameWorld.reset();
    shaders.release();
    glfwTerminate();
    return 0;
}
