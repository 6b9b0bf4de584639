#include "tools/assetgen/vehicles.h"

#include <algorithm>
#include <cmath>
#include <glm/common.hpp>
#include <glm/geometric.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include "tools/assetgen/noise.h"
#include "tools/assetgen/shapes.h"

namespace {

constexpr float PI = 3.14159265f;
constexpr int ATLAS_SIZE = 256;
constexpr int CELL = 64;

// Where each CarCell lies in the atlas (column, row).
const int CELL_PLACE[][2] = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 1},
                             {1, 1}, {2, 1}, {3, 1}, {0, 2}, {1, 2}};

AtlasCell cell(CarCell which) {
    return carAtlasCell(which);
}

// Arch cut into the body's underside above a wheel.
float archBottom(float z, float baseBottom, float archRadius) {
    float bottom = baseBottom;
    for (float wheelZ : {-COUPE_WHEEL_Z, COUPE_WHEEL_Z}) {
        const float dz = z - wheelZ;
        if (std::fabs(dz) < archRadius) {
            bottom =
                std::max(bottom, COUPE_WHEEL_RADIUS + std::sqrt(archRadius * archRadius - dz * dz));
        }
    }
    return bottom;
}

float interpolate(const std::vector<glm::vec2>& keys, float z) {
    if (z <= keys.front().x) {
        return keys.front().y;
    }
    for (size_t i = 1; i < keys.size(); ++i) {
        if (z <= keys[i].x) {
            const float t = (z - keys[i - 1].x) / (keys[i].x - keys[i - 1].x);
            const float smooth = t * t * (3.0f - 2.0f * t);
            return keys[i - 1].y + (keys[i].y - keys[i - 1].y) * smooth;
        }
    }
    return keys.back().y;
}

struct BodyShape {
    float length;  // half length
    float halfWidth;
    float bottom;
    std::vector<glm::vec2> topKeys;  // (z, top) from rear to nose
};

// Inner side of the wheel wells: the tyres' inner faces lie just outside.
constexpr float WELL_X = 2.2f;

// One cross-section of the body: a rounded box whose underside, outside the
// wheel wells' inner walls, is lifted to `arch` over a wheel.
std::vector<glm::vec2> bodyRing(float halfWidth, float bottom, float arch, float top) {
    const float gap = top - arch;
    const std::vector<glm::vec2> right = {
        {0.0f, bottom},
        {1.2f, bottom},
        {WELL_X - 0.1f, bottom},
        {WELL_X + 0.05f, arch},
        {halfWidth - 0.3f, arch},
        {halfWidth - 0.04f, arch + 0.06f * gap},
        {halfWidth, arch + 0.2f * gap},
        {halfWidth, arch + 0.6f * gap},
        {halfWidth - 0.15f, arch + 0.85f * gap},
        {halfWidth - 0.7f, top - 0.02f * gap},
        {halfWidth * 0.45f, top},
        {0.0f, top},
    };
    std::vector<glm::vec2> ring = right;
    for (size_t i = right.size() - 2; i > 0; --i) {
        ring.emplace_back(-right[i].x, right[i].y);
    }
    return ring;
}

// The body shell: a loft with wheel wells over the four wheels.
void addBody(MeshPart& part, const BodyShape& shape) {
    std::vector<LoftSection> sections;
    const int count = 36;
    for (int i = 0; i <= count; ++i) {
        // Denser towards the rounded ends.
        const float t = -1.0f + 2.0f * i / count;
        const float z = shape.length * std::sin(t * PI * 0.5f);
        const float end = std::max(0.0f, (std::fabs(z) - (shape.length - 1.4f)) / 1.4f);
        const float halfWidth = shape.halfWidth * (1.0f - 0.16f * end * end);
        const float top = interpolate(shape.topKeys, z);
        const float bottom = shape.bottom + 0.9f * end * end;
        const float arch = std::max(bottom, archBottom(z, 0.0f, 2.3f));
        sections.push_back({z, bodyRing(halfWidth, bottom, arch, top)});
    }
    addLoft(part, sections, true, true, cell(Paint));
}

struct CabinShape {
    float belt;       // y where the glasshouse sits on the body
    float frontBase;  // z of the windscreen's foot
    float roofFront;  // z where the roof starts
    float roofBack;
    float rearBase;  // z of the rear window's foot
    float roof;      // y of the roof
    float baseHalfWidth;
    float roofHalfWidth;
};

