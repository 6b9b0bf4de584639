#include "gfx/image_header.h"

#include <zlib.h>

#include <climits>
#include <cstdint>
#include <cstring>

namespace {

using Bytes = std::vector<unsigned char>;

std::uint32_t bigEndian32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

unsigned bigEndian16(const unsigned char* p) {
    return (unsigned{p[0]} << 8) | unsigned{p[1]};
}

const unsigned char PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
// Length, type and checksum around every chunk's data.
constexpr std::size_t PNG_CHUNK_FRAME = 12;
constexpr std::size_t PNG_IHDR_LENGTH = 13;
// The format's own ceiling for a chunk's length.
constexpr std::uint32_t PNG_MAX_CHUNK = 0x7fffffffu;
// The decoder's own ceiling for a side.
constexpr std::uint32_t PNG_MAX_SIDE = 1u << 24;

ImageHeader sized(ImageFormat format, std::uint32_t width, std::uint32_t height) {
    ImageHeader header;
    if (width > INT_MAX || height > INT_MAX) {
        return header;
    }
    header.format = format;
    header.width = static_cast<int>(width);
    header.height = static_cast<int>(height);
    return header;
}

// Samples per pixel of each PNG colour type the decoder reads (grey, colour,
// palette, grey and alpha, colour and alpha); 0 for the others.
int pngChannels(unsigned colourType) {
    switch (colourType) {
        case 0:
        case 3:
            return 1;
        case 2:
            return 3;
        case 4:
            return 2;
        case 6:
            return 4;
        default:
            return 0;
    }
}

// Inflates a PNG's image data without keeping it, counting the bytes: the
// decoder inflates into a buffer it grows for as long as the data goes on,
// so a few kilobytes can ask it for gigabytes.
class InflatedSize {
public:
    explicit InflatedSize(std::uint64_t limit) : limit(limit), scratch(64 * 1024) {
        ok = inflateInit(&stream) == Z_OK;
        started = ok;
    }
    ~InflatedSize() {
        if (started) {
            inflateEnd(&stream);
        }
    }
    InflatedSize(const InflatedSize&) = delete;
    InflatedSize& operator=(const InflatedSize&) = delete;

