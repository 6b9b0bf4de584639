// The settings file: created with its defaults on the first start, each bad
// line named while the rest is read and the file kept as the player wrote
// it, unreadable and damaged files, folders that cannot be written, and the
// choice of quality it feeds (with the command line and the renderer).
#include "storage/settings.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/quality_choice.h"
#include "storage/xdg_paths.h"
#include "tests/support/gl_context.h"
#include "tests/support/scoped_variable.h"
#include "tests/support/temporary_folder.h"

namespace {

size_t lineCount(const std::string& text) {
    return std::count(text.begin(), text.end(), '\n');
}

int fsyncFails(int) {
    errno = EIO;
    return -1;
}

int renameFails(const char*, const char*) {
    errno = EIO;
    return -1;
}

// A settings file at `path` loaded with these system calls; what it said
// on the console goes to `console`.
SettingsFile loaded(const std::string& path, std::string& console,
                    const FileOperations& files = {}) {
    SettingsFile settings;
    settings.path = path;
    settings.files = files;
    std::ostringstream out;
    settings.load(out);
    console = out.str();
    return settings;
}

std::vector<std::string> namesStartingWith(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& name : folderNames(folder)) {
        if (name.rfind(prefix, 0) == 0) {
            found.push_back(name);
        }
    }
    return found;
}

// Where the write under test puts its file; the player's file appears
// there while the game is writing its own.
std::string racedPath;

ssize_t writeAfterThePlayer(int fd, const void* data, size_t size) {
    std::ofstream(racedPath) << "quality = high\n";
    return ::write(fd, data, size);
}

}  // namespace

// ---------------------------------------------------------------------------
// The file's text

TEST(Settings, TheDefaultTextReadsBackWithoutAProblem) {
    for (const Quality level : {Quality::Auto, Quality::Low, Quality::Medium, Quality::High}) {
        Settings settings;
        settings.quality = level;
        const std::string text = settingsText(settings);
        const SettingsParse parse = parseSettings(text);
        EXPECT_EQ(parse.settings.quality, level) << text;
        EXPECT_TRUE(parse.problems.empty()) << parse.problems.front();
        EXPECT_EQ(settingsDamage(text), "");
    }
    // Every line a player reads is either a comment, empty or the setting.
    const std::string text = settingsText(Settings{});
    EXPECT_NE(text.find("\nquality = auto\n"), std::string::npos) << text;
    for (const char* level : {"auto", "low", "medium", "high"}) {
        EXPECT_NE(text.find(std::string("#   ") + level), std::string::npos) << level;
    }
}

TEST(Settings, WhatPlayersWriteIsReadTheWayTheyMeantIt) {
    const struct {
        const char* text;
        Quality quality;
    } cases[] = {
        {"quality=low\n", Quality::Low},
        {"  quality   =   medium  \n", Quality::Medium},
        {"\tquality\t=\thigh\t# fastest it is not\n", Quality::High},
        {"quality = low ; a comment\n", Quality::Low},
        {"quality = low\r\n", Quality::Low},                  // written on Windows
        {"\xEF\xBB\xBFquality = medium\n", Quality::Medium},  // with a byte-order mark
        {"quality = high", Quality::High},                    // no newline at the end
        {"# quality = low\n", Quality::Auto},
        {"", Quality::Auto},
        {"quality = low\nquality = medium\n", Quality::Medium},  // the last one counts
    };
    for (const auto& c : cases) {
        const SettingsParse parse = parseSettings(c.text);
        EXPECT_EQ(parse.settings.quality, c.quality) << c.text;
        EXPECT_TRUE(parse.problems.empty()) << c.text << ": " << parse.problems.front();
    }
}

TEST(Settings, EveryBadLineIsNamedAndTheOthersStillCount) {
    const std::string text =
        "# my settings\n"
        "colour = red\n"
        "quality = low\n"
        "quality low\n"
        "[graphics]\n"
        "\n"
        "quality = ultra\n" +
        std::string(200, 'x') + " = 1\n" + "# " + std::string(300, '-') + "\n" + "mute = yes\n";
    const SettingsParse parse = parseSettings(text);
    const std::vector<std::string> expected = {
        "line 2: unknown setting \"colour\", ignored",
        "line 4: not a \"key = value\" line, ignored",
        "line 5: the file has no [sections], ignored",
        "line 7: quality \"ultra\" is not auto, low, medium or high; using auto",
        "line 8: longer than 160 characters, ignored",
        "line 10: unknown setting \"mute\", ignored",
    };
    EXPECT_EQ(parse.problems, expected);
    // The bad quality line came last: the default stands, not line 3's low.
    EXPECT_EQ(parse.settings.quality, Quality::Auto);
    EXPECT_EQ(parseSettings("quality = ultra\nquality = low\n").settings.quality, Quality::Low);
    // Values are exact words: no other spelling is guessed at.
    EXPECT_EQ(parseSettings("quality = LOW\n").problems.size(), 1u);
    EXPECT_EQ(parseSettings("quality = lo\n").problems.size(), 1u);
    EXPECT_EQ(parseSettings("quality =\n").problems.size(), 1u);
}

