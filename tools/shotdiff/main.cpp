// Puts two screenshots of the same size side by side (before on the left)
// and prints how far apart they are: the mean absolute difference per
// channel (0 to 255), the share of pixels with any channel off by more than
// 8, and the largest difference. Usage:
//   vromdash-shotdiff BEFORE.png AFTER.png SIDE_BY_SIDE.png
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "gfx/image.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::printf("usage: vromdash-shotdiff BEFORE.png AFTER.png SIDE_BY_SIDE.png\n");
        return 2;
    }
    const Image before(argv[1], IMAGE_RGB);
    const Image after(argv[2], IMAGE_RGB);
    if (!before.loaded() || !after.loaded()) {
        std::printf("cannot read %s\n", before.loaded() ? argv[2] : argv[1]);
        return 2;
    }
    if (before.width != after.width || before.height != after.height) {
        std::printf("sizes differ: %dx%d and %dx%d\n", before.width, before.height, after.width,
                    after.height);
        return 2;
    }

    const size_t w = static_cast<size_t>(before.width);
    const size_t h = static_cast<size_t>(before.height);
    std::vector<unsigned char> sideBySide(w * 2 * h * 3);
    double sum = 0.0;
    long offPixels = 0;
    int largest = 0;
    for (size_t y = 0; y < h; ++y) {
        std::copy_n(before.pixels + y * w * 3, w * 3, &sideBySide[y * w * 6]);
        std::copy_n(after.pixels + y * w * 3, w * 3, &sideBySide[y * w * 6 + w * 3]);
        for (size_t x = 0; x < w; ++x) {
            int worst = 0;
            for (size_t c = 0; c < 3; ++c) {
                const size_t at = (y * w + x) * 3 + c;
                const int difference = std::abs(int(before.pixels[at]) - int(after.pixels[at]));
                sum += difference;
                worst = std::max(worst, difference);
            }
            offPixels += worst > 8;
            largest = std::max(largest, worst);
        }
    }
    if (!stbi_write_png(argv[3], static_cast<int>(w * 2), static_cast<int>(h), 3, sideBySide.data(),
                        static_cast<int>(w * 6))) {
        std::printf("cannot write %s\n", argv[3]);
        return 1;
    }
    std::printf("mean_abs_difference: %.2f levels\n", sum / static_cast<double>(w * h * 3));
    std::printf("pixels_off_by_more_than_8: %.2f %%\n",
                100.0 * static_cast<double>(offPixels) / static_cast<double>(w * h));
    std::printf("largest_difference: %d levels\n", largest);
    return 0;
}
