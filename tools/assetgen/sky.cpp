#include "tools/assetgen/sky.h"

#include <array>
#include <atomic>
#include <cmath>
#include <glm/common.hpp>
#include <glm/exponential.hpp>
#include <glm/geometric.hpp>
#include <system_error>
#include <thread>
#include <vector>

#include "tools/assetgen/noise.h"

glm::vec3 cubeFaceDirection(int face, float s, float t) {
    // OpenGL picks (sc, tc) per face from the major axis; invert that.
    const float sc = 2.0f * s - 1.0f;
    const float tc = 2.0f * t - 1.0f;
    glm::vec3 d(0.0f);
    switch (face) {
        case 0:
            d = glm::vec3(1.0f, -tc, -sc);
            break;
        case 1:
            d = glm::vec3(-1.0f, -tc, sc);
            break;
        case 2:
            d = glm::vec3(sc, 1.0f, tc);
            break;
        case 3:
            d = glm::vec3(sc, -1.0f, -tc);
            break;
        case 4:
            d = glm::vec3(sc, -tc, 1.0f);
            break;
        default:
            d = glm::vec3(-sc, -tc, -1.0f);
            break;
    }
    return glm::normalize(d);
}

namespace {

struct Palette {
    glm::vec3 zenith;
    glm::vec3 horizon;
    glm::vec3 belowHorizon;
    glm::vec3 sunDirection;
    glm::vec3 sunColour;
    glm::vec3 glowColour;
    float glowWidth;  // larger: a tighter glow
    glm::vec3 cloudLit;
    glm::vec3 cloudShade;
    float cloudCover;  // 0 none .. 1 overcast
    glm::vec3 seaLit;  // the sea of cloud below the world
    glm::vec3 seaShade;
};

Palette palette(SkyMood mood) {
    if (mood == SkyMood::ClearDay) {
        return {glm::vec3(0.16f, 0.36f, 0.78f),
                glm::vec3(0.68f, 0.82f, 0.96f),
                glm::vec3(0.62f, 0.72f, 0.84f),
                glm::normalize(glm::vec3(-0.45f, 0.62f, -0.64f)),
                glm::vec3(1.0f, 0.98f, 0.90f),
                glm::vec3(1.0f, 0.92f, 0.75f),
                160.0f,
                glm::vec3(1.0f, 1.0f, 1.0f),
                glm::vec3(0.70f, 0.75f, 0.84f),
                0.42f,
                glm::vec3(0.97f, 0.98f, 1.0f),
                glm::vec3(0.66f, 0.72f, 0.82f)};
    }
    return {glm::vec3(0.07f, 0.07f, 0.22f),
            glm::vec3(1.0f, 0.52f, 0.24f),
            glm::vec3(0.42f, 0.26f, 0.34f),
            glm::normalize(glm::vec3(0.82f, 0.06f, 0.57f)),
            glm::vec3(1.0f, 0.80f, 0.45f),
            glm::vec3(1.0f, 0.45f, 0.15f),
            12.0f,
            glm::vec3(1.0f, 0.55f, 0.42f),
            glm::vec3(0.30f, 0.20f, 0.36f),
            0.5f,
            glm::vec3(0.95f, 0.55f, 0.45f),
            glm::vec3(0.30f, 0.22f, 0.35f)};
}

// Cloud density seen along a direction, from noise on a flat layer.
float cloudDensity(glm::vec2 onLayer, float cover, std::uint32_t seed) {
    const float n = fractalNoise2(onLayer, 6, seed);
    return smoothStep(1.0f - cover, 1.0f - cover + 0.28f, n);
}

}  // namespace

