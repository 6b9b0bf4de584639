// Broken, missing and odd assets: the game reports what it must and goes on
// drawing frames; nothing crashes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "app/main_loop.h"
#include "tests/support/gl_context.h"
#include "world/world.h"

namespace fs = std::filesystem;

namespace {

// Lines the game may print about damaged assets; anything else is a fault.
bool expectedLine(const std::string& line) {
    static const std::regex allowed(
        "^(PVD Initialized|Failed to connect to Visual Debugger|ERROR::ASSIMP:: .*|"
        "ERROR::SHADER::.*|Heightmap .* could not be read; the level has no ground|"
        "Heightmap .* is \\d+ x \\d+ pixels; it needs 2 to 65535 each way; the level has "
        "no ground|)$");
    return std::regex_match(line, allowed);
}

// Compile and link logs follow their ERROR::SHADER line; they are the
// driver's words, so only the lines before the first shader error count.
std::vector<std::string> unexpectedLines(const std::string& output) {
    std::vector<std::string> unexpected;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("ERROR::SHADER::", 0) == 0) {
            break;
        }
        if (!expectedLine(line)) {
            unexpected.push_back(line);
        }
    }
    return unexpected;
}

bool allFinite(const vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// A copy of the game's assets in a scratch folder, made the working directory
// while the object lives (every path the game opens is relative to it).
class DamagedAssets {
public:
    explicit DamagedAssets(const std::string& name) {
        root = scratchDirectory("robustness/" + name);
        fs::copy(sourcePath("Vrom2"), fs::path(root) / "Vrom2", fs::copy_options::recursive);
        previous = fs::current_path();
        fs::current_path(root);
    }
    ~DamagedAssets() { fs::current_path(previous); }

    fs::path file(const std::string& relative) const { return fs::path(root) / relative; }
    void remove(const std::string& relative) const { fs::remove_all(file(relative)); }
    void write(const std::string& relative, const std::string& bytes) const {
        std::ofstream(file(relative), std::ios::binary | std::ios::trunc) << bytes;
    }
    void truncate(const std::string& relative) const {
        const auto size = fs::file_size(file(relative));
        fs::resize_file(file(relative), size / 3);
    }

    std::string root;
    fs::path previous;
};

// Builds the programs and the world from the working directory, plays some
// frames (with level changes) and returns what was printed.
std::string playSomeFrames(int frames = 40) {
    StdoutCapture capture;
    {
        GamePrograms programs;
        auto owned = std::make_unique<World>();
        world = owned.get();
        float now = static_cast<float>(glfwGetTime());
        lastFrame = now;
        for (int frame = 0; frame < frames; ++frame) {
            if (frame == frames / 2) {
                world->loadLevel(2);
            }
            now += 1.0f / 30.0f;
            runFrame(testGlContext(), programs.ids(), now);
            EXPECT_TRUE(allFinite(chassisPosition()));
        }
        world = nullptr;
    }
    return capture.text();
}

// A PNG signature and a header that claims a huge image, then noise.
const char GARBAGE_HEADER[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xff\xff\xff";
const std::string GARBAGE =
    std::string(GARBAGE_HEADER, sizeof(GARBAGE_HEADER) - 1) + std::string(300, '\xa5');

}  // namespace

TEST(Robustness, EveryAssetMissingInTurn) {
    ASSERT_NE(testGlContext(), nullptr);
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(sourcePath("Vrom2"))) {
        if (entry.is_regular_file()) {
            files.push_back(fs::relative(entry.path(), sourcePath("")).string());
        }
    }
    ASSERT_GT(files.size(), 40u);
    for (const std::string& missing : files) {
        SCOPED_TRACE(missing);
        DamagedAssets assets("missing");
        assets.remove(missing);
        const std::string output = playSomeFrames(2);
        EXPECT_TRUE(unexpectedLines(output).empty()) << output;
    }
}

TEST(Robustness, NoAssetFolderAtAll) {
    ASSERT_NE(testGlContext(), nullptr);
    DamagedAssets assets("none");
    assets.remove("Vrom2");
    const std::string output = playSomeFrames();
    EXPECT_NE(output.find("ERROR::SHADER::FILE_NOT_SUCCESFULLY_READ"), std::string::npos);
    EXPECT_NE(output.find("ERROR::ASSIMP:: "), std::string::npos);
    EXPECT_TRUE(unexpectedLines(output).empty()) << output;
}

