// Images are checked before the decoder sees them: every file of the
// checked-in corpus of bad images (crafted headers that claim huge sizes in
// every format the decoder knows, cut-off run-length data, garbage, files the
// fuzzer found) fails cleanly, in bounded time and memory; what is not a
// regular file fails at once; and the game's own images decode exactly as
// the decoder alone decodes them.
#include "gfx/image.h"

#include <SOIL/SOIL.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "tests/support/gl_context.h"

namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// How a decode in a child process ended.
struct ChildDecode {
    bool exited = false;
    int exitCode = -1;
    int signal = 0;
    bool overMemory = false;
    long peakKiB = 0;
};

// Exit codes of the child (the sanitizers exit with 1 after a report).
constexpr int DECODE_FAILED = 0;
constexpr int DECODE_LOADED = 3;
constexpr int DECODE_LEAKED = 4;

// Generous bounds no sane decode comes near on a busy machine: CPU time
// (not wall time) for a decoder that loops, wall time only for one that
// blocks, resident memory for one that fills what a header claims.
constexpr rlim_t CPU_SECONDS = 20;
constexpr unsigned WALL_SECONDS = 240;
constexpr long PEAK_KIB = 512l << 10;

[[noreturn]] void decodeAndExit(const std::string& path, int channels) {
    const rlimit cpu{CPU_SECONDS, CPU_SECONDS};
    setrlimit(RLIMIT_CPU, &cpu);
    alarm(WALL_SECONDS);
    bool loaded = false;
    {
        const Image image(path, channels);
        loaded = image.loaded() || image.pixels || image.width || image.height || image.channels;
    }
#if defined(__SANITIZE_ADDRESS__)
    if (__lsan_do_recoverable_leak_check() != 0) {
        _exit(DECODE_LEAKED);
    }
#endif
    _exit(loaded ? DECODE_LOADED : DECODE_FAILED);
}

long residentKiB(pid_t pid) {
    std::ifstream statm("/proc/" + std::to_string(pid) + "/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Decodes the file in a child process, so that a crash, a hang or a huge
// allocation shows as how the child ended rather than taking the test (or
// the machine's memory) down. The child is stopped once it holds more than
// the bound.
ChildDecode decodeInChild(const std::string& path, int channels) {
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        decodeAndExit(path, channels);
    }
    ChildDecode result;
    if (pid < 0) {
        return result;
    }
    int status = 0;
    rusage usage{};
    pid_t ended = 0;
    while ((ended = wait4(pid, &status, WNOHANG, &usage)) == 0) {
        if (residentKiB(pid) > PEAK_KIB) {
            result.overMemory = true;
            kill(pid, SIGKILL);
        }
        usleep(10 * 1000);
    }
    if (ended != pid) {
        return result;
    }
    result.exited = WIFEXITED(status);
    result.exitCode = result.exited ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    result.peakKiB = usage.ru_maxrss;
    return result;
}

// A clean failure: the child ended by itself, with nothing decoded, nothing
// leaked and no sanitizer report, inside the memory bound.
void expectCleanFailure(const std::string& path) {
    for (int channels : {IMAGE_RGB, IMAGE_RGBA}) {
        SCOPED_TRACE(path + " as " + std::to_string(channels) + " channels");
        const ChildDecode child = decodeInChild(path, channels);
        EXPECT_FALSE(child.overMemory) << "held more than " << PEAK_KIB << " KiB";
        EXPECT_TRUE(child.exited) << "ended by signal " << child.signal << " ("
                                  << strsignal(child.signal) << ")";
        EXPECT_EQ(child.exitCode, DECODE_FAILED)
            << (child.exitCode == DECODE_LOADED   ? "decoded"
                : child.exitCode == DECODE_LEAKED ? "leaked"
                                                  : "a sanitizer's report above");
        EXPECT_LT(child.peakKiB, PEAK_KIB);
    }
}

std::vector<unsigned char> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::vector<unsigned char> pattern(int width, int height, int channels) {
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * channels);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<unsigned char>(i * 7 + i / 13);
    }
    return pixels;
}

// Offsets of the claimed width in the files stb_image_write makes.
constexpr std::size_t PNG_WIDTH_AT = 16;

// The JPEG frame header's width, big-endian, after "FF C0 length precision
// height".
std::size_t jpegWidthAt(const std::vector<unsigned char>& bytes) {
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
        if (bytes[i] == 0xff && bytes[i + 1] == 0xc0) {
            return i + 7;
        }
    }
    return 0;
}

void putBigEndian(std::vector<unsigned char>& bytes, std::size_t at, unsigned value, int size) {
    for (int i = 0; i < size; ++i) {
        bytes[at + i] = static_cast<unsigned char>(value >> (8 * (size - 1 - i)));
    }
}

