// The off-screen target a scene drawn below the window's resolution goes
// into before it is scaled up to the window: one colour and one depth
// buffer, without multisampling, remade when the wanted size changes.
#pragma once

#include <GL/glew.h>

#include <cstdint>

#include "gfx/gl_handle.h"

// The size of a scene drawn at `scale` of a window: each side rounded, at
// least one pixel while the window has any.
uint32_t scaledSide(uint32_t windowSide, float scale);

class SceneTarget {
public:
    GlFramebuffer framebuffer;
    GlRenderbuffer colour;
    GlRenderbuffer depth;
    uint32_t width = 0;
    uint32_t height = 0;

    // Binds the target at this size, making it first when the size is new.
    void bind(uint32_t targetWidth, uint32_t targetHeight);
    // Scales what was drawn up to the whole window of the default
    // framebuffer (filtered) and leaves that framebuffer bound, with the
    // window's viewport, for what is drawn over the scene.
    void present(uint32_t windowWidth, uint32_t windowHeight) const;
    // Deletes the GL objects; safe to call more than once.
    void release();
};
