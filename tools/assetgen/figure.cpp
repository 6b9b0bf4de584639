#include "tools/assetgen/figure.h"

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

enum FigureCell { Skin, Shirt, Trousers, Shoe, Cap, Button, Face };
const int CELL_PLACE[][2] = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 1}, {1, 1}};

AtlasCell cell(FigureCell which) {
    if (which == Face) {
        // The head's whole longitude-latitude map: the lower right quarter.
        return {128.0f + 2.0f, 128.0f + 2.0f, 256.0f - 2.0f, 256.0f - 2.0f, ATLAS_SIZE, ATLAS_SIZE};
    }
    return gridCell(ATLAS_SIZE, CELL, CELL_PLACE[which][0], CELL_PLACE[which][1], 3.0f);
}

constexpr float HEAD_RADIUS = 0.19f;
constexpr float HEAD_Y = 1.29f;

// The face painted on the head's map: a in longitude (0.5 looks along +Z),
// b in latitude (0 the crown, 1 the chin's pole).
glm::vec3 faceColour(float a, float b) {
    const float longitude = (a - 0.5f) * 2.0f * PI;
    const float latitude = (0.5f - b) * PI;
    const glm::vec3 skin(0.96f, 0.78f, 0.62f);
    if (latitude > 0.55f) {
        return glm::vec3(0.45f, 0.27f, 0.12f);  // hair under the cap
    }
    for (float side : {-1.0f, 1.0f}) {
        const glm::vec2 eye((longitude - side * 0.33f) / 0.085f, (latitude - 0.14f) / 0.14f);
        if (glm::length(eye) < 1.0f) {
            // A white glint keeps the eyes friendly.
            const glm::vec2 glint = eye - glm::vec2(0.35f, 0.35f);
            return glm::length(glint) < 0.35f ? glm::vec3(1.0f) : glm::vec3(0.06f, 0.05f, 0.08f);
        }
        const glm::vec2 cheek((longitude - side * 0.52f) / 0.13f, (latitude + 0.12f) / 0.09f);
        if (glm::length(cheek) < 1.0f) {
            return glm::mix(skin, glm::vec3(0.95f, 0.50f, 0.50f),
                            0.55f * (1.0f - glm::length(cheek)));
        }
    }
    const float smile = -0.30f + 0.9f * longitude * longitude;
    if (std::fabs(longitude) < 0.36f && std::fabs(latitude - smile) < 0.035f) {
        return glm::vec3(0.45f, 0.12f, 0.10f);
    }
    return skin;
}

glm::vec3 cellColour(FigureCell which, float a, float b) {
    switch (which) {
        case Skin:
            return glm::vec3(0.96f, 0.78f, 0.62f);
        case Shirt:
            // Stripes around the shirt.
            return std::fmod(b * 6.0f, 1.0f) < 0.5f ? glm::vec3(1.0f, 0.62f, 0.10f)
                                                    : glm::vec3(1.0f, 0.85f, 0.25f);
        case Trousers:
            return glm::vec3(0.16f, 0.30f, 0.66f) * (0.9f + 0.1f * std::sin(a * 40.0f));
        case Shoe:
            return glm::vec3(0.55f, 0.12f, 0.10f);
        case Cap:
            return glm::vec3(0.85f, 0.12f, 0.14f);
        case Button:
            return glm::vec3(0.95f);
        case Face:
            return faceColour(a, b);
    }
    return glm::vec3(1.0f, 0.0f, 1.0f);
}