// A zlib stream of `mebibytes` MiB of zeros, about a thousandth of that in
// size: every full flush of the same zeros compresses to the same bytes.
std::vector<unsigned char> zerosDeflated(int mebibytes) {
    z_stream stream{};
    deflateInit(&stream, Z_BEST_COMPRESSION);
    std::vector<unsigned char> zeros(1 << 20, 0);
    auto run = [&](int flush, std::size_t input) {
        std::vector<unsigned char> out(deflateBound(&stream, zeros.size()) + 64);
        stream.next_in = zeros.data();
        stream.avail_in = static_cast<uInt>(input);
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        deflate(&stream, flush);
        out.resize(out.size() - stream.avail_out);
        return out;
    };
    std::vector<unsigned char> data = run(Z_FULL_FLUSH, zeros.size());
    const std::vector<unsigned char> block = run(Z_FULL_FLUSH, zeros.size());
    for (int i = 2; i < mebibytes; ++i) {
        data.insert(data.end(), block.begin(), block.end());
    }
    const std::vector<unsigned char> end = run(Z_FINISH, 0);
    data.insert(data.end(), end.begin(), end.end());
    deflateEnd(&stream);
    return data;
}

void putChunk(std::vector<unsigned char>& png, const char* type,
              const std::vector<unsigned char>& data) {
    const std::size_t at = png.size();
    png.resize(at + 4);
    putBigEndian(png, at, static_cast<unsigned>(data.size()), 4);
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    const uLong crc = crc32(crc32(0, reinterpret_cast<const Bytef*>(type), 4), data.data(),
                            static_cast<uInt>(data.size()));
    png.resize(png.size() + 4);
    putBigEndian(png, png.size() - 4, static_cast<unsigned>(crc), 4);
}

}  // namespace

TEST(Image, EveryFileOfTheBadImageCorpusFailsCleanly) {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(sourcePath("tests/corpus/images"))) {
        files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    // Crafted headers of every style the decoder knows, and the fuzzer's finds.
    ASSERT_GE(files.size(), 30u);
    for (const char* style : {".tga", ".psd", ".hdr", ".bmp", ".dds", ".png", ".jpg"}) {
        EXPECT_TRUE(std::any_of(files.begin(), files.end(), [&](const std::string& f) {
            return fs::path(f).extension() == style;
        })) << style;
    }
    for (const std::string& file : files) {
        expectCleanFailure(file);
    }
}

TEST(Image, WhatIsNotARegularFileFailsAtOnce) {
    const std::string dir = scratchDirectory("image-not-a-file");
    // A directory opens like a file, but no read of it succeeds.
    fs::create_directory(dir + "/folder.png");
    expectCleanFailure(dir + "/folder.png");
    // A named pipe with no writer would block a plain open for ever.
    ASSERT_EQ(mkfifo((dir + "/pipe.png").c_str(), 0600), 0);
    expectCleanFailure(dir + "/pipe.png");
    // A path through a regular file, and one that is not there.
    writeBytes(dir + "/file", {1, 2, 3});
    expectCleanFailure(dir + "/file/image.png");
    expectCleanFailure(dir + "/missing.png");
    expectCleanFailure("");
}

TEST(Image, TheGameImagesDecodeExactlyAsTheDecoderAloneDoes) {
    int checked = 0;
    for (const auto& entry : fs::recursive_directory_iterator(sourcePath("Vrom2/model"))) {
        const std::string extension = entry.path().extension().string();
        if (extension != ".png" && extension != ".jpg") {
            continue;
        }
        const std::string path = entry.path().string();
        for (int channels : {IMAGE_RGB, IMAGE_RGBA}) {
            SCOPED_TRACE(path + " as " + std::to_string(channels) + " channels");
            int width = 0;
            int height = 0;
            unsigned char* direct =
                SOIL_load_image(path.c_str(), &width, &height, nullptr, channels);
            ASSERT_NE(direct, nullptr);
            const Image image(path, channels);
            ASSERT_TRUE(image.loaded());
            EXPECT_EQ(image.width, width);
            EXPECT_EQ(image.height, height);
            EXPECT_EQ(image.channels, channels);
            const std::size_t size = static_cast<std::size_t>(width) * height * channels;
            EXPECT_EQ(std::memcmp(image.pixels, direct, size), 0);
            SOIL_free_image_data(direct);
        }
        ++checked;
    }
    // Crates, cars, figure, road, heightmap and both skies.
    EXPECT_GE(checked, 30);
}

