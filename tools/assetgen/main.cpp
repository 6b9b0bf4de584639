// vromdash-assetgen [output folder]: writes the game's models, textures,
// heightmap and skies (default: Vrom2/model below the working directory).
#include <iostream>

#include "tools/assetgen/assets.h"

int main(int argc, char** argv) {
    const std::string root = argc > 1 ? argv[1] : "Vrom2/model";
    if (!generateAssets(root)) {
        std::cout << "Asset generation failed" << std::endl;
        return 1;
    }
    return 0;
}