// Lofts along +Y: rings in (x, z) at heights y.
void addUprightLoft(MeshPart& part, const std::vector<glm::vec4>& stations, glm::vec2 centre,
                    FigureCell look) {
    // Each station: (y, half width, half depth, unused).
    std::vector<LoftSection> sections;
    for (const glm::vec4& s : stations) {
        sections.push_back({s.x, roundedRing(s.y, -s.z, s.z, 2.4f, 16)});
    }
    MeshPart local;
    addLoft(local, sections, true, true, cell(look));
    // Local (x, y, z) to (x, z, y): the rings' y becomes depth, z height.
    glm::mat4 swap(0.0f);
    swap[0] = glm::vec4(1, 0, 0, 0);
    swap[1] = glm::vec4(0, 0, 1, 0);
    swap[2] = glm::vec4(0, 1, 0, 0);
    swap[3] = glm::vec4(centre.x, 0, centre.y, 1);
    appendTransformed(part, local, swap);
}

// An arm from the origin along `direction`: shoulder, sleeve, forearm, hand.
MeshPart arm(glm::vec3 origin, glm::vec3 direction, glm::vec3 palmFacing) {
    MeshPart part{"arm", "plinn", {}, {}, {}, {}};
    const glm::vec3 d = glm::normalize(direction);
    addEllipsoid(part, origin, glm::vec3(0.08f), 10, 6, cell(Shirt));
    addCylinder(part, origin, origin + d * 0.30f, 0.066f, 10, cell(Shirt));
    addCylinder(part, origin + d * 0.28f, origin + d * 0.55f, 0.052f, 10, cell(Skin));
    // The hand: flat towards the palm's side, with a thumb.
    const glm::vec3 side = glm::normalize(glm::cross(d, palmFacing));
    const glm::vec3 handCentre = origin + d * 0.62f;
    MeshPart hand;
    addEllipsoid(hand, glm::vec3(0.0f), glm::vec3(0.075f, 0.085f, 0.038f), 10, 6, cell(Skin));
    addEllipsoid(hand, glm::vec3(0.07f, -0.02f, 0.0f), glm::vec3(0.035f, 0.022f, 0.022f), 6, 4,
                 cell(Skin));
    glm::mat4 frame(1.0f);
    frame[0] = glm::vec4(side, 0.0f);
    frame[1] = glm::vec4(d, 0.0f);
    frame[2] = glm::vec4(glm::normalize(palmFacing), 0.0f);
    frame[3] = glm::vec4(handCentre, 1.0f);
    appendTransformed(part, hand, frame);
    return part;
}

}  // namespace

std::vector<MeshPart> buildFigureBody() {
    MeshPart body{"body", "plinn", {}, {}, {}, {}};
    const float x = FIGURE_CENTRE_X, z = FIGURE_CENTRE_Z;
    const float ground = FIGURE_GROUND_Y;
    // Shoes, legs, hips.
    for (float side : {-1.0f, 1.0f}) {
        addEllipsoid(body, glm::vec3(x + side * 0.11f, ground + 0.06f, z + 0.04f),
                     glm::vec3(0.085f, 0.06f, 0.14f), 10, 6, cell(Shoe));
        addCylinder(body, glm::vec3(x + side * 0.11f, ground + 0.08f, z),
                    glm::vec3(x + side * 0.11f, 0.5f, z), 0.085f, 10, cell(Trousers));
    }
    addUprightLoft(body,
                   {{0.36f, 0.2f, 0.12f, 0}, {0.45f, 0.23f, 0.14f, 0}, {0.58f, 0.235f, 0.14f, 0}},
                   glm::vec2(x, z), Trousers);
    // Shirt up to round shoulders that meet the arms' pivots.
    addUprightLoft(body,
                   {{0.54f, 0.235f, 0.145f, 0},
                    {0.75f, 0.24f, 0.15f, 0},
                    {0.95f, 0.29f, 0.155f, 0},
                    {1.05f, 0.32f, 0.15f, 0},
                    {1.11f, 0.27f, 0.12f, 0},
                    {1.14f, 0.12f, 0.08f, 0}},
                   glm::vec2(x, z + 0.02f), Shirt);
    for (float y : {0.78f, 0.93f}) {
        addEllipsoid(body, glm::vec3(x, y, z + 0.02f + 0.16f), glm::vec3(0.022f, 0.022f, 0.012f), 6,
                     4, cell(Button));
    }
    // Neck, head with its face towards +Z, and a cap with a brim.
    addCylinder(body, glm::vec3(x, 1.08f, z), glm::vec3(x, 1.16f, z), 0.055f, 10, cell(Skin));
    addEllipsoid(body, glm::vec3(x, HEAD_Y, z), glm::vec3(HEAD_RADIUS), 20, 14, cell(Face));
    addEllipsoid(body, glm::vec3(x, HEAD_Y + 0.085f, z - 0.005f), glm::vec3(0.198f, 0.12f, 0.198f),
                 20, 10, cell(Cap));
    addEllipsoid(body, glm::vec3(x, HEAD_Y + 0.095f, z + 0.17f), glm::vec3(0.14f, 0.018f, 0.12f),
                 12, 4, cell(Cap));
    return {body};
}

