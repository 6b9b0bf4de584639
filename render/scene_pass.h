#pragma once

#include <GL/glew.h>

#include "render/maths.h"

// The programs a frame draws with, built once at start-up.
struct FramePrograms {
    GLuint environment = 0;
    GLuint sceneA = 0;  // road and figures
    GLuint sceneB = 0;  // crates
    GLuint sky = 0;
    GLuint shadow = 0;
    GLuint cubemap = 0;
    GLuint cubemapSky = 0;
};

// Hands every drawable object this frame's camera, light and textures.
void prepareFrame(vec3 cameraPosition, mat4 view, mat4 projection);

// The on-screen pass: road, crates, figures, car and, last, the sky.
void renderScenePass(const FramePrograms& programs, uint32_t width, uint32_t height);

// The scene pass at the world's preset for a window of this size: straight
// into the bound (default) framebuffer, or, when the preset scales the
// scene down, into the world's scene target, then scaled up to the window.
// The default framebuffer is bound afterwards either way.
void renderScene(const FramePrograms& programs, uint32_t width, uint32_t height);

// One whole frame after the step and the camera: prepareFrame, the shadow and
// environment passes and the scene (renderScene).
void renderFrame(const FramePrograms& programs, vec3 cameraPosition, mat4 view, mat4 projection,
                 uint32_t width, uint32_t height);
