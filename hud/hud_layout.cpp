#include "hud/hud_layout.h"

#include <algorithm>

namespace {

const HudColour TEXT{1.0f, 1.0f, 1.0f, 1.0f};
const HudColour DIM_TEXT{0.85f, 0.88f, 0.92f, 1.0f};
const HudColour KEY_TEXT{1.0f, 0.84f, 0.35f, 1.0f};
const HudColour SHADOW{0.0f, 0.0f, 0.0f, 0.8f};
const HudColour PANEL{0.02f, 0.03f, 0.06f, 0.55f};

constexpr float MIN_TEXT_SIZE = 11.0f;
constexpr float LINE_SPACING = 1.3f;

float scaleOf(const FontAtlas& atlas, float size) {
    return atlas.pixelHeight > 0 ? size / atlas.pixelHeight : 0.0f;
}

void appendVertex(std::vector<HudVertex>& out, float x, float y, float u, float v, HudColour c) {
    out.push_back(HudVertex{x, y, u, v, c.r, c.g, c.b, c.a});
}

void appendQuad(std::vector<HudVertex>& out, HudRect at, HudRect uv, HudColour c) {
    appendVertex(out, at.left, at.top, uv.left, uv.top, c);
    appendVertex(out, at.left, at.bottom, uv.left, uv.bottom, c);
    appendVertex(out, at.right, at.bottom, uv.right, uv.bottom, c);
    appendVertex(out, at.left, at.top, uv.left, uv.top, c);
    appendVertex(out, at.right, at.bottom, uv.right, uv.bottom, c);
    appendVertex(out, at.right, at.top, uv.right, uv.top, c);
}

// Text over a soft shadow, so it reads over a bright sky and a dark road.
void appendShadowedText(std::vector<HudVertex>& out, const FontAtlas& atlas,
                        const std::string& text, float x, float baseline, float size,
                        HudColour colour) {
    const float offset = std::max(1.0f, size / 18.0f);
    appendText(out, atlas, text, x + offset, baseline + offset, size, SHADOW);
    appendText(out, atlas, text, x, baseline, size, colour);
}

float lineHeight(float size) {
    return size * LINE_SPACING;
}

// The baseline of a line whose box starts at `top`.
float baselineBelow(const FontAtlas& atlas, float top, float size) {
    const float gap = (lineHeight(size) - size) / 2.0f;
    return top + gap + atlas.ascent * scaleOf(atlas, size);
}

// Lines stacked from `top`, each `x` from the left, on one panel; returns
// where the panel ends below.
float appendBlock(std::vector<HudVertex>& out, const FontAtlas& atlas,
                  const std::vector<std::string>& lines, float left, float top, float size,
                  HudColour colour) {
    float widest = 0.0f;
    for (const std::string& line : lines) {
        widest = std::max(widest, textWidth(atlas, line, size));
    }
    const float pad = size * 0.4f;
    const float bottom = top + lineHeight(size) * lines.size() + pad;
    appendPanel(out, atlas, {left, top, left + widest + 2 * pad, bottom}, PANEL);
    for (size_t i = 0; i < lines.size(); ++i) {
        const float lineTop = top + pad / 2 + lineHeight(size) * i;
        appendShadowedText(out, atlas, lines[i], left + pad, baselineBelow(atlas, lineTop, size),
                           size, colour);
    }
    return bottom;
}

void appendCentred(std::vector<HudVertex>& out, const FontAtlas& atlas,
                   const std::vector<std::string>& lines, float width, float top, float size) {
    for (size_t i = 0; i < lines.size(); ++i) {
        const float w = textWidth(atlas, lines[i], size);
        const float pad = size * 0.5f;
        const float lineTop = top + i * (lineHeight(size) + pad);
        const float left = (width - w) / 2.0f;
        appendPanel(out, atlas, {left - pad, lineTop, left + w + pad, lineTop + lineHeight(size)},
                    PANEL);
        appendShadowedText(out, atlas, lines[i], left, baselineBelow(atlas, lineTop, size), size,
                           TEXT);
    }
}

// The controls table in one panel, with the centre's lines (the pause, a
// message) as its title so that nothing hides behind it. It takes the room
// under the status block; where that room is short (a small window), the
// text shrinks until the panel fits.
void appendControls(std::vector<HudVertex>& out, const FontAtlas& atlas, const HudView& view,
                    HudRect room, float size) {
    // Every measure of the panel grows with the text size: measured at size
    // 1, the largest size that fits follows.
    float keyWidth = 0.0f, actionWidth = 0.0f, titleWidth = 0.0f;
    for (const auto& [key, action] : view.controls) {
        keyWidth = std::max(keyWidth, textWidth(atlas, key, 1.0f));
        actionWidth = std::max(actionWidth, textWidth(atlas, action, 1.0f));
    }
    for (const std::string& line : view.centre) {
        titleWidth = std::max(titleWidth, textWidth(atlas, line, 1.0f));
    }
    const float gap = 1.2f;  // between the keys and what they do
    const float pad = 1.0f;
    const float titleRows = view.centre.empty() ? 0.0f : view.centre.size() + 0.5f;
    const float rows = titleRows + view.controls.size();
    const float unitWidth = std::max(keyWidth + gap + actionWidth, titleWidth) + 2 * pad;
    const float unitHeight = lineHeight(1.0f) * rows + 2 * pad;
    size = std::min(
        {size, (room.right - room.left) / unitWidth, (room.bottom - room.top) / unitHeight});
    const float boxWidth = unitWidth * size;
    const float boxHeight = unitHeight * size;
    const float left = room.left + std::max(0.0f, (room.right - room.left - boxWidth) / 2.0f);
    const float top = room.top + std::max(0.0f, (room.bottom - room.top - boxHeight) / 2.0f);
    appendPanel(out, atlas, {left, top, left + boxWidth, top + boxHeight},
                HudColour{PANEL.r, PANEL.g, PANEL.b, 0.78f});
    float lineTop = top + pad * size;
    for (const std::string& line : view.centre) {
        const float x = left + (boxWidth - textWidth(atlas, line, size)) / 2.0f;
        appendShadowedText(out, atlas, line, x, baselineBelow(atlas, lineTop, size), size, TEXT);
        lineTop += lineHeight(size);
    }
    if (!view.centre.empty()) {
        lineTop += lineHeight(size) * 0.5f;
    }
    for (const auto& [key, action] : view.controls) {
        const float baseline = baselineBelow(atlas, lineTop, size);
        appendShadowedText(out, atlas, key, left + pad * size, baseline, size, KEY_TEXT);
        appendShadowedText(out, atlas, action, left + (pad + keyWidth + gap) * size, baseline, size,
                           TEXT);
        lineTop += lineHeight(size);
    }
}

}  // namespace

