// Keyboard and mouse: the GLFW callbacks record what is held and steer the
// free camera; applyHeldKeys turns the held keys into actions once a frame.
#pragma once

struct GLFWwindow;

constexpr int KEY_COUNT = 1024;

extern bool keys[KEY_COUNT];
extern bool freeCamera;
extern bool wireframe;
extern bool firstMouse;
extern float lastX;
extern float lastY;

// Presses of the toggle keys seen since the last applyHeldKeys: a toggle
// flips once per press, however long the key is held or however short the
// tap.
extern int pendingCameraToggles;
extern int pendingWireframeToggles;

void onKey(GLFWwindow* window, int key, int scancode, int action, int mods);
void onCursorPos(GLFWwindow* window, double xpos, double ypos);
void onScroll(GLFWwindow* window, double xoffset, double yoffset);
void onWindowSize(GLFWwindow* window, int width, int height);

void applyHeldKeys();

// Puts every input flag back to its start value (tests and a fresh run).
void resetInput();
