#include "gfx/image.h"

#include <SOIL/SOIL.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "gfx/image_header.h"

static_assert(IMAGE_RGB == SOIL_LOAD_RGB && IMAGE_RGBA == SOIL_LOAD_RGBA,
              "forced channel counts must match the decoder's");

namespace {

// Compressed images are smaller than their pixels; anything bigger is not one.
constexpr off_t MAX_IMAGE_FILE_BYTES = 4 * MAX_IMAGE_PIXELS;

// Closes the descriptor it holds.
struct FileDescriptor {
    int fd = -1;
    explicit FileDescriptor(int descriptor) : fd(descriptor) {}
    ~FileDescriptor() {
        if (fd >= 0) {
            close(fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
};

// The whole file, if it is a regular file of a size an image can have. Not
// blocking on open keeps a named pipe from stalling the game.
bool readImageFile(const std::string& path, std::vector<unsigned char>& bytes) {
    const FileDescriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (file.fd < 0 || fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 ||
        info.st_size > MAX_IMAGE_FILE_BYTES) {
        return false;
    }
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = read(file.fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;  // an error, or the file shrank under us
        }
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return got == static_cast<std::size_t>(info.st_size);
}

bool saneSize(const ImageHeader& header) {
    return header.format != ImageFormat::Unknown && header.width >= 1 && header.height >= 1 &&
           header.width <= MAX_IMAGE_SIDE && header.height <= MAX_IMAGE_SIDE &&
           static_cast<long long>(header.width) * header.height <= MAX_IMAGE_PIXELS;
}

}  // namespace

Image::Image(const std::string& path, int forcedChannels) {
    std::vector<unsigned char> bytes;
    if (forcedChannels < 1 || forcedChannels > 4 || !readImageFile(path, bytes)) {
        return;
    }
    const ImageHeader header = readImageHeader(bytes);
    if (!saneSize(header)) {
        return;
    }
    int w = 0;
    int h = 0;
    pixels = SOIL_load_image_from_memory(bytes.data(), static_cast<int>(bytes.size()), &w, &h,
                                         nullptr, forcedChannels);
    if (pixels && w == header.width && h == header.height) {
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
