// What the player's input has left: the held keys, the presses not yet acted
// on, the window's focus and the free camera's switches. Process-wide, written
// by the input callbacks and read by the frame's steps.
#pragma once

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

// Drops the presses seen since the last frame without acting on them (a
// paused frame): they must not act later, when the game goes on.
void forgetKeyPresses();
