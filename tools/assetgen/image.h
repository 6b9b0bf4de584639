// Images the generator paints and writes: 8-bit channels, rows from the top
// row down, tightly packed (the layout the game's decoder hands back).
#pragma once

#include <cstdint>
#include <glm/vec3.hpp>
#include <string>
#include <vector>

struct Bitmap {
    int width = 0;
    int height = 0;
    int channels = 3;
    std::vector<std::uint8_t> pixels;
};

Bitmap makeBitmap(int width, int height, int channels);
// Colour components in [0, 1]; clamped and rounded to 8 bits.
void setPixel(Bitmap& image, int x, int y, const glm::vec3& colour);
glm::vec3 getPixel(const Bitmap& image, int x, int y);
// A texture of one colour (small: the game's mipmaps make it constant anyway).
Bitmap solidBitmap(const glm::vec3& colour, int size = 4);

// Both return false when the file cannot be written.
bool writePng(const std::string& path, const Bitmap& image);
// Baseline JPEG: the game's decoder refuses progressive files.
bool writeJpeg(const std::string& path, const Bitmap& image, int quality);