std::vector<MeshPart> buildRightArm() {
    MeshPart part = arm(glm::vec3(0.0f), glm::vec3(-1.0f, 0.0f, 0.0f), glm::vec3(0.0f, 0.0f, 1.0f));
    part.name = "right_arm";
    return {part};
}

std::vector<MeshPart> buildLeftArm() {
    const float tilt = 8.0f * PI / 180.0f;
    const glm::vec3 shoulder(FIGURE_CENTRE_X + FIGURE_SHOULDER_HALF_SPAN, FIGURE_SHOULDER_Y,
                             FIGURE_SHOULDER_Z);
    MeshPart part =
        arm(shoulder - FIGURE_LEFT_HAND_OFFSET, glm::vec3(std::sin(tilt), -std::cos(tilt), 0.0f),
            glm::vec3(-1.0f, 0.0f, 0.3f));
    part.name = "left_arm";
    return {part};
}

bool writeFigure(const std::string& folder) {
    Bitmap diffuse = makeBitmap(ATLAS_SIZE, ATLAS_SIZE, 3);
    const int cells = sizeof(CELL_PLACE) / sizeof(CELL_PLACE[0]);
    for (int y = 0; y < ATLAS_SIZE; ++y) {
        for (int x = 0; x < ATLAS_SIZE; ++x) {
            glm::vec3 colour(0.5f);
            for (int k = 0; k <= cells; ++k) {
                const FigureCell which = k == cells ? Face : static_cast<FigureCell>(k);
                const AtlasCell c = cell(which);
                const bool inside =
                    which == Face ? (x >= 128 && y >= 128)
                                  : (x / CELL == CELL_PLACE[k][0] && y / CELL == CELL_PLACE[k][1]);
                if (inside) {
                    const float a = glm::clamp((x + 0.5f - c.x0) / (c.x1 - c.x0), 0.0f, 1.0f);
                    const float b = glm::clamp((y + 0.5f - c.y0) / (c.y1 - c.y0), 0.0f, 1.0f);
                    colour = cellColour(which, a, b);
                }
            }
            setPixel(diffuse, x, y, colour);
        }
    }
    const std::vector<Material> materials = {{"plinn", glm::vec3(1.0f), glm::vec3(0.3f), 16.0f,
                                              "plinn.png", "plinn_specular.png", "matte.png"}};
    bool ok = writePng(folder + "/plinn.png", diffuse);
    ok = writePng(folder + "/plinn_specular.png", solidBitmap(glm::vec3(0.25f))) && ok;
    ok = writePng(folder + "/matte.png", solidBitmap(glm::vec3(0.04f))) && ok;
    ok = writeObj(folder + "/body.obj", "plinn.mtl", buildFigureBody(), materials) && ok;
    ok = writeObj(folder + "/lh.obj", "plinn.mtl", buildLeftArm(), materials) && ok;
    ok = writeObj(folder + "/rh.obj", "plinn.mtl", buildRightArm(), materials) && ok;
    return ok;
}
