// Completeness reports of the two cube-map framebuffers (World sets them up).
#pragma once

#include <GL/glew.h>

// "Framebuffer not complete!" for anything but GL_FRAMEBUFFER_COMPLETE.
void reportShadowFramebufferStatus(GLenum status);
// One line per known status, "FRAMEBUFFER ERROR: (%X)." for any other value.
void reportEnvironmentFramebufferStatus(GLenum status);
