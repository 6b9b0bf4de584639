// The window's size and the frame clock: process-wide, set by the frame loop
// and the size events, read by input, the projection and the display.
#pragma once

#include <cstdint>

extern uint32_t windowWidth;
extern uint32_t windowHeight;
extern bool fullscreen;
// Seconds between this frame's start and the last one's, and when the last
// one started (on the GLFW timer, or a recording's).
extern float deltaTime;
extern float lastFrame;
