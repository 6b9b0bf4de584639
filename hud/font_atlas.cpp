#include "hud/font_atlas.h"

#include <fontconfig/fontconfig.h>

#include <fstream>
#include <iterator>
#include <memory>

#define STB_RECT_PACK_IMPLEMENTATION
#include <stb/stb_rect_pack.h>
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb/stb_truetype.h>

namespace {

constexpr int ATLAS_WIDTH = 1024;
constexpr int GLYPH_GAP = 4;    // pixels between packed glyphs
constexpr int SOLID_BLOCK = 4;  // side of the fully covered block
constexpr long MAX_FONT_BYTES = 64L * 1024 * 1024;

bool readFile(const std::string& path, std::vector<unsigned char>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size <= 0 || size > MAX_FONT_BYTES) {
        return false;
    }
    in.seekg(0, std::ios::beg);
    bytes.resize(static_cast<size_t>(size));
    return static_cast<bool>(in.read(reinterpret_cast<char*>(bytes.data()), size));
}

unsigned long bigEndian(const std::vector<unsigned char>& bytes, size_t at, int count) {
    unsigned long value = 0;
    for (int i = 0; i < count; ++i) {
        value = (value << 8) | bytes[at + i];
    }
    return value;
}

// The rasteriser trusts the offsets in a font's table directory; a damaged
// file must not send it outside the bytes that were read. Single fonts only
// (TrueType or OpenType), not collections.
bool tablesWithinFile(const std::vector<unsigned char>& font) {
    if (font.size() < 12) {
        return false;
    }
    const unsigned long version = bigEndian(font, 0, 4);
    if (version != 0x00010000ul && version != 0x4F54544Ful && version != 0x74727565ul) {
        return false;
    }
    const size_t tables = bigEndian(font, 4, 2);
    if (tables == 0 || 12 + tables * 16 > font.size()) {
        return false;
    }
    for (size_t i = 0; i < tables; ++i) {
        const size_t entry = 12 + i * 16;
        const unsigned long start = bigEndian(font, entry + 8, 4);
        const unsigned long length = bigEndian(font, entry + 12, 4);
        if (start > font.size() || length > font.size() - start) {
            return false;
        }
    }
    return true;
}

struct FontConfigDeleter {
    void operator()(FcConfig* config) const { FcConfigDestroy(config); }
    void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};

// Packs the glyphs into rows of the atlas; tries taller atlases until they
// fit. The block for panels goes below the glyphs.
bool packGlyphs(const std::vector<unsigned char>& font, float pixelHeight, FontAtlas& atlas,
                stbtt_packedchar* packed) {
    for (int rows = 128; rows <= 4096; rows *= 2) {
        std::vector<unsigned char> pixels(static_cast<size_t>(ATLAS_WIDTH) * rows, 0);
        stbtt_pack_context context;
        if (!stbtt_PackBegin(&context, pixels.data(), ATLAS_WIDTH, rows, 0, GLYPH_GAP, nullptr)) {
            return false;
        }
        const int fitted = stbtt_PackFontRange(&context, font.data(), 0, pixelHeight, FIRST_GLYPH,
                                               GLYPH_COUNT, packed);
        stbtt_PackEnd(&context);
        if (fitted) {
            const int height = rows + 2 * SOLID_BLOCK;
            pixels.resize(static_cast<size_t>(ATLAS_WIDTH) * height, 0);
            for (int y = rows + SOLID_BLOCK / 2; y < rows + SOLID_BLOCK / 2 + SOLID_BLOCK; ++y) {
                for (int x = SOLID_BLOCK / 2; x < SOLID_BLOCK / 2 + SOLID_BLOCK; ++x) {
                    pixels[static_cast<size_t>(y) * ATLAS_WIDTH + x] = 255;
                }
            }
            atlas.width = ATLAS_WIDTH;
            atlas.height = height;
            atlas.coverage = std::move(pixels);
            atlas.solidU = static_cast<float>(SOLID_BLOCK) / ATLAS_WIDTH;
            atlas.solidV = (rows + SOLID_BLOCK) / static_cast<float>(height);
            return true;
        }
    }
    return false;
}

}  // namespace

const Glyph& FontAtlas::glyph(char c) const {
    const int index = static_cast<unsigned char>(c) - FIRST_GLYPH;
    return glyphs[index >= 0 && index < GLYPH_COUNT ? index : '?' - FIRST_GLYPH];
}

std::string findSansFont() {
    std::unique_ptr<FcConfig, FontConfigDeleter> config(FcInitLoadConfigAndFonts());
    if (!config) {
        return "";
    }
    std::unique_ptr<FcPattern, FontConfigDeleter> pattern(
        FcNameParse(reinterpret_cast<const FcChar8*>("DejaVu Sans:style=Book")));
    if (!pattern) {
        return "";
    }
    FcConfigSubstitute(config.get(), pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    std::unique_ptr<FcPattern, FontConfigDeleter> match(
        FcFontMatch(config.get(), pattern.get(), &result));
    FcChar8* file = nullptr;
    if (!match || FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch || !file) {
        return "";
    }
    return reinterpret_cast<const char*>(file);
}

bool buildFontAtlas(const std::string& fontPath, float pixelHeight, FontAtlas& atlas,
                    std::string& problem) {
    atlas = FontAtlas();
    std::vector<unsigned char> font;
    if (!readFile(fontPath, font)) {
        problem = "cannot read " + fontPath;
        return false;
    }
    // The font's own table directory must be sane before any glyph is read.
    stbtt_fontinfo info;
    if (!tablesWithinFile(font) || !stbtt_InitFont(&info, font.data(), 0)) {
        problem = fontPath + " is not a font";
        return false;
    }
    stbtt_packedchar packed[GLYPH_COUNT];
    if (!packGlyphs(font, pixelHeight, atlas, packed)) {
        atlas = FontAtlas();
        problem = "cannot rasterise " + fontPath;
        return false;
    }
    int ascent = 0, descent = 0, lineGap = 0;
    stbtt_GetFontVMetrics(&info, &ascent, &descent, &lineGap);
    const float scale = stbtt_ScaleForPixelHeight(&info, pixelHeight);
    atlas.pixelHeight = pixelHeight;
    atlas.ascent = ascent * scale;
    atlas.descent = -descent * scale;
    for (int i = 0; i < GLYPH_COUNT; ++i) {
        const stbtt_packedchar& p = packed[i];
        Glyph& g = atlas.glyphs[i];
        g.u0 = p.x0 / static_cast<float>(atlas.width);
        g.v0 = p.y0 / static_cast<float>(atlas.height);
        g.u1 = p.x1 / static_cast<float>(atlas.width);
        g.v1 = p.y1 / static_cast<float>(atlas.height);
        g.left = p.xoff;
        g.top = p.yoff;
        g.right = p.xoff2;
        g.bottom = p.yoff2;
        g.advance = p.xadvance;
    }
    return true;
}
