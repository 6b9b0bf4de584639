#include "tools/assetgen/ground.h"

#include <algorithm>
#include <cmath>
#include <glm/geometric.hpp>

#include "tools/assetgen/noise.h"
#include "tools/assetgen/route.h"

namespace {

// Texture repeat lengths along the road, in world units.
constexpr float DASH_PERIOD = 12.0f;
constexpr float KERB_PERIOD = 2.0f;
constexpr float ROCK_TILE = 8.0f;
constexpr float GROUND_TILE = 24.0f;
// Width of the strip at each asphalt edge that carries the painted edge line.
constexpr float EDGE_STRIP = 0.75f;
// The asphalt texture's columns: the edge strips take 16 of its 256.
constexpr float EDGE_STRIP_U = 16.0f / 256.0f;

struct Section {
    glm::vec2 position;
    glm::vec2 right;  // unit vector to the right of the driving direction
    float along;
    float halfWidth;
};

// The centre line's points plus a copy of the first at the loop's end, so
// that texture coordinates run on without a jump where the loop closes.
std::vector<Section> sections() {
    std::vector<Section> result;
    for (const CentreLinePoint& p : centreLinePoints()) {
        result.push_back(
            {p.position, glm::vec2(-p.direction.y, p.direction.x), p.distanceAlong, p.halfWidth});
    }
    Section closing = result.front();
    closing.along = roadLength();
    result.push_back(closing);
    return result;
}

// The drawn road follows the centre line to within this (world units):
// sections that lines between their neighbours reproduce that closely are
// left out, so the straights take a few long quads.
constexpr float ROAD_TOLERANCE = 0.03f;

// Whether every section strictly between `first` and `last` lies, at each of
// its edges, within the tolerance of the straight quads from first to last.
bool spanIsStraight(const std::vector<Section>& list, size_t first, size_t last) {
    const Section& a = list[first];
    const Section& b = list[last];
    for (size_t k = first + 1; k < last; ++k) {
        const Section& s = list[k];
        const float t = (s.along - a.along) / (b.along - a.along);
        for (float side : {-1.0f, 1.0f}) {
            for (float extra : {-EDGE_STRIP, 0.0f, KERB_WIDTH}) {
                auto edge = [&](const Section& at) {
                    return at.position + at.right * (side * (at.halfWidth + extra));
                };
                const glm::vec2 drawn = edge(a) + (edge(b) - edge(a)) * t;
                if (glm::length(drawn - edge(s)) > ROAD_TOLERANCE) {
                    return false;
                }
            }
        }
    }
    return true;
}

// The sections the road model is built from: the first, the last, and as
// few between as the tolerance allows.
std::vector<Section> drawnSections(const std::vector<Section>& list) {
    std::vector<Section> kept = {list.front()};
    size_t first = 0;
    while (first + 1 < list.size()) {
        size_t last = first + 1;
        while (last + 1 < list.size() && spanIsStraight(list, first, last + 1)) {
            ++last;
        }
        kept.push_back(list[last]);
        first = last;
    }
    return kept;
}

// Repeat lengths rounded so that a whole number of repeats fits the loop.
float fittedPeriod(float period) {
    const float length = roadLength();
    return length / std::max(1.0f, std::round(length / period));
}

glm::vec3 at(glm::vec2 xz, float y) {
    return glm::vec3(xz.x, y, xz.y);
}

void addAsphalt(MeshPart& part, const std::vector<Section>& list) {
    const float period = fittedPeriod(DASH_PERIOD);
    const float y = visibleRoadY();
    const glm::vec3 up(0.0f, 1.0f, 0.0f);
    const float offsets[4] = {-1.0f, -1.0f, 1.0f, 1.0f};
    const float insets[4] = {0.0f, EDGE_STRIP, -EDGE_STRIP, 0.0f};
    const float us[4] = {0.0f, EDGE_STRIP_U, 1.0f - EDGE_STRIP_U, 1.0f};
    std::uint32_t previous[4] = {};
    for (size_t i = 0; i < list.size(); ++i) {
        const Section& s = list[i];
        std::uint32_t current[4];
        for (int k = 0; k < 4; ++k) {
            const float lateral = offsets[k] * s.halfWidth + insets[k];
            current[k] = addVertex(part, at(s.position + s.right * lateral, y), up,
                                   glm::vec2(us[k], s.along / period));
        }
        if (i > 0) {
            for (int k = 0; k < 3; ++k) {
                addQuad(part, previous[k], previous[k + 1], current[k + 1], current[k], up);
            }
        }
        std::copy(current, current + 4, previous);
    }
}

void addKerbsAndWalls(MeshPart& kerb, MeshPart& wall, const std::vector<Section>& list) {
    const float kerbPeriod = fittedPeriod(KERB_PERIOD);
    const float rockPeriod = fittedPeriod(ROCK_TILE);
    const float top = visibleRoadY();
    const float bottom = visibleFloorY();
    const glm::vec3 up(0.0f, 1.0f, 0.0f);
    for (float side : {-1.0f, 1.0f}) {
        std::uint32_t previous[4] = {};
        for (size_t i = 0; i < list.size(); ++i) {
            const Section& s = list[i];
            const glm::vec2 inner = s.position + s.right * (side * s.halfWidth);
            const glm::vec2 outer = s.position + s.right * (side * (s.halfWidth + KERB_WIDTH));
            const glm::vec3 outward(side * s.right.x, 0.0f, side * s.right.y);
            const float u = s.along / rockPeriod;
            std::uint32_t current[4] = {
                addVertex(kerb, at(inner, top), up,
                          glm::vec2(side < 0 ? 0.0f : 1.0f, s.along / kerbPeriod)),
                addVertex(kerb, at(outer, top), up,
                          glm::vec2(side < 0 ? 1.0f : 0.0f, s.along / kerbPeriod)),
                addVertex(wall, at(outer, top), outward, glm::vec2(u, (top - bottom) / ROCK_TILE)),
                addVertex(wall, at(outer, bottom), outward, glm::vec2(u, 0.0f)),
            };
            if (i > 0) {
                addQuad(kerb, previous[0], previous[1], current[1], current[0], up);
                addQuad(wall, previous[2], previous[3], current[3], current[2], outward);
            }
            std::copy(current, current + 4, previous);
        }
    }
}

// The floor far below, covering the whole heightfield, as a coarse grid.
void addFloor(MeshPart& part) {
    constexpr int CELLS = 8;
    const float x0 = HEIGHTMAP_ORIGIN_X;
    const float z0 = HEIGHTMAP_ORIGIN_Z;
    const float x1 = x0 + (HEIGHTMAP_ROWS - 1) * HEIGHTMAP_CELL;
    const float z1 = z0 + (HEIGHTMAP_COLUMNS - 1) * HEIGHTMAP_CELL;
    const float y = visibleFloorY();
    const glm::vec3 up(0.0f, 1.0f, 0.0f);
    for (int j = 0; j <= CELLS; ++j) {
        for (int i = 0; i <= CELLS; ++i) {
            const float x = x0 + (x1 - x0) * i / CELLS;
            const float z = z0 + (z1 - z0) * j / CELLS;
            addVertex(part, glm::vec3(x, y, z), up, glm::vec2(x / GROUND_TILE, -z / GROUND_TILE));
        }
    }
    for (int j = 0; j < CELLS; ++j) {
        for (int i = 0; i < CELLS; ++i) {
            const std::uint32_t a = static_cast<std::uint32_t>(j * (CELLS + 1) + i);
            addQuad(part, a, a + 1, a + CELLS + 2, a + CELLS + 1, up);
        }
    }
}

// Textures -----------------------------------------------------------------

Bitmap asphaltTexture() {
    constexpr int SIZE = 256;
    Bitmap image = makeBitmap(SIZE, SIZE, 3);
    for (int y = 0; y < SIZE; ++y) {
        for (int x = 0; x < SIZE; ++x) {
            const glm::vec2 p(static_cast<float>(x), static_cast<float>(y));
            const float grain = fractalNoise2(p / 4.0f, 4, 11, SIZE / 4);
            const float patches = fractalNoise2(p / 32.0f, 3, 12, SIZE / 32);
            float grey = 0.23f + 0.10f * grain + 0.06f * patches;
            // Light stones in the mix.
            if (latticeValue(x, y, 0, 13) > 0.975f) {
                grey += 0.12f;
            }
            glm::vec3 colour(grey * 0.98f, grey, grey * 1.03f);
            const bool edgeLine = (x >= 4 && x < 12) || (x >= SIZE - 12 && x < SIZE - 4);
            const bool dash = x >= 124 && x < 132 && y >= 16 && y < 144;
            if (edgeLine || dash) {
                const float wear = fractalNoise2(p / 3.0f, 3, 14, SIZE / 3);
                colour = glm::mix(glm::vec3(0.93f, 0.93f, 0.88f), colour,
                                  0.5f * smoothStep(0.6f, 0.85f, wear));
            }
            setPixel(image, x, y, colour);
        }
    }
    return image;
}

// Painted lines shine a little more than the asphalt around them. One grey
// channel: less to decode.
Bitmap asphaltSpecular(const Bitmap& diffuse) {
    Bitmap image = makeBitmap(diffuse.width, diffuse.height, 1);
    for (int y = 0; y < diffuse.height; ++y) {
        for (int x = 0; x < diffuse.width; ++x) {
            const float v = getPixel(diffuse, x, y).g;
            setPixel(image, x, y, glm::vec3(v > 0.6f ? 0.45f : 0.12f));
        }
    }
    return image;
}

Bitmap kerbTexture() {
    constexpr int SIZE = 64;
    Bitmap image = makeBitmap(SIZE, SIZE, 3);
    for (int y = 0; y < SIZE; ++y) {
        for (int x = 0; x < SIZE; ++x) {
            const float n = valueNoise2(glm::vec2(x, y) / 4.0f, 21, SIZE / 4);
            const glm::vec3 base =
                y < SIZE / 2 ? glm::vec3(0.78f, 0.12f, 0.10f) : glm::vec3(0.92f, 0.92f, 0.90f);
            setPixel(image, x, y, base * (0.9f + 0.1f * n));
        }
    }
    return image;
}

Bitmap rockTexture() {
    constexpr int SIZE = 256;
    Bitmap image = makeBitmap(SIZE, SIZE, 3);
    for (int y = 0; y < SIZE; ++y) {
        for (int x = 0; x < SIZE; ++x) {
            const glm::vec2 p(static_cast<float>(x), static_cast<float>(y));
            const float warp = fractalNoise2(p / 32.0f, 3, 31, SIZE / 32);
            // Layered strata that wander a little.
            const float strata = 0.5f + 0.5f * std::sin((y + warp * 40.0f) * 6.2831853f / 32.0f);
            const float detail = fractalNoise2(p / 4.0f, 4, 32, SIZE / 4);
            const float crack = fractalNoise2(p / 16.0f, 3, 33, SIZE / 16);
            glm::vec3 colour =
                glm::mix(glm::vec3(0.42f, 0.36f, 0.30f), glm::vec3(0.58f, 0.52f, 0.44f), strata);
            colour *= 0.75f + 0.45f * detail;
            if (std::fabs(crack - 0.5f) < 0.015f) {
                colour *= 0.55f;
            }
            setPixel(image, x, y, colour);
        }
    }
    return image;
}

// The meadow far below, painted at 512 and stored at half that, averaging
// each 2 x 2: from the road it is never near enough to need more, and a
// quarter of the texels decode in a quarter of the time.
glm::vec3 groundColour(glm::vec2 p) {
    constexpr int DESIGN = 512;
    const float meadow = fractalNoise2(p / 64.0f, 4, 41, DESIGN / 64);
    const float blades = fractalNoise2(p / 2.0f, 3, 42, DESIGN / 2);
    glm::vec3 colour =
        glm::mix(glm::vec3(0.20f, 0.40f, 0.12f), glm::vec3(0.42f, 0.55f, 0.18f), meadow);
    colour *= 0.8f + 0.4f * blades;
    // Sandy paths (ten noise cells across, so the texture tiles) and a few flowers.
    const float path = fractalNoise2(p / 51.2f, 3, 43, 10);
    colour = glm::mix(colour, glm::vec3(0.62f, 0.55f, 0.38f),
                      smoothStep(0.03f, 0.0f, std::fabs(path - 0.5f)) * 0.8f);
    const int fx = static_cast<int>(p.x) / 2, fy = static_cast<int>(p.y) / 2;
    if (latticeValue(fx, fy, 0, 44) > 0.996f) {
        colour = latticeValue(fx, fy, 1, 44) > 0.5f ? glm::vec3(0.95f, 0.90f, 0.30f)
                                                    : glm::vec3(0.95f, 0.95f, 0.95f);
    }
    return colour;
}

Bitmap groundTexture() {
    constexpr int SIZE = 256;
    Bitmap image = makeBitmap(SIZE, SIZE, 3);
    for (int y = 0; y < SIZE; ++y) {
        for (int x = 0; x < SIZE; ++x) {
            glm::vec3 sum(0.0f);
            for (int j = 0; j < 2; ++j) {
                for (int i = 0; i < 2; ++i) {
                    sum += groundColour(glm::vec2(2 * x + i, 2 * y + j));
                }
            }
            setPixel(image, x, y, sum / 4.0f);
        }
    }
    return image;
}

}  // namespace

