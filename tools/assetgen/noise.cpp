#include "tools/assetgen/noise.h"

#include <cmath>

float latticeValue(int x, int y, int z, std::uint32_t seed) {
    std::uint32_t h = seed * 0x27D4EB2Du;
    h ^= static_cast<std::uint32_t>(x) * 0x85EBCA6Bu;
    h = (h << 13) | (h >> 19);
    h ^= static_cast<std::uint32_t>(y) * 0xC2B2AE35u;
    h = (h << 11) | (h >> 21);
    h ^= static_cast<std::uint32_t>(z) * 0x165667B1u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return static_cast<float>(h >> 8) / 16777216.0f;
}

static float fade(float t) {
    return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f);
}

static int wrap(int i, int period) {
    if (period <= 0) {
        return i;
    }
    const int m = i % period;
    return m < 0 ? m + period : m;
}

float valueNoise2(glm::vec2 p, std::uint32_t seed, int period) {
    const float fx = std::floor(p.x);
    const float fy = std::floor(p.y);
    const int x0 = static_cast<int>(fx);
    const int y0 = static_cast<int>(fy);
    const float tx = fade(p.x - fx);
    const float ty = fade(p.y - fy);
    const int xa = wrap(x0, period), xb = wrap(x0 + 1, period);
    const int ya = wrap(y0, period), yb = wrap(y0 + 1, period);
    const float v00 = latticeValue(xa, ya, 0, seed);
    const float v10 = latticeValue(xb, ya, 0, seed);
    const float v01 = latticeValue(xa, yb, 0, seed);
    const float v11 = latticeValue(xb, yb, 0, seed);
    const float a = v00 + (v10 - v00) * tx;
    const float b = v01 + (v11 - v01) * tx;
    return a + (b - a) * ty;
}

float fractalNoise2(glm::vec2 p, int octaves, std::uint32_t seed, int period) {
    float sum = 0.0f, amplitude = 0.5f, total = 0.0f;
    for (int i = 0; i < octaves; ++i) {
        sum += amplitude * valueNoise2(p, seed + static_cast<std::uint32_t>(i) * 101u, period);
        total += amplitude;
        p *= 2.0f;
        period *= 2;
        amplitude *= 0.5f;
    }
    return sum / total;
}

float smoothStep(float edge0, float edge1, float x) {
    float t = (x - edge0) / (edge1 - edge0);
    t = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
    return t * t * (3.0f - 2.0f * t);
}