TEST(Settings, OnlyBytesNoEditorWritesCountAsDamage) {
    EXPECT_EQ(settingsDamage("quality = low\n"), "");
    EXPECT_EQ(settingsDamage("# h\xF6here Qualit\xE4t (Latin-1)\nquality = high\r\n\tx\n"), "");
    EXPECT_EQ(settingsDamage(std::string("quality = low\n\0\0\0", 17)), "a NUL byte on line 2");
    EXPECT_EQ(settingsDamage("# ok\nquality\x1b[0m = low\n"), "a control character on line 2");
    EXPECT_EQ(settingsDamage("\x7f"), "a control character on line 1");
}

// Whatever text a file holds, reading it ends with settings and one named
// line per problem: never a crash, never a problem without its line.
TEST(Settings, AnyTextReadsToSettingsAndNamedProblems) {
    const std::string pieces[] = {"quality",
                                  "=",
                                  " ",
                                  "\t",
                                  "low",
                                  "auto",
                                  "#",
                                  ";",
                                  "[",
                                  "]",
                                  ":",
                                  "\n",
                                  "\r\n",
                                  "x",
                                  "\xEF\xBB\xBF",
                                  "\xff",
                                  std::string(90, 'q')};
    std::mt19937 random(24);  // seeded: the same texts every run
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int count = static_cast<int>(random() % 40);
        for (int i = 0; i < count; ++i) {
            text += pieces[random() % (sizeof pieces / sizeof pieces[0])];
        }
        const SettingsParse parse = parseSettings(text);
        const long lines = std::count(text.begin(), text.end(), '\n') + 1;
        for (const std::string& problem : parse.problems) {
            ASSERT_EQ(problem.rfind("line ", 0), 0u) << problem;
            const long line = std::atol(problem.c_str() + 5);
            ASSERT_GE(line, 1) << text;
            ASSERT_LE(line, lines) << text;
        }
        const Quality q = parse.settings.quality;
        ASSERT_TRUE(q == Quality::Auto || q == Quality::Low || q == Quality::Medium ||
                    q == Quality::High);
    }
}

// ---------------------------------------------------------------------------
// The file on disk

TEST(SettingsFile, TheFirstStartCreatesTheFileWithTheDefaults) {
    TemporaryFolder folder;
    const ScopedVariable config("XDG_CONFIG_HOME", (folder / "config").c_str());
    ASSERT_EQ(settingsPath(), folder.path + "/config/vromdash/settings");
    std::string said;
    const SettingsFile settings = loaded(settingsPath(), said);
    EXPECT_EQ(said, "") << "a first start is not a problem";
    EXPECT_EQ(settings.settings.quality, Quality::Auto);
    EXPECT_EQ(fileBytes(settingsPath()), settingsText(Settings{}));
    // Written through a temporary file that is gone again.
    EXPECT_EQ(folderNames(folder.path + "/config/vromdash"), std::vector<std::string>{"settings"});

    // What the player then writes is what the next start reads.
    writeBytes(settingsPath(), "quality = medium\n");
    EXPECT_EQ(loaded(settingsPath(), said).settings.quality, Quality::Medium);
    EXPECT_EQ(said, "");
    EXPECT_EQ(fileBytes(settingsPath()), "quality = medium\n");
}

TEST(SettingsFile, BadLinesCostALineEachAndTheFileStaysAsThePlayerWroteIt) {
    TemporaryFolder folder;
    const std::string path = folder / "settings";
    const std::string text = "quality = fast\nsound = off\nquality = low\n";
    writeBytes(path, text);
    std::string said;
    const SettingsFile settings = loaded(path, said);
    EXPECT_EQ(said, "vromdash: " + path +
                        ", line 1: quality \"fast\" is not auto, low, medium or high; using "
                        "auto\nvromdash: " +
                        path + ", line 2: unknown setting \"sound\", ignored\n");
    EXPECT_EQ(settings.settings.quality, Quality::Low);
    EXPECT_EQ(fileBytes(path), text);
    EXPECT_EQ(folderNames(folder.path), std::vector<std::string>{"settings"});
}