// Flat-shaded glasshouse: windscreen, side windows and rear window in glass,
// the roof in paint.
void addCabin(MeshPart& glass, MeshPart& roof, const CabinShape& c) {
    // u0..u1: the part of the cell across the quad (a-b side to d-c side).
    auto quad = [](MeshPart& part, glm::vec3 a, glm::vec3 b, glm::vec3 cc, glm::vec3 d,
                   glm::vec3 facing, const AtlasCell& where, float u0 = 0.0f, float u1 = 1.0f) {
        const glm::vec3 normal = glm::normalize(glm::cross(b - a, d - a)) *
                                 (glm::dot(glm::cross(b - a, d - a), facing) < 0 ? -1.0f : 1.0f);
        addQuad(part, addVertex(part, a, normal, cellUv(where, u0, 1)),
                addVertex(part, b, normal, cellUv(where, u1, 1)),
                addVertex(part, cc, normal, cellUv(where, u1, 0)),
                addVertex(part, d, normal, cellUv(where, u0, 0)), normal);
    };
    const float bw = c.baseHalfWidth, rw = c.roofHalfWidth;
    const glm::vec3 frontLeft(-bw, c.belt, c.frontBase), frontRight(bw, c.belt, c.frontBase);
    const glm::vec3 rearLeft(-bw, c.belt, c.rearBase), rearRight(bw, c.belt, c.rearBase);
    const glm::vec3 roofFrontLeft(-rw, c.roof, c.roofFront),
        roofFrontRight(rw, c.roof, c.roofFront);
    const glm::vec3 roofBackLeft(-rw, c.roof, c.roofBack), roofBackRight(rw, c.roof, c.roofBack);
    quad(glass, frontLeft, frontRight, roofFrontRight, roofFrontLeft, glm::vec3(0, 1, 1),
         cell(Glass));
    quad(glass, rearRight, rearLeft, roofBackLeft, roofBackRight, glm::vec3(0, 1, -1), cell(Glass));
    // The roof takes the middle of the paint cell as the body's top does
    // (the cell's width goes once around the body, about 22 units), so its
    // stripes are as wide as the bonnet's.
    const float roofSpan = rw / 22.0f;
    quad(roof, roofFrontLeft, roofFrontRight, roofBackRight, roofBackLeft, glm::vec3(0, 1, 0),
         cell(Paint), 0.5f - roofSpan, 0.5f + roofSpan);
    for (float side : {-1.0f, 1.0f}) {
        const glm::vec3 out(side, 0.0f, 0.0f);
        const glm::vec3 f = side < 0 ? frontLeft : frontRight;
        const glm::vec3 r = side < 0 ? rearLeft : rearRight;
        const glm::vec3 tf = side < 0 ? roofFrontLeft : roofFrontRight;
        const glm::vec3 tb = side < 0 ? roofBackLeft : roofBackRight;
        // The side as one four-cornered window, its foot on the belt line.
        quad(glass, f, r, tb, tf, out, cell(Glass));
    }
}

constexpr int WHEEL_SEGMENTS = 24;

// A wheel: tread in rubber, both faces showing the tyre wall and the rim.
void addWheel(MeshPart& tyres, glm::vec3 centre, float radius, float width) {
    MeshPart local;
    const float half = width * 0.5f;
    const AtlasCell face = cell(WheelFace);
    addLoft(local,
            {{-half, circleRing(radius * 0.93f, WHEEL_SEGMENTS)},
             {-half * 0.8f, circleRing(radius, WHEEL_SEGMENTS)},
             {half * 0.8f, circleRing(radius, WHEEL_SEGMENTS)},
             {half, circleRing(radius * 0.93f, WHEEL_SEGMENTS)}},
            true, true, cell(Tread), &face);
    // Local z (the axle) onto x.
    glm::mat4 toAxle = glm::translate(glm::mat4(1.0f), centre) *
                       glm::rotate(glm::mat4(1.0f), 0.5f * PI, glm::vec3(0, 1, 0));
    appendTransformed(tyres, local, toAxle);
}