TEST(Robustness, TruncatedAndGarbageFiles) {
    ASSERT_NE(testGlContext(), nullptr);
    const std::vector<std::string> victims = {
        "Vrom2/model/container2.png", "Vrom2/model/road3/heightmap.png",
        "Vrom2/model/sky1/right.jpg", "Vrom2/model/road3/road3.obj",
        "Vrom2/model/car1/coupe.mtl", "Vrom2/model/plinn/body.obj",
        "Vrom2/model/car3/car3.obj",  "Vrom2/model/road3/road3.mtl"};
    for (const std::string& victim : victims) {
        SCOPED_TRACE(victim);
        {
            DamagedAssets assets("truncated");
            assets.truncate(victim);
            const std::string output = playSomeFrames(2);
            EXPECT_TRUE(unexpectedLines(output).empty()) << output;
        }
        {
            DamagedAssets assets("garbage");
            assets.write(victim, GARBAGE);
            const std::string output = playSomeFrames(2);
            EXPECT_TRUE(unexpectedLines(output).empty()) << output;
        }
    }
}

TEST(Robustness, AShaderOfBinaryJunkIsReportedAndTheGameGoesOn) {
    ASSERT_NE(testGlContext(), nullptr);
    DamagedAssets assets("junk-shader");
    assets.write("Vrom2/shader/shader.frag", GARBAGE);
    const std::string output = playSomeFrames();
    EXPECT_NE(output.find("ERROR::SHADER::FRAGMENT::COMPILATION_FAILED"), std::string::npos)
        << output;
    EXPECT_NE(output.find("ERROR::SHADER::PROGRAM::LINKING_FAILED"), std::string::npos);
}

TEST(Robustness, AShaderThatOpensButCannotBeReadIsReportedAsUnread) {
    ASSERT_NE(testGlContext(), nullptr);
    DamagedAssets assets("directory-shader");
    // A directory opens like a file but every read of it fails.
    assets.remove("Vrom2/shader/sky.frag");
    fs::create_directory(assets.file("Vrom2/shader/sky.frag"));
    const std::string output = playSomeFrames(2);
    EXPECT_NE(output.find("ERROR::SHADER::FILE_NOT_SUCCESFULLY_READ\n"), std::string::npos)
        << output;
    EXPECT_TRUE(unexpectedLines(output).empty()) << output;
}

TEST(Robustness, HeightmapsOfUnusableSizesAreRefusedByName) {
    ASSERT_NE(testGlContext(), nullptr);
    // Too small for a field: refused with its size. Wider than any image may
    // be: not decoded at all.
    const struct {
        int width, height;
        bool decoded;
    } sizes[] = {{1, 1, true}, {1, 300, true}, {65536, 2, false}, {2, 65536, false}};
    for (const auto& size : sizes) {
        DamagedAssets assets("heightmap-size");
        // A black grey-scale PNG of that size: small on disk.
        const std::string path = assets.file("Vrom2/model/road3/heightmap.png").string();
        const std::vector<unsigned char> pixels(
            static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height), 0);
        ASSERT_NE(
            stbi_write_png(path.c_str(), size.width, size.height, 1, pixels.data(), size.width), 0);
        const std::string output = playSomeFrames(2);
        SCOPED_TRACE(output);
        const std::string named = size.decoded ? "is " + std::to_string(size.width) + " x " +
                                                     std::to_string(size.height) + " pixels"
                                               : "could not be read";
        EXPECT_NE(output.find("Heightmap Vrom2/model/road3/heightmap.png " + named),
                  std::string::npos);
        EXPECT_TRUE(unexpectedLines(output).empty());
    }
}

TEST(Robustness, SkyFacesOfTheWrongSizeStillDraw) {
    ASSERT_NE(testGlContext(), nullptr);
    DamagedAssets assets("sky-size");
    const std::string path = assets.file("Vrom2/model/sky1/top.jpg").string();
    const std::vector<unsigned char> pixels(300 * 200 * 3, 180);
    ASSERT_NE(stbi_write_jpg(path.c_str(), 300, 200, 3, pixels.data(), 90), 0);
    const std::string output = playSomeFrames();
    EXPECT_TRUE(unexpectedLines(output).empty()) << output;
}

TEST(Robustness, ALongFrameIsCaughtUpOneStepAtATime) {
    ASSERT_NE(testGlContext(), nullptr);
    GamePrograms programs;
    auto owned = std::make_unique<World>();
    world = owned.get();
    physicsAccumulator = 0.0;
    const float now = static_cast<float>(glfwGetTime());
    lastFrame = now;
    runFrame(testGlContext(), programs.ids(), now + 1.0f);  // a frame that took a second
    for (int frame = 0; frame < 80; ++frame) {
        runFrame(testGlContext(), programs.ids(), now + 1.0f + 0.001f * (frame + 1));
        ASSERT_TRUE(allFinite(chassisPosition()));
    }
    EXPECT_LT(physicsAccumulator, 1.0 / 60.0) << "the surplus is used up";
    world = nullptr;
}
