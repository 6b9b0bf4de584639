// Reads what an image file says about itself before any decoder sees it.
// The decoder trusts the sizes and table counts a header claims and guesses
// formats from a few bytes, so a damaged or hostile file can make it write
// through failed allocations or past its own tables. Only the formats the
// game's assets use (PNG, JPEG) pass, and only when their structure is whole
// enough for the decoder to read safely.
#pragma once

#include <cstddef>
#include <vector>

enum class ImageFormat { Unknown, Png, Jpeg };

struct ImageHeader {
    ImageFormat format = ImageFormat::Unknown;
    int width = 0;
    int height = 0;
};

// The format and size the bytes claim, after checking every chunk (PNG) or
// marker segment (JPEG) lies inside the bytes and every table the decoder
// will fill fits it. Unknown, with sizes 0, for anything else; the sizes are
// not yet checked against any limit.
ImageHeader readImageHeader(const std::vector<unsigned char>& bytes);
