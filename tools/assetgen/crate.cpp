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

// One texel of the crate's face; u, v in [0, 1).
Texel crateTexel(float u, float v, int size) {
    const float frame = 0.085f;  // the steel band's width
    const float edge = std::min(std::min(u, 1.0f - u), std::min(v, 1.0f - v));
    const glm::vec2 p(u * size, v * size);
    if (edge < frame) {
        // Brushed steel with a bevel: lighter towards the wood, darker outside.
        const float brushed =
            valueNoise2(glm::vec2(p.x * 0.02f + p.y * 1.3f, p.y * 0.02f + p.x * 1.3f), 51);
        const float bevel = edge / frame;
        glm::vec3 steel =
            glm::mix(glm::vec3(0.36f, 0.39f, 0.43f), glm::vec3(0.66f, 0.69f, 0.72f), bevel);
        steel *= 0.92f + 0.12f * brushed;
        if (bevel > 0.86f) {
            steel *= 0.6f;  // the seam where the frame meets the planks
        }
        // Bolts at the corners and half way along each side.
        const float centre = frame * 0.5f;
        for (float bu : {centre, 0.5f, 1.0f - centre}) {
            for (float bv : {centre, 0.5f, 1.0f - centre}) {
                if (bu == 0.5f && bv == 0.5f) {
                    continue;
                }
                const glm::vec2 offset =
                    (glm::vec2(u, v) - glm::vec2(bu, bv)) * static_cast<float>(size);
                const float r = glm::length(offset);
                if (r < 9.0f) {
                    const float light = 0.5f - 0.5f * (offset.x + offset.y) / 13.0f;
                    steel = glm::vec3(0.55f, 0.57f, 0.60f) * (0.7f + 0.6f * light);
                } else if (r < 10.5f) {
                    steel *= 0.5f;
                }
            }
        }
        return {steel, Surface::Steel};
    }
    // Horizontal planks inside the frame.
    const int planks = 5;
    const float inner = (v - frame) / (1.0f - 2.0f * frame);
    const float plankCoordinate = inner * planks;
    const int plank = std::min(planks - 1, static_cast<int>(plankCoordinate));
    const float within = plankCoordinate - plank;
    const float gap = 0.035f;
    if (within < gap || within > 1.0f - gap) {
        return {glm::vec3(0.10f, 0.07f, 0.04f), Surface::Gap};
    }
    const float tone = latticeValue(plank, 0, 0, 52);
    const glm::vec3 base =
        glm::mix(glm::vec3(0.48f, 0.30f, 0.15f), glm::vec3(0.66f, 0.45f, 0.24f), tone);
    // Grain: noise stretched along the plank, bent into rings.
    const float stretch = fractalNoise2(glm::vec2(p.x / 90.0f, p.y / 5.0f + plank * 13.0f), 4, 53);
    const float rings = 0.5f + 0.5f * std::sin((stretch * 9.0f + p.y / 7.0f) * 3.14159f);
    glm::vec3 wood = base * (0.78f + 0.22f * rings);
    wood *= 0.9f + 0.1f * valueNoise2(p / 2.0f, 54);
    // Darker towards the plank's edges, and two nails per plank end.
    wood *= 0.85f + 0.15f * std::sin(within * 3.14159f);
    for (float nu : {0.14f, 0.86f}) {
        const glm::vec2 offset(u - nu, (within - 0.5f) / planks);
        if (glm::length(offset * static_cast<float>(size)) < 4.0f) {
            wood = glm::vec3(0.25f, 0.25f, 0.27f);
        }
    }
    return {wood, Surface::Wood};
}

}  // namespace

CrateTextures buildCrateTextures(int size) {
    CrateTextures textures{makeBitmap(size, size, 3), makeBitmap(size, size, 3),
                           makeBitmap(size, size, 3)};
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const Texel texel = crateTexel((x + 0.5f) / size, (y + 0.5f) / size, size);
            setPixel(textures.diffuse, x, y, texel.colour);
            const float brightness = (texel.colour.r + texel.colour.g + texel.colour.b) / 3.0f;
            float specular = 0.0f, reflection = 0.0f;
            switch (texel.surface) {
                case Surface::Steel:
                    specular = 0.55f + 0.5f * brightness;
                    reflection = 0.35f + 0.4f * brightness;
                    break;
                case Surface::Wood:
                    specular = 0.06f + 0.08f * brightness;
                    reflection = 0.02f;
                    break;
                case Surface::Gap:
                    break;
            }
            setPixel(textures.specular, x, y, glm::vec3(specular));
            setPixel(textures.reflection, x, y, glm::vec3(reflection));
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
