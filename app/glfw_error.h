// GLFW's own words for why a call failed, for the start-up failure lines of
// the game, its tools and its tests.
#pragma once

#include <string>

// The start-up failure lines, before the reason is appended.
constexpr const char* GLFW_INIT_FAILED = "Could not initialise GLFW (is a display available?)";
constexpr const char* WINDOW_FAILED = "Could not create the window with an OpenGL 3.3 core context";
constexpr const char* GLEW_INIT_FAILED = "Could not load the OpenGL entry points (glewInit failed)";

// `message`, then ": " and GLFW's description of its last error when it has
// one (reading it clears it), e.g. "Could not initialise GLFW (is a display
// available?): X11: The DISPLAY environment variable is missing".
std::string withGlfwReason(const std::string& message);

// The same for a failed glewInit: GLEW's description of `glewError`, and
// GLFW's last error when it has one.
std::string withGlewReason(const std::string& message, unsigned glewError);
