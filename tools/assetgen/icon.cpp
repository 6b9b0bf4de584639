#include "tools/assetgen/icon.h"

#include <algorithm>
#include <cmath>
#include <glm/common.hpp>
#include <glm/geometric.hpp>
#include <glm/vec2.hpp>
#include <glm/vec4.hpp>

namespace {

using glm::vec2;
using glm::vec3;

// Sub-samples per pixel along each axis: every edge is drawn as a hard
// inside/outside test, so this is what smooths them.
constexpr int SUPERSAMPLE = 6;

// The drawing, in pixels of the 256-pixel icon, y down from the top row.
constexpr float MARGIN = 6.0f;        // around the rounded square
constexpr float CORNER = 46.0f;       // radius of its corners
constexpr float ROAD_TOP = 170.0f;    // far edge of the road's surface
constexpr float ROAD_FRONT = 186.0f;  // near edge: the slab's side below it
constexpr float ROAD_BOTTOM = 204.0f;
constexpr float ROAD_END = 184.0f;  // the edge the crate goes over
constexpr float WHEEL_RADIUS = 15.0f;
constexpr float CAR_SHIFT = 12.0f;  // to the right, so its nose meets the crate
constexpr float CRATE_SIZE = 64.0f;
constexpr float CRATE_TILT = 0.5f;  // radians, turning over the edge

const vec3 OUTLINE(0.10f, 0.09f, 0.12f);

float roundedBoxDistance(vec2 p, vec2 centre, vec2 half, float radius) {
    const vec2 q = glm::abs(p - centre) - half + vec2(radius);
    return glm::length(glm::max(q, vec2(0.0f))) + std::min(std::max(q.x, q.y), 0.0f) - radius;
}

bool inCircle(vec2 p, vec2 centre, float radius) {
    return glm::dot(p - centre, p - centre) <= radius * radius;
}

// Convex polygon given clockwise as seen (y down).
template <size_t N>
bool inConvex(vec2 p, const vec2 (&corners)[N]) {
    for (size_t i = 0; i < N; ++i) {
        const vec2 a = corners[i], b = corners[(i + 1) % N];
        const vec2 edge = b - a, to = p - a;
        if (edge.x * to.y - edge.y * to.x < 0.0f) {
            return false;
        }
    }
    return true;
}

// The crate's own frame: origin at its centre, x along its bottom edge,
// y towards its top, both in pixels. Its bottom edge rests on the road's
// end, so it turns about that corner.
vec2 crateLocal(vec2 p) {
    const float c = std::cos(CRATE_TILT), s = std::sin(CRATE_TILT);
    const vec2 along(c, s), up(s, -c);  // seen with y down: turned clockwise
    const vec2 pivot(ROAD_END, ROAD_TOP + 8.0f);
    const vec2 centre = pivot - 22.0f * along + 0.5f * CRATE_SIZE * (along + up);
    const vec2 d = p - centre;
    return vec2(glm::dot(d, along), glm::dot(d, up));
}

vec3 skyColour(vec2 p) {
    const float t = std::clamp((p.y - MARGIN) / (ICON_SIZE - 2.0f * MARGIN), 0.0f, 1.0f);
    vec3 sky = glm::mix(vec3(0.13f, 0.40f, 0.84f), vec3(0.60f, 0.82f, 0.98f), t);
    // One cloud, top left: a few overlapping discs on a flat base.
    const bool cloud =
        (inCircle(p, vec2(58.0f, 62.0f), 17.0f) || inCircle(p, vec2(80.0f, 52.0f), 22.0f) ||
         inCircle(p, vec2(104.0f, 62.0f), 16.0f)) &&
        p.y <= 72.0f;
    const bool base = roundedBoxDistance(p, vec2(81.0f, 66.0f), vec2(38.0f, 6.0f), 6.0f) <= 0.0f;
    if (cloud || base) {
        sky = p.y > 64.0f ? vec3(0.86f, 0.92f, 0.98f) : vec3(1.0f);
    }
    return sky;
}

// The road slab and the rock that holds it up; false where there is none.
bool roadColour(vec2 p, vec3& colour) {
    if (p.x > ROAD_END) {
        return false;
    }
    if (p.y >= ROAD_TOP && p.y < ROAD_FRONT) {
        // Asphalt seen from a little above, with a dashed centre line.
        colour = vec3(0.42f, 0.43f, 0.46f);
        const float middle = 0.5f * (ROAD_TOP + ROAD_FRONT);
        if (std::fabs(p.y - middle) < 1.8f && std::fmod(p.x + 400.0f, 34.0f) < 18.0f &&
            p.x < ROAD_END - 8.0f) {
            colour = vec3(0.95f, 0.95f, 0.90f);
        }
        return true;
    }
    if (p.y >= ROAD_FRONT && p.y < ROAD_BOTTOM) {
        // The slab's side: a white kerb line, then darker concrete.
        colour = p.y < ROAD_FRONT + 4.0f ? vec3(0.93f) : vec3(0.27f, 0.28f, 0.31f);
        return true;
    }
    // Rock under the road, tapering to a point: the road floats.
    const vec2 rock[] = {vec2(0.0f, ROAD_BOTTOM - 1.0f), vec2(ROAD_END - 8.0f, ROAD_BOTTOM - 1.0f),
                         vec2(140.0f, 232.0f), vec2(90.0f, 250.0f), vec2(0.0f, 256.0f)};
    if (inConvex(p, rock)) {
        const float shade = std::clamp((p.y - ROAD_BOTTOM) / 50.0f, 0.0f, 1.0f);
        colour = glm::mix(vec3(0.50f, 0.40f, 0.30f), vec3(0.33f, 0.25f, 0.19f), shade);
        return true;
    }
    return false;
}

// The crate: steel frame around wooden planks, outlined.
bool crateColour(vec2 p, vec3& colour) {
    const vec2 q = crateLocal(p);
    const float half = 0.5f * CRATE_SIZE;
    const float edge = half - std::max(std::fabs(q.x), std::fabs(q.y));
    if (edge < -2.5f) {
        return false;
    }
    if (edge < 0.0f) {
        colour = OUTLINE;
        return true;
    }
    if (edge < 7.0f) {
        colour = glm::mix(vec3(0.40f, 0.42f, 0.46f), vec3(0.66f, 0.68f, 0.71f), edge / 7.0f);
        return true;
    }
    // Three planks across, with dark gaps between them.
    const float inner = half - 7.0f;
    const float plank = (q.y + inner) / (2.0f * inner) * 3.0f;
    const float within = plank - std::floor(plank);
    if (within < 0.07f && plank > 0.5f) {
        colour = vec3(0.30f, 0.18f, 0.08f);
        return true;
    }
    const float stripe = 0.04f * std::sin(q.x * 0.35f + std::floor(plank) * 2.1f);
    colour = vec3(0.80f, 0.55f, 0.28f) + stripe;
    return true;
}

// The car, side on, driving to the right; false where it is not.
bool carColour(vec2 p, vec3& colour) {
    p.x -= CAR_SHIFT;
    const float wheelY = ROAD_TOP + 8.0f - WHEEL_RADIUS;
    const vec2 wheels[] = {vec2(66.0f, wheelY), vec2(130.0f, wheelY)};
    for (const vec2& w : wheels) {
        const float d = glm::length(p - w);
        if (d <= WHEEL_RADIUS) {
            colour = d < 6.5f ? vec3(0.78f, 0.79f, 0.82f) : vec3(0.12f, 0.12f, 0.14f);
            return true;
        }
    }
    // Cabin: a slanted glasshouse above the body, outlined.
    const vec2 cabin[] = {vec2(66.0f, 98.0f), vec2(112.0f, 98.0f), vec2(138.0f, 130.0f),
                          vec2(52.0f, 130.0f)};
    const vec2 cabinOutline[] = {vec2(63.5f, 95.5f), vec2(113.2f, 95.5f), vec2(142.5f, 132.0f),
                                 vec2(48.5f, 132.0f)};
    const float body = roundedBoxDistance(p, vec2(96.0f, 144.0f), vec2(62.0f, 19.0f), 11.0f);
    if (body <= 0.0f || inConvex(p, cabin)) {
        colour = vec3(0.86f, 0.10f, 0.09f);
        // Side windows, split by a pillar; a lighter stripe along the body.
        const vec2 glass[] = {vec2(71.0f, 104.0f), vec2(109.0f, 104.0f), vec2(128.0f, 128.0f),
                              vec2(60.0f, 128.0f)};
        if (inConvex(p, glass) && std::fabs(p.x - 93.0f) > 2.5f) {
            colour = glm::mix(vec3(0.62f, 0.86f, 0.98f), vec3(0.30f, 0.52f, 0.72f),
                              (p.y - 104.0f) / 24.0f);
        } else if (p.y > 136.0f && p.y < 140.0f && body <= -3.0f) {
            colour = vec3(0.98f, 0.42f, 0.36f);
        } else if (p.y > 124.0f && p.y < 134.0f && p.x > 150.0f && body <= 0.0f) {
            colour = vec3(1.0f, 0.93f, 0.55f);  // head lamp
        } else if (p.y > 124.0f && p.y < 134.0f && p.x < 40.0f && body <= 0.0f) {
            colour = vec3(0.55f, 0.02f, 0.02f);  // tail lamp
        }
        return true;
    }
    if (body <= 2.5f || inConvex(p, cabinOutline)) {
        colour = OUTLINE;
        return true;
    }
    for (const vec2& w : wheels) {
        if (inCircle(p, w, WHEEL_RADIUS + 2.5f)) {
            colour = OUTLINE;
            return true;
        }
    }
    return false;
}

// Speed lines behind the car.
bool speedLines(vec2 p) {
    const float rows[] = {112.0f, 132.0f, 152.0f};
    const float starts[] = {24.0f, 16.0f, 26.0f};
    for (int i = 0; i < 3; ++i) {
        if (roundedBoxDistance(p, vec2(starts[i] + 10.0f, rows[i]), vec2(10.0f, 2.5f), 2.5f) <=
            0.0f) {
            return true;
        }
    }
    return false;
}

// Colour and coverage of one sub-sample (alpha 0 or 1).
glm::vec4 sample(vec2 p) {
    const vec2 centre(0.5f * ICON_SIZE);
    const vec2 half(0.5f * ICON_SIZE - MARGIN);
    if (roundedBoxDistance(p, centre, half, CORNER) > 0.0f) {
        return glm::vec4(0.0f);
    }
    vec3 colour;
    // Front to back.
    if (crateColour(p, colour) || carColour(p, colour) || roadColour(p, colour)) {
        return glm::vec4(colour, 1.0f);
    }
    if (speedLines(p)) {
        return glm::vec4(1.0f);
    }
    return glm::vec4(skyColour(p), 1.0f);
}

std::uint8_t toByte(float value) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f));
}

}  // namespace