std::vector<MeshPart> coupeParts() {
    MeshPart body{"body", "coupe", {}, {}, {}, {}};
    MeshPart glass{"glass", "coupe", {}, {}, {}, {}};
    MeshPart wheels{"wheels", "coupe", {}, {}, {}, {}};
    MeshPart details{"details", "coupe", {}, {}, {}, {}};

    addBody(body, {7.3f,
                   3.6f,
                   1.0f,
                   {{-7.3f, 4.3f},
                    {-6.6f, 4.85f},
                    {-4.8f, 4.9f},
                    {2.2f, 4.85f},
                    {5.0f, 4.8f},
                    {6.8f, 4.1f},
                    {7.3f, 3.2f}}});
    addCabin(glass, body, {4.8f, 2.7f, 0.1f, -2.4f, -5.7f, 6.6f, 3.25f, 2.4f});

    for (float x : {-COUPE_WHEEL_X, COUPE_WHEEL_X}) {
        for (float z : {-COUPE_WHEEL_Z, COUPE_WHEEL_Z}) {
            addWheel(wheels, glm::vec3(x + (x > 0 ? 0.05f : -0.05f), COUPE_WHEEL_RADIUS, z),
                     COUPE_WHEEL_RADIUS, 1.5f);
        }
    }
    // Lights, grille, spoiler, mirrors and exhausts.
    for (float side : {-1.0f, 1.0f}) {
        addEllipsoid(details, glm::vec3(side * 2.2f, 3.45f, 6.9f), glm::vec3(0.72f, 0.36f, 0.5f),
                     12, 6, cell(Headlight));
        addBox(details, glm::vec3(side > 0 ? 1.5f : -3.1f, 4.05f, -7.35f),
               glm::vec3(side > 0 ? 3.1f : -1.5f, 4.55f, -6.9f), cell(Taillight));
        addBox(details, glm::vec3(side * 3.3f - 0.35f, 4.95f, 1.7f),
               glm::vec3(side * 3.3f + 0.35f, 5.4f, 2.2f), cell(Paint));
        addCylinder(details, glm::vec3(side * 1.3f, 1.7f, -6.9f),
                    glm::vec3(side * 1.3f, 1.7f, -7.7f), 0.3f, 10, cell(Chrome));
        addBox(body, glm::vec3(side * 2.6f - 0.2f, 5.05f, -7.0f),
               glm::vec3(side * 2.6f + 0.2f, 5.7f, -6.6f), cell(Paint));
    }
    addBox(details, glm::vec3(-1.5f, 1.9f, 6.9f), glm::vec3(1.5f, 2.6f, 7.42f), cell(Grille));
    addBox(body, glm::vec3(-3.4f, 5.7f, -7.35f), glm::vec3(3.4f, 5.9f, -6.2f), cell(Paint));
    return {body, glass, wheels, details};
}

std::vector<MeshPart> pickupParts() {
    MeshPart body{"body", "pickup", {}, {}, {}, {}};
    MeshPart glass{"glass", "pickup", {}, {}, {}, {}};
    MeshPart wheels{"wheels", "pickup", {}, {}, {}, {}};
    MeshPart details{"details", "pickup", {}, {}, {}, {}};

    addBody(body, {8.0f, 3.7f, 1.2f, {{-8.0f, 4.9f}, {-7.4f, 5.0f}, {6.6f, 5.1f}, {8.0f, 4.6f}}});
    // The cab: doors in paint, the glasshouse on top.
    addBox(body, glm::vec3(-3.6f, 4.9f, -1.6f), glm::vec3(3.6f, 6.2f, 3.8f), cell(Paint));
    addCabin(glass, body, {6.2f, 3.8f, 2.1f, -1.3f, -1.6f, 8.6f, 3.55f, 3.25f});
    // The bed: side walls, tailgate and a ribbed liner.
    for (float side : {-1.0f, 1.0f}) {
        addBox(body, glm::vec3(side > 0 ? 3.2f : -3.7f, 4.9f, -8.0f),
               glm::vec3(side > 0 ? 3.7f : -3.2f, 6.4f, -1.6f), cell(Paint));
    }
    addBox(body, glm::vec3(-3.2f, 4.9f, -8.0f), glm::vec3(3.2f, 6.3f, -7.55f), cell(Paint));
    addBox(details, glm::vec3(-3.2f, 4.9f, -7.55f), glm::vec3(3.2f, 5.1f, -1.6f), cell(BedLiner));

    for (float x : {-COUPE_WHEEL_X, COUPE_WHEEL_X}) {
        for (float z : {-COUPE_WHEEL_Z, COUPE_WHEEL_Z}) {
            addWheel(wheels, glm::vec3(x + (x > 0 ? 0.15f : -0.15f), COUPE_WHEEL_RADIUS, z),
                     COUPE_WHEEL_RADIUS, 1.6f);
        }
    }
    for (float side : {-1.0f, 1.0f}) {
        addBox(details, glm::vec3(side > 0 ? 2.1f : -3.3f, 3.6f, 7.7f),
               glm::vec3(side > 0 ? 3.3f : -2.1f, 4.4f, 8.15f), cell(Headlight));
        addBox(details, glm::vec3(side > 0 ? 2.6f : -3.5f, 4.5f, -8.2f),
               glm::vec3(side > 0 ? 3.5f : -2.6f, 5.7f, -7.9f), cell(Taillight));
        addBox(details, glm::vec3(side * 3.75f - 0.3f, 6.4f, 3.0f),
               glm::vec3(side * 3.75f + 0.3f, 7.1f, 3.5f), cell(Trim));
    }
    addBox(details, glm::vec3(-1.9f, 3.3f, 7.8f), glm::vec3(1.9f, 4.6f, 8.2f), cell(Grille));
    addBox(details, glm::vec3(-3.8f, 1.8f, 7.8f), glm::vec3(3.8f, 2.9f, 8.5f), cell(Chrome));
    addBox(details, glm::vec3(-3.8f, 1.8f, -8.5f), glm::vec3(3.8f, 2.9f, -7.8f), cell(Chrome));
    // A rack on the roof.
    addBox(details, glm::vec3(-2.0f, 8.6f, 0.6f), glm::vec3(2.0f, 8.95f, 1.1f), cell(Chrome));
    return {body, glass, wheels, details};
}