float hudTextSize(float windowHeight) {
    return std::max(MIN_TEXT_SIZE, windowHeight * 0.042f);
}

float textWidth(const FontAtlas& atlas, const std::string& text, float size) {
    float width = 0.0f;
    for (char c : text) {
        width += atlas.glyph(c).advance;
    }
    return width * scaleOf(atlas, size);
}

void appendText(std::vector<HudVertex>& out, const FontAtlas& atlas, const std::string& text,
                float x, float baseline, float size, HudColour colour) {
    const float scale = scaleOf(atlas, size);
    float pen = x;
    for (char c : text) {
        const Glyph& g = atlas.glyph(c);
        if (c != ' ') {
            appendQuad(out,
                       {pen + g.left * scale, baseline + g.top * scale, pen + g.right * scale,
                        baseline + g.bottom * scale},
                       {g.u0, g.v0, g.u1, g.v1}, colour);
        }
        pen += g.advance * scale;
    }
}

void appendPanel(std::vector<HudVertex>& out, const FontAtlas& atlas, HudRect rect,
                 HudColour colour) {
    const HudRect solid{atlas.solidU, atlas.solidV, atlas.solidU, atlas.solidV};
    appendQuad(out, rect, solid, colour);
}

std::vector<HudVertex> layoutHud(const FontAtlas& atlas, const HudView& view, float width,
                                 float height) {
    std::vector<HudVertex> out;
    if (!atlas.loaded() || width <= 0 || height <= 0) {
        return out;
    }
    const float size = hudTextSize(height);
    const float margin = height * 0.02f;
    // Where the corner blocks end: the controls panel goes below them.
    float cornersBottom = 0.0f;
    if (!view.status.empty()) {
        cornersBottom = appendBlock(out, atlas, view.status, margin, margin, size, TEXT);
    }
    if (!view.label.empty()) {
        const float w = textWidth(atlas, view.label, size) + size * 0.8f;
        cornersBottom =
            std::max(cornersBottom,
                     appendBlock(out, atlas, {view.label}, width - margin - w, margin, size, TEXT));
    }
    if (!view.controls.empty()) {
        const HudRect room{margin, cornersBottom + margin, width - margin, height - margin};
        appendControls(out, atlas, view, room, std::max(MIN_TEXT_SIZE, size * 0.8f));
        return out;  // the hint for the controls is not needed while they show
    }
    if (!view.centre.empty()) {
        appendCentred(out, atlas, view.centre, width, height * 0.36f, size * 1.4f);
    }
    if (!view.hint.empty()) {
        const float hintSize = std::max(MIN_TEXT_SIZE, size * 0.75f);
        appendBlock(out, atlas, {view.hint}, margin,
                    height - margin - lineHeight(hintSize) - hintSize * 0.4f, hintSize, DIM_TEXT);
    }
    return out;
}

HudRect boundsOf(const std::vector<HudVertex>& vertices) {
    if (vertices.empty()) {
        return HudRect();
    }
    HudRect r{vertices[0].x, vertices[0].y, vertices[0].x, vertices[0].y};
    for (const HudVertex& v : vertices) {
        r.left = std::min(r.left, v.x);
        r.top = std::min(r.top, v.y);
        r.right = std::max(r.right, v.x);
        r.bottom = std::max(r.bottom, v.y);
    }
    return r;
}
