#pragma once

#include <GL/glew.h>

// Fills the environment cube map around the car: the sky copied in, then the
// road, crates and figures in one layered draw each. Without an image-copy
// entry point the sky is drawn into the six faces instead.
void renderEnvironmentPass(GLuint cubemapProgram, GLuint cubemapSkyProgram);

// Whether the sky is copied (true when the driver has glCopyImageSubData).
// Tests switch it off to exercise the drawn fallback.
extern bool environmentSkyCopy;
