// libFuzzer target: any bytes as an image file, decoded the way every colour
// texture and the heightmap are.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "gfx/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/vromdash-fuzz-image-" + std::to_string(getpid());
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return 0;
    }
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    for (int channels : {IMAGE_RGB, IMAGE_RGBA}) {
        const Image image(path, channels);
        if (image.loaded()) {
            // Touch every byte the decoder claims to have produced.
            unsigned sum = 0;
            const size_t count = static_cast<size_t>(image.width) * image.height * channels;
            for (size_t i = 0; i < count; ++i) {
                sum += image.pixels[i];
            }
            if (sum == 0xFFFFFFFFu) {
                std::puts("");
            }
        }
    }
    return 0;
}