// Atlas painting ------------------------------------------------------------

struct CellLook {
    glm::vec3 colour;
    float specular;
    float reflection;
};

CellLook paintCell(CarCell which, float a, float b, glm::vec3 paint, bool stripes) {
    const glm::vec2 p(a, b);
    switch (which) {
        case Paint: {
            glm::vec3 c = paint * (0.92f + 0.08f * (1.0f - b));
            if (stripes && (std::fabs(a - 0.455f) < 0.018f || std::fabs(a - 0.545f) < 0.018f)) {
                c = glm::vec3(0.95f);
            }
            return {c, 0.8f, 0.45f};
        }
        case Glass: {
            const float edge = std::min(std::min(a, 1 - a), std::min(b, 1 - b));
            if (edge < 0.07f) {
                return {glm::vec3(0.05f), 0.2f, 0.1f};
            }
            const float streak = std::fabs((a + b) - 0.9f) < 0.08f ? 0.08f : 0.0f;
            return {glm::vec3(0.10f, 0.15f, 0.24f) + streak + 0.1f * (1.0f - b), 0.95f, 0.85f};
        }
        case Tread: {
            const float groove = std::fmod(a * 24.0f, 1.0f) < 0.25f ? 0.6f : 1.0f;
            const float rib = std::fabs(b - 0.5f) < 0.04f ? 0.6f : 1.0f;
            return {glm::vec3(0.09f) * groove * rib, 0.05f, 0.02f};
        }
        case WheelFace: {
            const glm::vec2 d = (p - glm::vec2(0.5f)) * 2.0f;
            const float r = glm::length(d);
            if (r > 0.64f) {
                const float lettering = std::fabs(r - 0.82f) < 0.03f ? 0.05f : 0.0f;
                return {glm::vec3(0.10f + lettering), 0.1f, 0.03f};
            }
            if (r > 0.58f) {
                return {glm::vec3(0.55f), 0.8f, 0.6f};
            }
            if (r < 0.14f) {
                return {glm::vec3(0.35f), 0.8f, 0.5f};
            }
            // Five spokes; the gaps between them dark.
            const float angle = std::atan2(d.y, d.x);
            const float spoke = std::fabs(std::sin(angle * 2.5f));
            if (spoke > 0.45f && r > 0.2f) {
                return {glm::vec3(0.06f), 0.1f, 0.05f};
            }
            return {glm::vec3(0.78f, 0.79f, 0.82f), 0.9f, 0.7f};
        }
        case Headlight: {
            const float r = glm::length(p - glm::vec2(0.5f));
            return {r < 0.3f ? glm::vec3(1.0f, 1.0f, 0.92f) : glm::vec3(0.85f, 0.86f, 0.82f), 1.0f,
                    0.5f};
        }
        case Taillight:
            return {glm::vec3(0.92f, 0.12f, 0.08f) * (0.85f + 0.15f * std::sin(b * 20.0f)), 0.8f,
                    0.3f};
        case Trim:
            return {glm::vec3(0.07f), 0.15f, 0.05f};
        case Chrome:
            return {glm::vec3(0.82f, 0.83f, 0.86f) * (0.8f + 0.2f * b), 1.0f, 0.9f};
        case Grille:
            return {std::fmod(b * 6.0f, 1.0f) < 0.5f ? glm::vec3(0.05f) : glm::vec3(0.35f), 0.4f,
                    0.1f};
        case BedLiner:
            return {std::fmod(a * 10.0f, 1.0f) < 0.3f ? glm::vec3(0.08f) : glm::vec3(0.16f), 0.1f,
                    0.02f};
    }
    return {glm::vec3(1.0f, 0.0f, 1.0f), 0.0f, 0.0f};
}

