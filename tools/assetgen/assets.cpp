#include "tools/assetgen/assets.h"

#include <filesystem>
#include <iostream>

#include "tools/assetgen/crate.h"
#include "tools/assetgen/figure.h"
#include "tools/assetgen/ground.h"
#include "tools/assetgen/sky.h"
#include "tools/assetgen/vehicles.h"

bool generateAssets(const std::string& root) {
    std::error_code error;
    for (const char* folder : {"", "/road3", "/car1", "/car3", "/plinn", "/sky1", "/sky2"}) {
        std::filesystem::create_directories(root + folder, error);
        if (error) {
            std::cout << "Cannot create folder " << root + folder << std::endl;
            return false;
        }
    }
    bool ok = true;
    auto report = [&ok](bool written, const std::string& what) {
        if (!written) {
            std::cout << "Cannot write " << what << std::endl;
            ok = false;
        }
    };
    report(writeCrateTextures(root), root + "/container2*.png");
    report(writeGround(root + "/road3"), root + "/road3");
    report(writeCoupe(root + "/car1"), root + "/car1");
    report(writePickup(root + "/car3"), root + "/car3");
    report(writeFigure(root + "/plinn"), root + "/plinn");
    report(writeSky(root + "/sky1", SkyMood::ClearDay), root + "/sky1");
    report(writeSky(root + "/sky2", SkyMood::Dusk), root + "/sky2");
    return ok;
}