    // Feeds one chunk's data; false once the data is bad or too much.
    bool feed(const unsigned char* data, std::size_t length) {
        stream.next_in = const_cast<unsigned char*>(data);
        stream.avail_in = static_cast<uInt>(length);
        while (ok && !ended && stream.avail_in > 0) {
            stream.next_out = scratch.data();
            stream.avail_out = static_cast<uInt>(scratch.size());
            const int result = inflate(&stream, Z_NO_FLUSH);
            total += scratch.size() - stream.avail_out;
            ended = result == Z_STREAM_END;
            ok = (result == Z_OK || ended) && total <= limit;
        }
        return ok;
    }
    bool whole() const { return ok && ended; }

private:
    z_stream stream{};
    std::uint64_t limit;
    std::vector<unsigned char> scratch;
    std::uint64_t total = 0;
    bool ok = false;
    bool started = false;
    bool ended = false;
};

// The signature, an IHDR the decoder reads (8 bits a sample, not
// interlaced), then chunks that each lie wholly inside the bytes, up to
// IEND, with image data that inflates to no more than the rows need. The
// decoder adds chunk lengths in 32 bits and reads them without looking at
// the file's end.
ImageHeader readPng(const Bytes& bytes) {
    const std::size_t size = bytes.size();
    if (size < sizeof PNG_SIGNATURE + PNG_CHUNK_FRAME + PNG_IHDR_LENGTH ||
        std::memcmp(bytes.data(), PNG_SIGNATURE, sizeof PNG_SIGNATURE) != 0) {
        return {};
    }
    const unsigned char* ihdr = bytes.data() + sizeof PNG_SIGNATURE;
    const std::uint32_t width = bigEndian32(ihdr + 8);
    const std::uint32_t height = bigEndian32(ihdr + 12);
    const int channels = pngChannels(ihdr[17]);
    if (bigEndian32(ihdr) != PNG_IHDR_LENGTH || std::memcmp(ihdr + 4, "IHDR", 4) != 0 ||
        width > PNG_MAX_SIDE || height > PNG_MAX_SIDE || ihdr[16] != 8 || channels == 0 ||
        ihdr[18] != 0 || ihdr[19] != 0 || ihdr[20] != 0) {
        return {};
    }
    // Each row: its filter byte, then its samples.
    InflatedSize rows(std::uint64_t{height} * (1 + std::uint64_t{width} * channels));
    std::size_t at = sizeof PNG_SIGNATURE;
    while (size - at >= PNG_CHUNK_FRAME) {
        const std::uint32_t length = bigEndian32(bytes.data() + at);
        const unsigned char* type = bytes.data() + at + 4;
        if (length > PNG_MAX_CHUNK || length > size - at - PNG_CHUNK_FRAME) {
            return {};
        }
        if (at != sizeof PNG_SIGNATURE && std::memcmp(type, "IHDR", 4) == 0) {
            return {};
        }
        if (std::memcmp(type, "IDAT", 4) == 0 && !rows.feed(type + 4, length)) {
            return {};
        }
        if (std::memcmp(type, "IEND", 4) == 0) {
            return rows.whole() ? sized(ImageFormat::Png, width, height) : ImageHeader{};
        }
        at += PNG_CHUNK_FRAME + length;
    }
    return {};  // cut off before IEND
}

// What the JPEG decoder is about to fill, so that nothing it reads later
// refers to a table that is not there.
struct JpegState {
    ImageHeader frame;
    int components = 0;
    unsigned char componentIds[3] = {};
    unsigned char quantTables[3] = {};
    bool quantDefined[4] = {};
    bool dcDefined[4] = {};
    bool acDefined[4] = {};
    // Sequential frames code each component in one scan; the decoder would
    // decode the whole image again for every repeated scan.
    bool componentScanned[3] = {};
    bool scanned = false;
};

// Huffman tables: the decoder keeps 256 values per table and copies as many
// as the sixteen counts add up to.
bool readHuffmanTables(const unsigned char* data, std::size_t length, JpegState& state) {
    constexpr std::size_t TABLE_HEAD = 17;
    while (length > 0) {
        if (length < TABLE_HEAD) {
            return false;
        }
        const unsigned tableClass = data[0] >> 4;
        const unsigned id = data[0] & 15;
        std::size_t values = 0;
        for (int i = 1; i <= 16; ++i) {
            values += data[i];
        }
        if (tableClass > 1 || id > 3 || values > 256 || values > length - TABLE_HEAD) {
            return false;
        }
        (tableClass == 0 ? state.dcDefined : state.acDefined)[id] = true;
        data += TABLE_HEAD + values;
        length -= TABLE_HEAD + values;
    }
    return true;
}

// Quantisation tables of 8-bit entries, the only kind the decoder reads.
bool readQuantTables(const unsigned char* data, std::size_t length, JpegState& state) {
    constexpr std::size_t TABLE_SIZE = 65;
    while (length > 0) {
        if (length < TABLE_SIZE || (data[0] >> 4) != 0 || (data[0] & 15) > 3) {
            return false;
        }
        state.quantDefined[data[0] & 15] = true;
        data += TABLE_SIZE;
        length -= TABLE_SIZE;
    }
    return true;
}

// A baseline or extended sequential frame of 8-bit grey or colour, whose
// sampling factors divide the largest ones (the decoder's upsampling reads
// past its rows otherwise).
bool readFrame(const unsigned char* data, std::size_t length, JpegState& state) {
    if (state.frame.format != ImageFormat::Unknown || length < 6 || data[0] != 8) {
        return false;
    }
    const unsigned height = bigEndian16(data + 1);
    const unsigned width = bigEndian16(data + 3);
    const int components = data[5];
    if (height == 0 || width == 0 || (components != 1 && components != 3) ||
        length != 6 + 3 * static_cast<std::size_t>(components)) {
        return false;
    }
    unsigned horizontal[3] = {};
    unsigned vertical[3] = {};
    unsigned maxHorizontal = 1;
    unsigned maxVertical = 1;
    for (int i = 0; i < components; ++i) {
        const unsigned char* component = data + 6 + 3 * i;
        horizontal[i] = component[1] >> 4;
        vertical[i] = component[1] & 15;
        if (horizontal[i] < 1 || horizontal[i] > 4 || vertical[i] < 1 || vertical[i] > 4 ||
            component[2] > 3) {
            return false;
        }
        state.componentIds[i] = component[0];
        state.quantTables[i] = component[2];
        maxHorizontal = horizontal[i] > maxHorizontal ? horizontal[i] : maxHorizontal;
        maxVertical = vertical[i] > maxVertical ? vertical[i] : maxVertical;
    }
    for (int i = 0; i < components; ++i) {
        if (maxHorizontal % horizontal[i] != 0 || maxVertical % vertical[i] != 0) {
            return false;
        }
    }
    state.components = components;
    state.frame = sized(ImageFormat::Jpeg, width, height);
    return true;
}

// A scan after its frame, naming only the frame's components and tables
// that are already defined.
bool readScan(const unsigned char* data, std::size_t length, JpegState& state) {
    if (state.frame.format == ImageFormat::Unknown || length < 1) {
        return false;
    }
    const int count = data[0];
    if (count < 1 || count > state.components ||
        length != 4 + 2 * static_cast<std::size_t>(count)) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        const unsigned char id = data[1 + 2 * i];
        const unsigned dc = data[2 + 2 * i] >> 4;
        const unsigned ac = data[2 + 2 * i] & 15;
        int which = 0;
        while (which < state.components && state.componentIds[which] != id) {
            ++which;
        }
        if (which == state.components || state.componentScanned[which] || dc > 3 || ac > 3 ||
            !state.dcDefined[dc] || !state.acDefined[ac] ||
            !state.quantDefined[state.quantTables[which]]) {
            return false;
        }
        state.componentScanned[which] = true;
    }
    state.scanned = true;
    return true;
}

