// Program entry and main loop: the console dialogue, the window, the global
// OpenGL state, the shader programs, the world and the frame loop.
#pragma once

#include <cstdint>
#include <iosfwd>

#include "render/maths.h"

struct GLFWwindow;

extern uint32_t windowWidth;
extern uint32_t windowHeight;
extern bool fullscreen;
extern float deltaTime;
extern float lastFrame;

// Greets the user and asks the full-screen question; true only for a
// lower-case 'y'. Reads exactly one character.
bool askFullscreen(std::istream& in, std::ostream& out);

// The projection of the on-screen camera for the current window size. A
// window without area (minimised) keeps the last valid aspect ratio.
mat4 screenProjection(float zoomDegrees);

// Runs the whole program: start-up, frame loop, shutdown. Returns the exit
// status.
int runGame();