TEST(Image, SidesUpToTheLimitDecodeAndOneMoreIsRefusedUndecoded) {
    const std::string dir = scratchDirectory("image-limits");
    const std::vector<unsigned char> row = pattern(MAX_IMAGE_SIDE, 1, 3);
    ASSERT_TRUE(stbi_write_png((dir + "/wide.png").c_str(), MAX_IMAGE_SIDE, 1, 3, row.data(),
                               MAX_IMAGE_SIDE * 3));
    const std::vector<unsigned char> block = pattern(MAX_IMAGE_SIDE, 8, 3);
    ASSERT_TRUE(
        stbi_write_jpg((dir + "/wide.jpg").c_str(), MAX_IMAGE_SIDE, 8, 3, block.data(), 90));

    const Image png(dir + "/wide.png", IMAGE_RGB);
    ASSERT_TRUE(png.loaded());
    EXPECT_EQ(png.width, MAX_IMAGE_SIDE);
    EXPECT_EQ(std::memcmp(png.pixels, row.data(), row.size()), 0);
    const Image jpeg(dir + "/wide.jpg", IMAGE_RGBA);
    ASSERT_TRUE(jpeg.loaded());
    EXPECT_EQ(jpeg.width, MAX_IMAGE_SIDE);
    EXPECT_EQ(jpeg.height, 8);

    // The same files claiming one column more: refused, whatever follows.
    std::vector<unsigned char> bytes = fileBytes(dir + "/wide.png");
    putBigEndian(bytes, PNG_WIDTH_AT, MAX_IMAGE_SIDE + 1, 4);
    writeBytes(dir + "/wider.png", bytes);
    expectCleanFailure(dir + "/wider.png");
    bytes = fileBytes(dir + "/wide.jpg");
    const std::size_t widthAt = jpegWidthAt(bytes);
    ASSERT_NE(widthAt, 0u);
    putBigEndian(bytes, widthAt, MAX_IMAGE_SIDE + 1, 2);
    writeBytes(dir + "/wider.jpg", bytes);
    expectCleanFailure(dir + "/wider.jpg");

    // Sides within the limit that multiply past the pixel bound.
    bytes = fileBytes(dir + "/wide.png");
    putBigEndian(bytes, PNG_WIDTH_AT + 4, MAX_IMAGE_PIXELS / MAX_IMAGE_SIDE + 1, 4);
    writeBytes(dir + "/tall.png", bytes);
    expectCleanFailure(dir + "/tall.png");
}

TEST(Image, AGoodImageCutShortOrCutOffAnywhereInItsHeaderFailsCleanly) {
    const std::string dir = scratchDirectory("image-cut");
    const std::vector<unsigned char> pixels = pattern(64, 48, 3);
    ASSERT_TRUE(stbi_write_png((dir + "/good.png").c_str(), 64, 48, 3, pixels.data(), 64 * 3));
    ASSERT_TRUE(stbi_write_jpg((dir + "/good.jpg").c_str(), 64, 48, 3, pixels.data(), 90));
    for (const char* name : {"good.png", "good.jpg"}) {
        const std::vector<unsigned char> whole = fileBytes(dir + "/" + name);
        ASSERT_TRUE(Image(dir + "/" + name, IMAGE_RGB).loaded());
        // Every cut inside the headers and tables, then a few in the data,
        // decoded here: a crash or a hang fails the test as it is. A JPEG
        // cut inside its coded data may still decode (the decoder reads
        // missing data as zeros); a PNG cut anywhere does not.
        const bool png = fs::path(name).extension() == ".png";
        const std::string path = dir + "/cut-" + name;
        for (std::size_t cut = 0; cut < whole.size(); cut += cut < 700 ? 1 : 97) {
            writeBytes(path, std::vector<unsigned char>(whole.begin(), whole.begin() + cut));
            const Image image(path, IMAGE_RGB);
            if (png) {
                EXPECT_FALSE(image.loaded()) << name << " cut at " << cut;
            } else if (image.loaded()) {
                EXPECT_EQ(image.width, 64) << name << " cut at " << cut;
                EXPECT_EQ(image.height, 48) << name << " cut at " << cut;
            }
        }
    }
}

// A megabyte of image data that inflates to a gibibyte for a 64 x 64 image:
// refused after inflating no more than the rows need.
TEST(Image, ImageDataThatInflatesPastItsRowsIsRefusedWithoutInflatingIt) {
    const std::string dir = scratchDirectory("image-inflate");
    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<unsigned char> header(13, 0);
    putBigEndian(header, 0, 64, 4);
    putBigEndian(header, 4, 64, 4);
    header[8] = 8;  // bits per sample
    header[9] = 2;  // colour
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", zerosDeflated(1024));
    putChunk(png, "IEND", {});
    ASSERT_LT(png.size(), 2u << 20);
    writeBytes(dir + "/bomb.png", png);
    expectCleanFailure(dir + "/bomb.png");
}
