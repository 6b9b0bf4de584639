// The two cars: a sports coupe for the default layout and a pickup for level 2.
#pragma once

#include <glm/vec3.hpp>
#include <string>
#include <vector>

#include "tools/assetgen/image.h"
#include "tools/assetgen/mesh.h"
#include "tools/assetgen/shapes.h"

// The coupe is modelled in units five times the world's (the game scales it
// by 0.2): nose to +Z, y = 0 on the visible road. The physics chassis is the
// 6 x 3 x 14 box centred at y = 5; the visible wheels of radius 2 touch the
// road below the wheel spheres' centres at (+-3, 4, +-5).
constexpr float COUPE_WHEEL_RADIUS = 2.0f;
constexpr float COUPE_WHEEL_X = 3.0f;
constexpr float COUPE_WHEEL_Z = 5.0f;
// The pickup is written in world units (the game does not scale it).
constexpr float PICKUP_SCALE = 0.2f;

// The cells of the cars' texture atlas.
enum CarCell {
    Paint,
    Glass,
    Tread,
    WheelFace,
    Headlight,
    Taillight,
    Trim,
    Chrome,
    Grille,
    BedLiner
};
AtlasCell carAtlasCell(CarCell which);

std::vector<MeshPart> buildCoupeParts();
std::vector<MeshPart> buildPickupParts();

// The cars' textures share one atlas layout: diffuse, specular and the
// reflection map (bright on paint and glass, dark on tyres).
struct CarTextures {
    Bitmap diffuse;
    Bitmap specular;
    Bitmap reflection;
};
CarTextures buildCarTextures(glm::vec3 paint, bool stripes);

// Write coupe.obj / car3.obj with their material files and textures.
bool writeCoupe(const std::string& folder);
bool writePickup(const std::string& folder);