TEST(SettingsFile, AFileThatCannotBeReadCostsOneLineAndIsLeftAlone) {
    TemporaryFolder folder;
    // A folder where the file should be, and a file far too large to be one.
    const std::string folderInstead = folder / "settings";
    std::filesystem::create_directories(folderInstead + "/inside");
    const std::string huge = folder / "huge";
    writeBytes(huge, std::string(100000, '#'));
    for (const std::string& path : {folderInstead, huge}) {
        std::string said;
        const SettingsFile settings = loaded(path, said);
        EXPECT_EQ(lineCount(said), 1u) << said;
        EXPECT_EQ(said.rfind("vromdash: cannot read the settings in " + path + " (", 0), 0u)
            << said;
        EXPECT_NE(said.find("; using the defaults\n"), std::string::npos) << said;
        EXPECT_EQ(settings.settings.quality, Quality::Auto);
    }
    EXPECT_EQ(folderNames(folderInstead), std::vector<std::string>{"inside"});
    EXPECT_EQ(fileBytes(huge), std::string(100000, '#'));
    EXPECT_EQ(folderNames(folder.path), (std::vector<std::string>{"huge", "settings"}));
}

TEST(SettingsFile, ADamagedFileIsKeptAsideAndANewOneHasTheDefaults) {
    TemporaryFolder folder;
    const std::string path = folder / "settings";
    const std::string damaged("quality = low\n\0\0\0\0\0\0", 20);
    writeBytes(path, damaged);
    std::string said;
    const SettingsFile settings = loaded(path, said);
    EXPECT_EQ(settings.settings.quality, Quality::Auto);
    const std::vector<std::string> aside = namesStartingWith(folder.path, "settings.damaged-");
    ASSERT_EQ(aside.size(), 1u) << said;
    EXPECT_EQ(fileBytes(folder / aside[0]), damaged) << "the player's file, byte for byte";
    EXPECT_EQ(fileBytes(path), settingsText(Settings{}));
    EXPECT_EQ(said, "vromdash: the settings file " + path +
                        " is damaged (a NUL byte on line 2); kept as " + (folder / aside[0]) +
                        "; a new one has the defaults\n");

    // Damaged again: the first copy aside is never overwritten.
    writeBytes(path, damaged + "again");
    loaded(path, said);
    EXPECT_EQ(namesStartingWith(folder.path, "settings.damaged-").size(), 2u) << said;
    EXPECT_EQ(fileBytes(folder / aside[0]), damaged);
}

TEST(SettingsFile, ADamagedFileThatCannotBeMovedStaysWhereItIs) {
    TemporaryFolder folder;
    const std::string path = folder / "settings";
    const std::string damaged("\x01\x02garbage\n", 10);
    writeBytes(path, damaged);
    FileOperations files;
    files.renameNoReplace = renameFails;
    std::string said;
    const SettingsFile settings = loaded(path, said, files);
    EXPECT_EQ(said, "vromdash: the settings file " + path +
                        " is damaged (a control character on line 1); it cannot be moved "
                        "aside, so it stays as it is; using the defaults\n");
    EXPECT_EQ(settings.settings.quality, Quality::Auto);
    EXPECT_EQ(fileBytes(path), damaged);
    EXPECT_EQ(folderNames(folder.path), std::vector<std::string>{"settings"});
}

TEST(SettingsFile, AFolderThatCannotBeWrittenCostsOneLineAndTheGameGoesOn) {
    TemporaryFolder folder;
    // Root writes anywhere: a regular file stands where the folder should.
    writeBytes(folder / "config", "not a folder\n");
    const ScopedVariable config("XDG_CONFIG_HOME", (folder / "config").c_str());
    std::string said;
    const SettingsFile settings = loaded(settingsPath(), said);
    EXPECT_EQ(lineCount(said), 1u) << said;
    EXPECT_EQ(said.rfind("vromdash: cannot write the settings file " + settingsPath() +
                             " (creating the folder ",
                         0),
              0u)
        << said;
    EXPECT_EQ(settings.settings.quality, Quality::Auto);
    EXPECT_EQ(fileBytes(folder / "config"), "not a folder\n");

    // A disk that fails the sync: no file, no temporary file left behind.
    TemporaryFolder other;
    FileOperations files;
    files.fsync = fsyncFails;
    loaded(other / "settings", said, files);
    EXPECT_EQ(said, "vromdash: cannot write the settings file " + (other / "settings") +
                        " (syncing: Input/output error); using the defaults\n");
    EXPECT_TRUE(folderNames(other.path).empty());
}

