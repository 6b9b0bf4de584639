#pragma once

#include <GL/glew.h>

// Renders the shadow casters (crates and figures) into the depth cube map
// around the light that rides with the car: one layered draw per object.
void renderShadowPass(GLuint shadowProgram);
