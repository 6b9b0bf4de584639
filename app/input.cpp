#include "app/input.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <algorithm>
#include <iostream>
#include <utility>

#include "app/camera.h"
#include "app/play_state.h"
#include "app/window_state.h"
#include "world/car.h"
#include "world/world.h"

namespace {

std::function<void(const InputEvent&)> inputListener;

// The window's callbacks: each event goes through receiveEvent, so the
// listener hears it before the game handles it.
void receiveKey(GLFWwindow* window, int key, int scancode, int action, int mods) {
    receiveEvent(window, InputEvent::keyEvent(key, scancode, action, mods));
}

void receiveCursorPos(GLFWwindow* window, double x, double y) {
    receiveEvent(window, InputEvent::pointEvent(InputEvent::Kind::Cursor, x, y));
}

void receiveScroll(GLFWwindow* window, double x, double y) {
    receiveEvent(window, InputEvent::pointEvent(InputEvent::Kind::Scroll, x, y));
}

void receiveWindowSize(GLFWwindow* window, int width, int height) {
    receiveEvent(window, InputEvent::sizeEvent(width, height));
}

void receiveWindowFocus(GLFWwindow* window, int focused) {
    receiveEvent(window, InputEvent::focusEvent(focused ? 1 : 0));
}

// A pad button pressed since its last state counts as a press of its key.
void pressedAs(const PadState& now, const PadState& before, int button, int key) {
    if (now.buttons[button] && !before.buttons[button]) {
        ++keyPresses[key];
    }
}

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
    camera.look(xoffset, yoffset);
}

void onScroll(GLFWwindow* /*window*/, double /*xoffset*/, double yoffset) {
    if (!freeCamera || playState.paused) {
        return;
    }
    camera.zoomBy(static_cast<float>(yoffset));
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

void onPadState(const PadState& state) {
    pressedAs(state, pad, GLFW_GAMEPAD_BUTTON_A, GLFW_KEY_SPACE);
    pressedAs(state, pad, GLFW_GAMEPAD_BUTTON_Y, GLFW_KEY_X);
    pressedAs(state, pad, GLFW_GAMEPAD_BUTTON_BACK, GLFW_KEY_C);
    pressedAs(state, pad, GLFW_GAMEPAD_BUTTON_START, GLFW_KEY_P);
    pad = state;
}

void installInputCallbacks(GLFWwindow* window) {
    glfwSetKeyCallback(window, receiveKey);
    glfwSetCursorPosCallback(window, receiveCursorPos);
    glfwSetScrollCallback(window, receiveScroll);
    glfwSetWindowSizeCallback(window, receiveWindowSize);
    glfwSetWindowFocusCallback(window, receiveWindowFocus);
}

void setInputListener(std::function<void(const InputEvent&)> listener) {
    inputListener = std::move(listener);
}

void receiveEvent(GLFWwindow* window, const InputEvent& event) {
    if (inputListener) {
        inputListener(event);
    }
    deliverEvent(window, event);
}

void deliverEvent(GLFWwindow* window, const InputEvent& event) {
    switch (event.kind) {
        case InputEvent::Kind::Key:
            onKey(window, event.key, event.scancode, event.action, event.mods);
            break;
        case InputEvent::Kind::Cursor:
            onCursorPos(window, event.x, event.y);
            break;
        case InputEvent::Kind::Scroll:
            onScroll(window, event.x, event.y);
            break;
        case InputEvent::Kind::WindowSize:
            onWindowSize(window, event.width, event.height);
            break;
        case InputEvent::Kind::Focus:
            onWindowFocus(window, event.focused);
            break;
        case InputEvent::Kind::Pad:
            onPadState(event.pad);
            break;
    }
}

void pollGamepad(GLFWwindow* window) {
    const PadState state = readGamepad();
    if (state != pad) {
        receiveEvent(window, InputEvent::padEvent(state));
    }
}

void applyHeldKeys() {
    if (freeCamera) {
        camera.fly(keys[GLFW_KEY_W], keys[GLFW_KEY_S], keys[GLFW_KEY_A], keys[GLFW_KEY_D],
                   camera.movementSpeed * deltaTime);
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
