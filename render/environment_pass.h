#pragma once

#include <GL/glew.h>

class Skybox;

// Fills the environment cube map around the car: the sky copied in, then the
// road, crates and figures in one layered draw each. Faces smaller than the
// sky's (the lower presets) copy the sky's mip level of their size. Without
// an image-copy entry point, or without that level, the sky is drawn into
// the six faces instead.
void renderEnvironmentPass(GLuint cubemapProgram, GLuint cubemapSkyProgram);

// Gives the sky the mip levels that environment faces smaller than its own
// copy from; nothing for full-size faces. renderEnvironmentPass calls it
// before it first draws a level build, so the world need not know of it.
void prepareSkyForEnvironment(const Skybox& sky, GLuint environmentFaceSize);

// Copy the sky when the driver has glCopyImageSubData (the default); false
// draws it with the cubemapsky program instead, as a driver without the
// entry point gets. Tests switch it off to exercise that path.
extern bool environmentSkyCopy;
