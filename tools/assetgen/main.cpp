// vromdash-assetgen [output folder]: writes the game's models, textures,
// heightmap and skies (default: Vrom2/model below the working directory).
// vromdash-assetgen --icon PATH: writes only the desktop icon, a PNG, to PATH.
// vromdash-assetgen --sounds FOLDER: writes only the sounds (WAV) there.
#include <iostream>
#include <string>

#include "tools/assetgen/assets.h"
#include "tools/assetgen/icon.h"
#include "tools/assetgen/sounds.h"

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--icon") {
        if (argc != 3 || !writeIcon(argv[2])) {
            std::cout << "Icon generation failed" << std::endl;
            return 1;
        }
        return 0;
    }
    if (argc > 1 && std::string(argv[1]) == "--sounds") {
        if (argc != 3 || !writeSounds(argv[2])) {
            std::cout << "Sound generation failed" << std::endl;
            return 1;
        }
        return 0;
    }
    const std::string root = argc > 1 ? argv[1] : "Vrom2/model";
    if (!generateAssets(root)) {
        std::cout << "Asset generation failed" << std::endl;
        return 1;
    }
    return 0;
}
