// Lays the display's text and panels out as textured quads in window pixels
// (origin top left, y down). Sizes follow the window's height, so the same
// display reads the same at 640 x 360 and at 1920 x 1080.
#pragma once

#include <string>
#include <vector>

#include "hud/font_atlas.h"
#include "hud/hud_view.h"

struct HudVertex {
    float x = 0, y = 0;  // window pixels
    float u = 0, v = 0;  // atlas
    float r = 1, g = 1, b = 1, a = 1;
};

struct HudColour {
    float r = 1, g = 1, b = 1, a = 1;
};

// A rectangle in window pixels.
struct HudRect {
    float left = 0, top = 0, right = 0, bottom = 0;
};

// The text size of the display's status lines for a window this tall.
float hudTextSize(float windowHeight);

// Width in pixels of a line of text at a size (pixels from ascent to descent
// as the font was rasterised).
float textWidth(const FontAtlas& atlas, const std::string& text, float size);

// Two triangles per glyph, from the pen at (x, baseline).
void appendText(std::vector<HudVertex>& out, const FontAtlas& atlas, const std::string& text,
                float x, float baseline, float size, HudColour colour);
// A flat rectangle (the atlas's fully covered block).
void appendPanel(std::vector<HudVertex>& out, const FontAtlas& atlas, HudRect rect,
                 HudColour colour);

// Every quad of the display; nothing for an empty view.
std::vector<HudVertex> layoutHud(const FontAtlas& atlas, const HudView& view, float width,
                                 float height);

// The bounds of a vertex list (for tests and for a caller that wants to know
// where the display drew); an empty rectangle for no vertices.
HudRect boundsOf(const std::vector<HudVertex>& vertices);
