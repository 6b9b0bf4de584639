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

// Presses the key callback saw since the last applyHeldKeys, per key code. A
// toggle flips once per press however long it is held; the other one-shot
// keys (levels, X, Space) act for a tap that began and ended between two
// frames too, and every frame while held.
extern int keyPresses[KEY_COUNT];
// Times the window lost the keyboard focus since the last frame, and
// whether it has it now, as the last focus event left it.
extern int focusLosses;
extern bool windowFocused;

void onKey(GLFWwindow* window, int key, int scancode, int action, int mods);
void onCursorPos(GLFWwindow* window, double xpos, double ypos);
void onScroll(GLFWwindow* window, double xoffset, double yoffset);
void onWindowSize(GLFWwindow* window, int width, int height);
void onWindowFocus(GLFWwindow* window, int focused);

void applyHeldKeys();
// Drops the presses seen since the last frame without acting on them (a
// paused frame): they must not act later, when the game goes on.
void forgetKeyPresses();

// Puts every input flag back to its start value (tests and a fresh run).
void resetInput();
