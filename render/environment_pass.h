#pragma once

#include <GL/glew.h>

// Fills the environment cube map around the car: the sky copied in, then the
// road, crates and figures in one layered draw each. Without an image-copy
// entry point, or when the faces are smaller than the sky's, the sky is
// drawn into the six faces instead.
void renderEnvironmentPass(GLuint cubemapProgram, GLuint cubemapSkyProgram);

// Copy the sky when the driver has glCopyImageSubData (the default); false
// draws it with the cubemapsky program instead, as a driver without the
// entry point gets. Tests switch it off to exercise that path.
extern bool environmentSkyCopy;
