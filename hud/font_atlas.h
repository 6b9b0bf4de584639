// The glyphs of one font, rasterised once into a single-channel atlas: the
// printable ASCII range, packed with a gap between glyphs so that the
// smaller mip levels do not bleed one glyph into the next.
#pragma once

#include <string>
#include <vector>

constexpr int FIRST_GLYPH = 32;  // space
constexpr int GLYPH_COUNT = 95;  // up to '~'

// Where one glyph lies in the atlas and how it sits on the pen, in pixels at
// the size the font was rasterised at.
struct Glyph {
    float u0 = 0, v0 = 0, u1 = 0, v1 = 0;            // atlas rectangle, 0..1
    float left = 0, top = 0, right = 0, bottom = 0;  // quad from the pen on the baseline
    float advance = 0;
};

struct FontAtlas {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> coverage;  // width * height, first row on top
    float pixelHeight = 0;                // the size the glyphs were rasterised at
    float ascent = 0;                     // above the baseline, at pixelHeight
    float descent = 0;                    // below the baseline (positive), at pixelHeight
    Glyph glyphs[GLYPH_COUNT];
    float solidU = 0, solidV = 0;  // the centre of a fully covered block, for panels

    bool loaded() const { return width > 0 && height > 0; }
    // The glyph of a character; characters outside the range draw as '?'.
    const Glyph& glyph(char c) const;
};

// The file of a sans-serif font, found through fontconfig (DejaVu Sans where
// it is installed); "" when there is none.
std::string findSansFont();

// Rasterises the printable ASCII range of the font file. False, with the
// reason in `problem`, when the file cannot be read or is not a font.
bool buildFontAtlas(const std::string& fontPath, float pixelHeight, FontAtlas& atlas,
                    std::string& problem);
