// The heads-up display's GL objects: the glyph atlas texture, one program
// and one vertex buffer. Each frame's text goes out as one batch of quads,
// alpha blended over the finished scene with no depth test.
#pragma once

#include <GL/glew.h>

#include <cstdint>
#include <iosfwd>

#include "gfx/gl_handle.h"
#include "hud/font_atlas.h"
#include "hud/hud_view.h"

class TextOverlay {
public:
    GlProgram program;
    GlTexture texture;
    GlVertexArray vertexArray;
    GlBuffer vertexBuffer;
    // Glyph metrics; the coverage pixels are dropped once they are uploaded.
    FontAtlas atlas;

    // Finds a font, rasterises it and builds the GL objects. Without a usable
    // font: one console line, false, and draw does nothing.
    bool load(std::ostream& console);
    bool ready() const { return static_cast<bool>(texture); }
    // Deletes the GL objects; safe to call more than once.
    void release();

    // Draws the view over whatever the window holds.
    void draw(const HudView& view, uint32_t width, uint32_t height) const;
};
