#include "tools/assetgen/crate.h"

#include <algorithm>
#include <cmath>
#include <glm/common.hpp>
#include <glm/geometric.hpp>

#include "tools/assetgen/noise.h"

namespace {

enum class Surface { Steel, Wood, Gap };

struct Texel {
    glm::vec3 colour;
    Surface surface;
};

constexpr int PLANKS = 5;
// Sub-samples per texel along each axis: round bolts and nails get smooth
// rims, and grain finer than a texel averages out instead of aliasing.
constexpr int SUPERSAMPLE = 4;

// Where the frame and the planks lie, in whole texels, so their edges and
// the gaps between planks fall on texel boundaries and stay crisp.
struct CrateLayout {
    int size;
    float texel;  // of the 128-texel design, in this texture's texels
    int frame;    // width of the steel band
    int gap;      // rows of each dark line between planks
    int plankTop[PLANKS + 1];
};

CrateLayout crateLayout(int size) {
    CrateLayout layout{};
    layout.size = size;
    layout.texel = size / 128.0f;
    layout.frame = static_cast<int>(std::lround(0.085f * size));
    layout.gap = std::max(1, static_cast<int>(std::lround(layout.texel)));
    const int inner = size - 2 * layout.frame;
    for (int k = 0; k <= PLANKS; ++k) {
        layout.plankTop[k] = layout.frame + (k * inner + PLANKS / 2) / PLANKS;
    }
    return layout;
}

// The face at (x, y) in texels (continuous, y down from the top row).
Texel crateTexel(const CrateLayout& layout, float x, float y) {
    const float size = static_cast<float>(layout.size);
    const float frame = static_cast<float>(layout.frame);
    // The 128-texel design's coordinates: features keep their look at any size.
    const glm::vec2 d = glm::vec2(x, y) / layout.texel;
    const float edge = std::min(std::min(x, size - x), std::min(y, size - y));
    if (edge < frame) {
        // Brushed steel with a bevel: lighter towards the wood, darker outside.
        const float brushed =
            valueNoise2(glm::vec2(d.x * 0.08f + d.y * 2.0f, d.y * 0.08f + d.x * 2.0f), 51);
        const float bevel = edge / frame;
        glm::vec3 steel =
            glm::mix(glm::vec3(0.36f, 0.39f, 0.43f), glm::vec3(0.66f, 0.69f, 0.72f), bevel);
        steel *= 0.92f + 0.12f * brushed;
        if (edge >= frame - layout.gap) {
            steel *= 0.6f;  // the seam where the frame meets the planks
        }
        // Bolts at the corners and half way along each side.
        const float centre = frame * 0.5f;
        for (float bx : {centre, 0.5f * size, size - centre}) {
            for (float by : {centre, 0.5f * size, size - centre}) {
                if (bx == by && bx == 0.5f * size) {
                    continue;
                }
                const glm::vec2 offset = (glm::vec2(x, y) - glm::vec2(bx, by)) / layout.texel;
                const float r = glm::length(offset);
                if (r < 2.3f) {
                    const float light = 0.5f - 0.5f * (offset.x + offset.y) / 3.3f;
                    steel = glm::vec3(0.55f, 0.57f, 0.60f) * (0.7f + 0.6f * light);
                } else if (r < 2.9f) {
                    steel *= 0.5f;
                }
            }
        }
        return {steel, Surface::Steel};
    }
    // Horizontal planks inside the frame, a dark line of whole rows between
    // each two.
    int plank = 0;
    while (plank + 1 < PLANKS && y >= layout.plankTop[plank + 1]) {
        ++plank;
    }
    const float top = static_cast<float>(layout.plankTop[plank]);
    const float bottom = static_cast<float>(layout.plankTop[plank + 1]);
    if (plank > 0 && y < top + layout.gap) {
        return {glm::vec3(0.10f, 0.07f, 0.04f), Surface::Gap};
    }
    const float within = (y - top) / (bottom - top);
    const float tone = latticeValue(plank, 0, 0, 52);
    const glm::vec3 base =
        glm::mix(glm::vec3(0.48f, 0.30f, 0.15f), glm::vec3(0.66f, 0.45f, 0.24f), tone);
    // Grain: noise stretched along the plank, bent into rings a few texels apart.
    const float stretch = fractalNoise2(glm::vec2(d.x / 32.0f, d.y / 2.5f + plank * 13.0f), 3, 53);
    const float rings = 0.5f + 0.5f * std::sin((stretch * 6.0f + d.y / 2.2f) * 3.14159f);
    glm::vec3 wood = base * (0.78f + 0.22f * rings);
    wood *= 0.9f + 0.1f * valueNoise2(d * 0.7f, 54);
    // Darker towards the plank's edges, and two nails at each plank's ends.
    wood *= 0.85f + 0.15f * std::sin(within * 3.14159f);
    const float middle = 0.5f * (top + layout.gap * (plank > 0) + bottom);
    for (float nx : {0.14f * size, 0.86f * size}) {
        if (glm::length((glm::vec2(x, y) - glm::vec2(nx, middle)) / layout.texel) < 1.2f) {
            wood = glm::vec3(0.25f, 0.25f, 0.27f);
        }
    }
    return {wood, Surface::Wood};
}

}  // namespace

CrateTextures buildCrateTextures(int size) {
    // The grey maps are written with one channel: a third of the bytes to
    // decode for every crate.
    CrateTextures textures{makeBitmap(size, size, 3), makeBitmap(size, size, 1),
                           makeBitmap(size, size, 1)};
    const CrateLayout layout = crateLayout(size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            glm::vec3 colour(0.0f);
            float specular = 0.0f, reflection = 0.0f;
            for (int j = 0; j < SUPERSAMPLE; ++j) {
                for (int i = 0; i < SUPERSAMPLE; ++i) {
                    const Texel texel = crateTexel(layout, x + (i + 0.5f) / SUPERSAMPLE,
                                                   y + (j + 0.5f) / SUPERSAMPLE);
                    colour += texel.colour;
                    const float brightness =
                        (texel.colour.r + texel.colour.g + texel.colour.b) / 3.0f;
                    switch (texel.surface) {
                        case Surface::Steel:
                            specular += 0.55f + 0.5f * brightness;
                            reflection += 0.35f + 0.4f * brightness;
                            break;
                        case Surface::Wood:
                            specular += 0.06f + 0.08f * brightness;
                            reflection += 0.02f;
                            break;
                        case Surface::Gap:
                            break;
                    }
                }
            }
            const float samples = SUPERSAMPLE * SUPERSAMPLE;
            setPixel(textures.diffuse, x, y, colour / samples);
            setPixel(textures.specular, x, y, glm::vec3(specular / samples));
            setPixel(textures.reflection, x, y, glm::vec3(reflection / samples));
        }
    }
    return textures;
}

bool writeCrateTextures(const std::string& folder) {
    const CrateTextures textures = buildCrateTextures(CRATE_TEXTURE_SIZE);
    bool ok = writePng(folder + "/container2.png", textures.diffuse);
    ok = writePng(folder + "/container2_specular.png", textures.specular) && ok;
    ok = writePng(folder + "/container2_reflection.png", textures.reflection) && ok;
    return ok;
}