Material carMaterial(const std::string& name, const std::string& prefix) {
    return {name,
            glm::vec3(1.0f),
            glm::vec3(0.6f),
            48.0f,
            prefix + ".png",
            prefix + "_specular.png",
            prefix + "_reflection.png"};
}

bool writeCar(const std::string& folder, const std::string& name, std::vector<MeshPart> parts,
              glm::vec3 paint, bool stripes) {
    const CarTextures textures = buildCarTextures(paint, stripes);
    bool ok = writeObj(folder + "/" + name + ".obj", name + ".mtl", parts,
                       {carMaterial(parts.front().material, name)});
    ok = writePng(folder + "/" + name + ".png", textures.diffuse) && ok;
    ok = writePng(folder + "/" + name + "_specular.png", textures.specular) && ok;
    ok = writePng(folder + "/" + name + "_reflection.png", textures.reflection) && ok;
    return ok;
}

}  // namespace

AtlasCell carAtlasCell(CarCell which) {
    return gridCell(ATLAS_SIZE, CELL, CELL_PLACE[which][0], CELL_PLACE[which][1], 3.0f);
}

std::vector<MeshPart> buildCoupeParts() {
    return coupeParts();
}

std::vector<MeshPart> buildPickupParts() {
    std::vector<MeshPart> parts = pickupParts();
    const glm::mat4 toWorld = glm::scale(glm::mat4(1.0f), glm::vec3(PICKUP_SCALE));
    for (MeshPart& part : parts) {
        transformPart(part, toWorld);
    }
    return parts;
}

CarTextures buildCarTextures(glm::vec3 paint, bool stripes) {
    // Specular and reflection are grey: one channel decodes faster.
    CarTextures textures{makeBitmap(ATLAS_SIZE, ATLAS_SIZE, 3),
                         makeBitmap(ATLAS_SIZE, ATLAS_SIZE, 1),
                         makeBitmap(ATLAS_SIZE, ATLAS_SIZE, 1)};
    const int cells = sizeof(CELL_PLACE) / sizeof(CELL_PLACE[0]);
    for (int y = 0; y < ATLAS_SIZE; ++y) {
        for (int x = 0; x < ATLAS_SIZE; ++x) {
            CellLook look{glm::vec3(0.5f), 0.2f, 0.1f};
            for (int k = 0; k < cells; ++k) {
                if (x / CELL == CELL_PLACE[k][0] && y / CELL == CELL_PLACE[k][1]) {
                    // Fractions inside the inset cell, as the parts map them.
                    const AtlasCell c = cell(static_cast<CarCell>(k));
                    const float a = std::clamp((x + 0.5f - c.x0) / (c.x1 - c.x0), 0.0f, 1.0f);
                    const float b = std::clamp((y + 0.5f - c.y0) / (c.y1 - c.y0), 0.0f, 1.0f);
                    look = paintCell(static_cast<CarCell>(k), a, b, paint, stripes);
                }
            }
            setPixel(textures.diffuse, x, y, look.colour);
            setPixel(textures.specular, x, y, glm::vec3(look.specular));
            setPixel(textures.reflection, x, y, glm::vec3(look.reflection));
        }
    }
    return textures;
}

bool writeCoupe(const std::string& folder) {
    return writeCar(folder, "coupe", buildCoupeParts(), glm::vec3(0.80f, 0.06f, 0.05f), true);
}

bool writePickup(const std::string& folder) {
    return writeCar(folder, "car3", buildPickupParts(), glm::vec3(0.05f, 0.52f, 0.58f), false);
}
