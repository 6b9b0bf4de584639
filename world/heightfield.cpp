#include "world/heightfield.h"

#include <iostream>

#include "gfx/image.h"

namespace {

const PhysicsMaterial GROUND_MATERIAL{0.3f, 0.3f, 0.3f};
// Sample counts are 16-bit; a field needs at least two samples each way.
constexpr int MIN_SAMPLES = 2;
constexpr int MAX_SAMPLES = 65535;

}  // namespace

bool readHeightSamples(const std::string& imagePath, HeightfieldDesc& desc) {
    const Image image(imagePath, IMAGE_RGBA);
    if (!image.loaded()) {
        std::cout << "Heightmap " << imagePath << " could not be read; the level has no ground"
                  << std::endl;
        return false;
    }
    const int width = image.width;
    const int height = image.height;
    if (width < MIN_SAMPLES || height < MIN_SAMPLES || width > MAX_SAMPLES ||
        height > MAX_SAMPLES) {
        std::cout << "Heightmap " << imagePath << " is " << width << " x " << height
                  << " pixels; it needs 2 to 65535 each way; the level has no ground" << std::endl;
        return false;
    }
    // Image rows run along X, columns along Z; only red counts.
    desc.rows = static_cast<uint16_t>(height);
    desc.columns = static_cast<uint16_t>(width);
    desc.heights.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (std::size_t i = 0; i < desc.heights.size(); ++i) {
        desc.heights[i] = static_cast<int16_t>(image.pixels[i * 4]);
    }
    return true;
}

Heightfield::Heightfield(float rowScale, float columnScale, float heightScale, PhysicsScene* scene,
                         const std::string& imagePath) {
    HeightfieldDesc desc;
    if (!readHeightSamples(imagePath, desc)) {
        return;
    }
    // The grid's centre half a cell on the negative side of the origin; the
    // level moves the actor to its place afterwards.
    Pose start;
    start.p = vec3(-0.5f * desc.rows * rowScale, 0.0f, -0.5f * desc.columns * columnScale);
    actor =
        scene->createHeightfield(start, desc, rowScale, columnScale, heightScale, GROUND_MATERIAL);
    if (actor) {
        actor->kind = BodyKind::Road;
    }
}
