#include "gfx/image.h"

#include <SOIL/SOIL.h>

#include <utility>

static_assert(IMAGE_RGB == SOIL_LOAD_RGB && IMAGE_RGBA == SOIL_LOAD_RGBA,
              "forced channel counts must match the decoder's");

Image::Image(const std::string& path, int forcedChannels) {
    int w = 0;
    int h = 0;
    pixels = SOIL_load_image(path.c_str(), &w, &h, nullptr, forcedChannels);
    if (pixels && w > 0 && h > 0) {
        width = w;
        height = h;
        channels = forcedChannels;
    } else {
        release();
    }
}

Image::~Image() {
    release();
}

Image::Image(Image&& other) noexcept
    : pixels(std::exchange(other.pixels, nullptr)),
      width(std::exchange(other.width, 0)),
      height(std::exchange(other.height, 0)),
      channels(std::exchange(other.channels, 0)) {}

Image& Image::operator=(Image&& other) noexcept {
    if (this != &other) {
        release();
        pixels = std::exchange(other.pixels, nullptr);
        width = std::exchange(other.width, 0);
        height = std::exchange(other.height, 0);
        channels = std::exchange(other.channels, 0);
    }
    return *this;
}

void Image::release() {
    if (pixels) {
        SOIL_free_image_data(pixels);
    }
    pixels = nullptr;
    width = 0;
    height = 0;
    channels = 0;
}