Bitmap buildHeightmap() {
    Bitmap image = makeBitmap(HEIGHTMAP_COLUMNS, HEIGHTMAP_ROWS, 1);
    const std::vector<CentreLinePoint>& points = centreLinePoints();
    const size_t n = points.size();
    // Each centre-line segment marks the samples within reach of it.
    for (size_t i = 0; i < n; ++i) {
        const CentreLinePoint& a = points[i];
        const CentreLinePoint& b = points[(i + 1) % n];
        const float reach = std::max(a.halfWidth, b.halfWidth) + PLATEAU_MARGIN;
        const float minX = std::min(a.position.x, b.position.x) - reach;
        const float maxX = std::max(a.position.x, b.position.x) + reach;
        const float minZ = std::min(a.position.y, b.position.y) - reach;
        const float maxZ = std::max(a.position.y, b.position.y) + reach;
        const int r0 =
            std::max(0, static_cast<int>(std::floor((minX - HEIGHTMAP_ORIGIN_X) / HEIGHTMAP_CELL)));
        const int r1 =
            std::min(HEIGHTMAP_ROWS - 1,
                     static_cast<int>(std::ceil((maxX - HEIGHTMAP_ORIGIN_X) / HEIGHTMAP_CELL)));
        const int c0 =
            std::max(0, static_cast<int>(std::floor((minZ - HEIGHTMAP_ORIGIN_Z) / HEIGHTMAP_CELL)));
        const int c1 =
            std::min(HEIGHTMAP_COLUMNS - 1,
                     static_cast<int>(std::ceil((maxZ - HEIGHTMAP_ORIGIN_Z) / HEIGHTMAP_CELL)));
        const glm::vec2 ab = b.position - a.position;
        const float lengthSquared = glm::dot(ab, ab);
        for (int r = r0; r <= r1; ++r) {
            for (int c = c0; c <= c1; ++c) {
                const glm::vec2 p(HEIGHTMAP_ORIGIN_X + r * HEIGHTMAP_CELL,
                                  HEIGHTMAP_ORIGIN_Z + c * HEIGHTMAP_CELL);
                const float t =
                    std::clamp(glm::dot(p - a.position, ab) / lengthSquared, 0.0f, 1.0f);
                const float halfWidth = a.halfWidth + (b.halfWidth - a.halfWidth) * t;
                if (glm::length(p - (a.position + ab * t)) <= halfWidth + PLATEAU_MARGIN) {
                    image.pixels[static_cast<size_t>(r) * HEIGHTMAP_COLUMNS + c] = PLATEAU_RED;
                }
            }
        }
    }
    return image;
}

