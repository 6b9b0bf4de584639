// Image decoding for every picture the game reads (model textures, sky faces,
// crate textures, the heightmap). Keeping the decoder behind this one owner
// means it can be swapped in a single place.
#pragma once

#include <string>

// Forced channel counts: colour textures are read as RGB, the heightmap as RGBA.
constexpr int IMAGE_RGB = 3;
constexpr int IMAGE_RGBA = 4;

// What a file may claim before the decoder sees it: each side at most
// MAX_IMAGE_SIDE (eight times a sky face, the largest image the game makes),
// at most MAX_IMAGE_PIXELS in all (64 MiB as RGBA; the decoder's working
// buffers are a few times that). Only PNG and baseline JPEG files go on.
constexpr int MAX_IMAGE_SIDE = 8192;
constexpr long long MAX_IMAGE_PIXELS = 4096LL * 4096LL;

// Decoded pixels, tightly packed, 8 bits per channel, first row = top of the
// image. A failed decode (a missing, unreadable, damaged or oversized file, or
// one of another format) leaves pixels null and every size 0. Owns its pixels
// and frees them when destroyed; move-only.
struct Image {
    unsigned char* pixels = nullptr;
    int width = 0;
    int height = 0;
    int channels = 0;

    Image() = default;
    // Decodes the file at path, converting it to forcedChannels channels.
    Image(const std::string& path, int forcedChannels);
    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    Image(Image&& other) noexcept;
    Image& operator=(Image&& other) noexcept;

    bool loaded() const { return pixels != nullptr; }
    // Frees the pixels now; safe to call more than once.
    void release();
};