glm::vec3 skyColour(SkyMood mood, const glm::vec3& d) {
    const Palette p = palette(mood);
    const float sunCos = glm::dot(d, p.sunDirection);
    const float towardsSun = 0.5f + 0.5f * sunCos;
    glm::vec3 colour;
    if (d.y >= 0.0f) {
        const float h = d.y;
        colour = glm::mix(p.horizon, p.zenith, std::pow(h, 0.55f));
        if (mood == SkyMood::Dusk) {
            // A pink band above the glowing horizon, strongest towards the sun.
            colour = glm::mix(colour, glm::vec3(0.85f, 0.40f, 0.55f),
                              0.45f * std::exp(-std::pow((h - 0.18f) / 0.12f, 2.0f)));
            colour = glm::mix(colour, p.horizon * 1.1f,
                              std::exp(-h * 10.0f) * (0.35f + 0.65f * towardsSun));
        }
        // Clouds on a layer above: far ones squeeze towards the horizon.
        const glm::vec2 onLayer = glm::vec2(d.x, d.z) / (h + 0.12f) * 2.2f;
        const float fade = smoothStep(0.0f, 0.12f, h);
        const float density =
            fade > 0.0f ? cloudDensity(onLayer, p.cloudCover, mood == SkyMood::ClearDay ? 5 : 9)
                        : 0.0f;
        // Shading only where there is cloud: most of the sky has none.
        if (density > 0.0f) {
            const float lit = 0.5f + 0.5f * fractalNoise2(onLayer * 1.7f + glm::vec2(3.1f), 3, 6);
            const glm::vec3 cloud = glm::mix(
                p.cloudShade, p.cloudLit, glm::clamp(lit * 0.6f + towardsSun * 0.6f, 0.0f, 1.0f));
            colour = glm::mix(colour, cloud, density * fade * 0.92f);
        }
    } else {
        // Below the world: a sea of cloud fading into haze.
        const float h = -d.y;
        const glm::vec2 onSea = glm::vec2(d.x, d.z) / (h + 0.05f) * 1.6f;
        const float billow = fractalNoise2(onSea, 5, 17);
        glm::vec3 sea = glm::mix(p.seaShade, p.seaLit, smoothStep(0.3f, 0.75f, billow));
        sea = glm::mix(sea, p.seaLit, 0.25f * towardsSun);
        colour = glm::mix(p.belowHorizon, sea, smoothStep(0.0f, 0.25f, h));
        colour = glm::mix(colour, p.horizon, std::exp(-h * 40.0f) * 0.8f);
    }
    // The sun: a disc and a glow around it.
    const float angle = std::acos(glm::clamp(sunCos, -1.0f, 1.0f));
    colour += p.glowColour *
              (0.5f * std::exp(-angle * angle * p.glowWidth) + 0.15f * std::exp(-angle * 4.0f));
    const float disc = smoothStep(0.030f, 0.024f, angle);
    colour = glm::mix(colour, p.sunColour * 1.2f, disc);
    return glm::clamp(colour, glm::vec3(0.0f), glm::vec3(1.0f));
}

Bitmap renderSkyFace(SkyMood mood, int face, int size) {
    Bitmap image = makeBitmap(size, size, 3);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float s = (x + 0.5f) / size;
            const float t = (y + 0.5f) / size;
            setPixel(image, x, y, skyColour(mood, cubeFaceDirection(face, s, t)));
        }
    }
    return image;
}

bool writeSky(const std::string& folder, SkyMood mood) {
    // The faces are independent: paint them on all cores. The result does
    // not depend on which thread paints which face.
    std::array<bool, 6> written{};
    std::atomic<int> nextFace{0};
    auto work = [&] {
        for (int face = nextFace++; face < 6; face = nextFace++) {
            const Bitmap image = renderSkyFace(mood, face, SKY_IMAGE_SIZE);
            written[face] = writeJpeg(folder + "/" + SKY_FACE_FILES[face], image, SKY_JPEG_QUALITY);
        }
    };
    const unsigned threads = std::max(1u, std::min(6u, std::thread::hardware_concurrency()));
    std::vector<std::thread> workers;
    for (unsigned i = 1; i < threads; ++i) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // no more threads: the ones we have paint the rest
        }
    }
    work();
    for (std::thread& worker : workers) {
        worker.join();
    }
    bool ok = true;
    for (bool w : written) {
        ok = ok && w;
    }
    return ok;
}