std::vector<MeshPart> buildRoadParts() {
    const std::vector<Section> list = drawnSections(sections());
    MeshPart asphalt{"asphalt", "asphalt", {}, {}, {}, {}};
    MeshPart kerb{"kerb", "kerb", {}, {}, {}, {}};
    MeshPart wall{"cliff", "rock", {}, {}, {}, {}};
    MeshPart floor{"floor", "ground", {}, {}, {}, {}};
    addAsphalt(asphalt, list);
    addKerbsAndWalls(kerb, wall, list);
    addFloor(floor);
    return {asphalt, kerb, wall, floor};
}

std::vector<Material> roadMaterials() {
    return {
        {"asphalt", glm::vec3(1.0f), glm::vec3(0.3f), 24.0f, "asphalt.png", "asphalt_specular.png",
         "matte.png"},
        {"kerb", glm::vec3(1.0f), glm::vec3(0.3f), 24.0f, "kerb.png", "matte.png", "matte.png"},
        {"rock", glm::vec3(1.0f), glm::vec3(0.1f), 8.0f, "rock.png", "matte.png", "matte.png"},
        {"ground", glm::vec3(1.0f), glm::vec3(0.1f), 8.0f, "ground.png", "matte.png", "matte.png"},
    };
}

// The road model's unit is 300 world units: 1e-6 of it is 0.3 mm.
constexpr int ROAD_POSITION_DECIMALS = 6;