// From the start of entropy-coded data to the next marker (stuffed zero
// bytes and restart markers belong to the data); the size if the data runs
// to the end of the bytes.
std::size_t skipEntropyCodedData(const Bytes& bytes, std::size_t at) {
    while (at + 1 < bytes.size()) {
        const unsigned char next = bytes[at + 1];
        if (bytes[at] != 0xff) {
            ++at;
        } else if (next == 0x00 || (next >= 0xd0 && next <= 0xd7)) {
            at += 2;
        } else {
            return at;
        }
    }
    return bytes.size();
}

bool readSegment(unsigned marker, const unsigned char* data, std::size_t length, JpegState& state) {
    switch (marker) {
        case 0xc0:  // baseline
        case 0xc1:  // extended sequential, Huffman-coded
            return readFrame(data, length, state);
        case 0xc4:
            return readHuffmanTables(data, length, state);
        case 0xdb:
            return readQuantTables(data, length, state);
        case 0xdd:  // restart interval
            return length == 2;
        case 0xda:
            return readScan(data, length, state);
        default:
            // Application data and comments are skipped; any other marker
            // (progressive or arithmetic frames among them) the decoder
            // refuses anyway.
            return (marker >= 0xe0 && marker <= 0xef) || marker == 0xfe;
    }
}

// Every marker segment up to the end of the image, each wholly inside the
// bytes. A file cut off inside entropy-coded data is left to the decoder,
// which reads the missing bytes as zeros.
ImageHeader readJpeg(const Bytes& bytes) {
    const std::size_t size = bytes.size();
    if (size < 4 || bytes[0] != 0xff || bytes[1] != 0xd8) {
        return {};
    }
    JpegState state;
    std::size_t at = 2;
    while (at < size) {
        if (bytes[at] != 0xff) {
            return {};
        }
        while (at < size && bytes[at] == 0xff) {
            ++at;  // fill bytes
        }
        if (at == size) {
            return {};
        }
        const unsigned marker = bytes[at++];
        if (marker == 0xd9) {
            break;  // end of image
        }
        if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7)) {
            continue;  // markers without a segment
        }
        if (size - at < 2) {
            return {};
        }
        const std::size_t length = bigEndian16(bytes.data() + at);
        if (length < 2 || length > size - at ||
            !readSegment(marker, bytes.data() + at + 2, length - 2, state)) {
            return {};
        }
        at += length;
        if (marker == 0xda) {
            at = skipEntropyCodedData(bytes, at);
        }
    }
    return state.scanned ? state.frame : ImageHeader{};
}

}  // namespace

ImageHeader readImageHeader(const std::vector<unsigned char>& bytes) {
    if (bytes.size() >= 2 && bytes[0] == 0xff && bytes[1] == 0xd8) {
        return readJpeg(bytes);
    }
    return readPng(bytes);
}
