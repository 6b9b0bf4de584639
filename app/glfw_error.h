// GLFW's own words for why a call failed, for the start-up failure lines of
// the game, its tools and its tests.
#pragma once

#include <string>

// `message`, then ": " and GLFW's description of its last error when it has
// one (reading it clears it), e.g. "Could not initialise GLFW (is a display
// available?): X11: The DISPLAY environment variable is missing".
std::string withGlfwReason(const std::string& message);

// The same for a failed glewInit: GLEW's description of `glewError`, and
// GLFW's last error when it has one.
std::string withGlewReason(const std::string& message, unsigned glewError);
