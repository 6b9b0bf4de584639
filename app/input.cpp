#include "app/input.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <algorithm>
#include <iostream>
#include <iterator>

#include "app/camera.h"
#include "app/gamepad.h"
#include "app/main_loop.h"
#include "app/play_state.h"
#include "world/car.h"
#include "world/world.h"

bool keys[KEY_COUNT] = {};
bool freeCamera = false;
bool wireframe = false;
bool firstMouse = true;
float lastX = 400.0f;
float lastY = 300.0f;
int keyPresses[KEY_COUNT] = {};
int focusLosses = 0;
bool windowFocused = true;

namespace {

bool validKey(int key) {
    return key >= 0 && key < KEY_COUNT;
}

// How often a one-shot key acts this frame: once for every press seen since
// the last frame, or once while it is held with no new press.
int actionsThisFrame(int key) {
    return std::max(keyPresses[key], keys[key] ? 1 : 0);
}

void setWireframe(bool on) {
    glPolygonMode(GL_FRONT_AND_BACK, on ? GL_LINE : GL_FILL);
    wireframe = on;
}

void printChassisPosition() {
    const RigidDynamic* chassis = currentChassis();
    if (!chassis) {
        return;
    }
    const vec3 p = chassis->getGlobalPose().p;
    std::cout << "Position: " << p.x << " " << p.y << " " << p.z << " " << std::endl;
}

// Turns the chassis upright where it stands; wheels and velocities stay.
void setChassisUpright() {
    RigidDynamic* chassis = currentChassis();
    if (!chassis) {
        return;
    }
    Pose pose = chassis->getGlobalPose();
    pose.q = Quat();
    chassis->setGlobalPose(pose, true);
}

void driveWith(int command, bool key, float padStrength) {
    const float strength = std::min(1.0f, (key ? 1.0f : 0.0f) + padStrength);
    if (strength > 0.0f && world && world->car) {
        driveCar(*world->car, command, driveShareOfStep(deltaTime), strength);
    }
}

void loadLevelKey(int number) {
    if (world) {
        world->loadLevel(number);
    }
}

}  // namespace

void onKey(GLFWwindow* window, int key, int /*scancode*/, int action, int /*mods*/) {
    if (!validKey(key)) {
        return;
    }
    if (key == GLFW_KEY_ESCAPE && action == GLFW_PRESS) {
        if (window) {
            glfwSetWindowShouldClose(window, GLFW_TRUE);
        }
        keys[key] = true;
        return;
    }
    if (action == GLFW_PRESS) {
        keys[key] = true;
        ++keyPresses[key];
    } else if (action == GLFW_RELEASE) {
        keys[key] = false;
    }
}

void onCursorPos(GLFWwindow* window, double xpos, double ypos) {
    double previousX = lastX;
    double previousY = lastY;
    if (firstMouse) {
        previousX = xpos;
        previousY = ypos;
        firstMouse = false;
    }
    // Screen y grows downwards: moving the mouse up looks up.
    const float xoffset = static_cast<float>(xpos - previousX);
    const float yoffset = static_cast<float>(previousY - ypos);
    lastX = static_cast<float>(xpos);
    lastY = static_cast<float>(ypos);

    if (window) {
        glfwSetInputMode(window, GLFW_CURSOR,
                         keys[GLFW_KEY_LEFT_SHIFT] ? GLFW_CURSOR_NORMAL : GLFW_CURSOR_DISABLED);
    }

    // A paused game holds its picture still, the free camera's too.
    if (!freeCamera || playState.paused) {
        return;
    }
    camera.yaw += xoffset * camera.mouseSensitivity;
    camera.pitch += yoffset * camera.mouseSensitivity;
    if (camera.pitch > 89.0f) {
        camera.pitch = 89.0f;
    }
    if (camera.pitch < -89.0f) {
        camera.pitch = -89.0f;
    }
    camera.updateVectors();
}

void onScroll(GLFWwindow* /*window*/, double /*xoffset*/, double yoffset) {
    if (!freeCamera || playState.paused) {
        return;
    }
    if (camera.zoom >= 1.0f && camera.zoom <= 45.0f) {
        camera.zoom -= static_cast<float>(yoffset);
    }
    if (camera.zoom <= 1.0f) {
        camera.zoom = 1.0f;
    } else if (camera.zoom >= 45.0f) {
        camera.zoom = 45.0f;
    }
}

void onWindowSize(GLFWwindow* /*window*/, int width, int height) {
    windowWidth = static_cast<uint32_t>(width < 0 ? 0 : width);
    windowHeight = static_cast<uint32_t>(height < 0 ? 0 : height);
}

void onWindowFocus(GLFWwindow* /*window*/, int focused) {
    if (!focused) {
        ++focusLosses;
    }
    windowFocused = focused != 0;
}

void applyHeldKeys() {
    const float v = camera.movementSpeed * deltaTime;
    if (freeCamera) {
        if (keys[GLFW_KEY_W])
            camera.position += camera.front * v;
        if (keys[GLFW_KEY_S])
            camera.position -= camera.front * v;
        if (keys[GLFW_KEY_A])
            camera.position -= camera.right * v;
        if (keys[GLFW_KEY_D])
            camera.position += camera.right * v;
    }
    // Keys push with full strength, the pad with its own; together they
    // never push harder than one.
    const PadDrive fromPad = padDrive(pad);
    driveWith(0, keys[GLFW_KEY_UP], fromPad.forward);
    driveWith(1, keys[GLFW_KEY_DOWN], fromPad.backward);
    driveWith(2, keys[GLFW_KEY_LEFT], fromPad.left);
    driveWith(3, keys[GLFW_KEY_RIGHT], fromPad.right);
    for (int flip = 0; flip < keyPresses[GLFW_KEY_C]; ++flip) {
        freeCamera = !freeCamera;
    }
    for (int flip = 0; flip < keyPresses[GLFW_KEY_F3]; ++flip) {
        setWireframe(!wireframe);
    }
    for (int n = actionsThisFrame(GLFW_KEY_1); n > 0; --n)
        loadLevelKey(1);
    for (int n = actionsThisFrame(GLFW_KEY_2); n > 0; --n)
        loadLevelKey(2);
    for (int n = actionsThisFrame(GLFW_KEY_3); n > 0; --n)
        loadLevelKey(3);
    for (int n = actionsThisFrame(GLFW_KEY_X); n > 0; --n)
        printChassisPosition();
    for (int n = actionsThisFrame(GLFW_KEY_SPACE); n > 0; --n)
        setChassisUpright();
    forgetKeyPresses();
}

void forgetKeyPresses() {
    std::fill(std::begin(keyPresses), std::end(keyPresses), 0);
}

void resetInput() {
    for (bool& key : keys) {
        key = false;
    }
    freeCamera = false;
    wireframe = false;
    firstMouse = true;
    lastX = 400.0f;
    lastY = 300.0f;
    forgetKeyPresses();
    focusLosses = 0;
    windowFocused = true;
    pad = PadState();
}