bool writeGround(const std::string& folder) {
    std::vector<MeshPart> parts = buildRoadParts();
    // World to the road model's own units.
    glm::mat4 toModel(1.0f);
    toModel[0][0] = toModel[1][1] = toModel[2][2] = 1.0f / ROAD_MODEL_SCALE;
    toModel[3][0] = -ROAD_MODEL_OFFSET_X / ROAD_MODEL_SCALE;
    for (MeshPart& part : parts) {
        transformPart(part, toModel);
    }
    bool ok = writePng(folder + "/heightmap.png", buildHeightmap());
    ok = writeObj(folder + "/road3.obj", "road3.mtl", parts, roadMaterials(),
                  ROAD_POSITION_DECIMALS) &&
         ok;
    const Bitmap asphalt = asphaltTexture();
    ok = writePng(folder + "/asphalt.png", asphalt) && ok;
    ok = writePng(folder + "/asphalt_specular.png", asphaltSpecular(asphalt)) && ok;
    ok = writePng(folder + "/kerb.png", kerbTexture()) && ok;
    ok = writePng(folder + "/rock.png", rockTexture()) && ok;
    ok = writePng(folder + "/ground.png", groundTexture()) && ok;
    ok = writePng(folder + "/matte.png", solidBitmap(glm::vec3(0.04f))) && ok;
    return ok;
}
