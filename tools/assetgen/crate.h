// The crate's three textures: wooden planks in a steel frame.
#pragma once

#include <string>

#include "tools/assetgen/image.h"

// Every crate of a level decodes its own three copies, so the size is what
// a level's build pays most for: 128 texels keep planks, gaps and bolts
// distinct on a crate that fills a good part of the screen.
constexpr int CRATE_TEXTURE_SIZE = 128;

struct CrateTextures {
    Bitmap diffuse;
    Bitmap specular;    // bright on the steel, dark on the wood
    Bitmap reflection;  // mostly the steel
};

CrateTextures buildCrateTextures(int size);
// Writes container2.png, container2_specular.png and container2_reflection.png.
bool writeCrateTextures(const std::string& folder);
