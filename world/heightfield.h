// The ground: a static heightfield built from the red channel of a
// grey-scale image; simulated, never drawn.
#pragma once

#include <string>

#include "world/physics.h"

class Heightfield {
public:
    RigidStatic* actor = nullptr;  // null when the heightmap could not be used

    Heightfield(float rowScale, float columnScale, float heightScale, PhysicsScene* scene,
                const std::string& imagePath = HEIGHTMAP_PATH);

    static constexpr const char* HEIGHTMAP_PATH = "Vrom2/model/road3/heightmap.png";
};

// Reads the height samples from an image: rows = image height (along X),
// columns = image width (along Z), height = red. Prints one line naming the
// file and returns false when the image cannot be read or its size cannot
// be held in 16-bit sample counts.
bool readHeightSamples(const std::string& imagePath, HeightfieldDesc& desc);