TEST(SettingsFile, TheDefaultsNeverReplaceAFileThatAppearedMeanwhile) {
    TemporaryFolder folder;
    racedPath = folder / "settings";
    FileOperations files;
    files.write = writeAfterThePlayer;
    std::string said;
    loaded(racedPath, said, files);
    EXPECT_EQ(fileBytes(racedPath), "quality = high\n");
    EXPECT_EQ(lineCount(said), 1u) << said;
    EXPECT_EQ(folderNames(folder.path), std::vector<std::string>{"settings"});
}

TEST(SettingsFile, WithoutAConfigFolderTheDefaultsServeTheRun) {
    const ScopedVariable home("HOME", nullptr);
    const ScopedVariable config("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(settingsPath(), "");
    std::string said;
    const SettingsFile settings = loaded(settingsPath(), said);
    EXPECT_EQ(lineCount(said), 1u);
    EXPECT_EQ(said.rfind("vromdash: no folder for settings", 0), 0u) << said;
    EXPECT_EQ(settings.settings.quality, Quality::Auto);
}

// ---------------------------------------------------------------------------
// The quality a run plays at

TEST(QualityChoice, TheCommandLineWinsOverTheFileAndAutoAsksTheRenderer) {
    int asked = 0;
    auto renderer = [&asked](const std::string& name) {
        return [&asked, name] {
            ++asked;
            return name;
        };
    };
    const std::string llvmpipe = "llvmpipe (LLVM 15.0.6, 256 bits)";
    QualityChoice choice = chooseQuality(Quality::Medium, Quality::Low, renderer(llvmpipe));
    EXPECT_EQ(qualityLine(choice), "quality: medium (command line)");
    choice = chooseQuality(std::nullopt, Quality::High, renderer(llvmpipe));
    EXPECT_EQ(qualityLine(choice), "quality: high (settings file)");
    EXPECT_EQ(asked, 0) << "a chosen preset needs no renderer";

    choice = chooseQuality(std::nullopt, Quality::Auto, renderer(llvmpipe));
    EXPECT_EQ(qualityLine(choice), "quality: low (software renderer)");
    choice = chooseQuality(Quality::Auto, Quality::High, renderer("softpipe"));
    EXPECT_EQ(qualityLine(choice), "quality: low (software renderer)");
    choice = chooseQuality(std::nullopt, Quality::Auto, renderer("Mesa Intel(R) UHD Graphics 620"));
    EXPECT_EQ(qualityLine(choice), "quality: high (hardware renderer)");
    choice = chooseQuality(std::nullopt, Quality::Auto, renderer(""));
    EXPECT_EQ(qualityLine(choice), "quality: high (renderer unknown)");
    EXPECT_EQ(asked, 4);
}

TEST(QualityChoice, SoftwareRasterisersAreToldFromGraphicsCards) {
    for (const char* software : {"llvmpipe (LLVM 15.0.6, 256 bits)", "softpipe",
                                 "Software Rasterizer (swrast)", "LLVMPIPE"}) {
        EXPECT_TRUE(isSoftwareRenderer(software)) << software;
    }
    for (const char* hardware :
         {"NVIDIA GeForce RTX 3060/PCIe/SSE2", "AMD Radeon RX 6600 (navi23, LLVM 15.0.6, DRM 3.49)",
          "Mesa Intel(R) UHD Graphics 620 (KBL GT2)", "virgl", ""}) {
        EXPECT_FALSE(isSoftwareRenderer(hardware)) << hardware;
    }
}

// The test machine renders with llvmpipe: auto picks low here, read from a
// probe context that leaves the current one alone.
TEST(QualityChoice, AutoPicksLowOnThisMachinesSoftwareRenderer) {
    GLFWwindow* current = testGlContext();
    ASSERT_NE(current, nullptr);
    const std::string renderer = probeRenderer();
    EXPECT_NE(renderer.find("llvmpipe"), std::string::npos) << renderer;
    EXPECT_EQ(glfwGetCurrentContext(), current);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(glGetString(GL_RENDERER))), renderer);
    EXPECT_EQ(qualityLine(chooseQuality(std::nullopt, Quality::Auto, probeRenderer)),
              "quality: low (software renderer)");
}