Bitmap makeIcon() {
    Bitmap icon = makeBitmap(ICON_SIZE, ICON_SIZE, 4);
    for (int y = 0; y < ICON_SIZE; ++y) {
        for (int x = 0; x < ICON_SIZE; ++x) {
            // Premultiplied sum, straightened at the end.
            glm::vec4 sum(0.0f);
            for (int j = 0; j < SUPERSAMPLE; ++j) {
                for (int i = 0; i < SUPERSAMPLE; ++i) {
                    const vec2 p(x + (i + 0.5f) / SUPERSAMPLE, y + (j + 0.5f) / SUPERSAMPLE);
                    const glm::vec4 s = sample(p);
                    sum += glm::vec4(vec3(s) * s.a, s.a);
                }
            }
            std::uint8_t* out = &icon.pixels[(static_cast<size_t>(y) * ICON_SIZE + x) * 4];
            const vec3 colour = sum.a > 0.0f ? vec3(sum) / sum.a : vec3(0.0f);
            out[0] = toByte(colour.r);
            out[1] = toByte(colour.g);
            out[2] = toByte(colour.b);
            out[3] = toByte(sum.a / (SUPERSAMPLE * SUPERSAMPLE));
        }
    }
    return icon;
}

bool writeIcon(const std::string& path) {
    return writePng(path, makeIcon());
}
