// The real game binary, driven through its console and X key events.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "storage/settings.h"
#include "tests/support/game_process.h"
#include "tests/support/gl_context.h"

namespace {

const std::string GREETING = "Hallo Vrom\nFullscreen? y/N: ";

std::string windowSize(const std::string& window) {
    return commandOutput("xdotool getwindowgeometry " + window + " | sed -n 's/.*Geometry: //p'");
}

}  // namespace

TEST(Game, AnswersNoOpensAWindowAndEndsOnEscape) {
    GameProcess game("n\n");
    const std::string window = game.findWindow();
    ASSERT_FALSE(window.empty()) << game.report();
    EXPECT_EQ(windowSize(window), "1024x768\n");
    EXPECT_EQ(game.quitWithEscape(window), 0) << game.report();
    EXPECT_EQ(game.output().rfind(GREETING, 0), 0u) << game.output();
}

TEST(Game, UpperCaseYStillMeansWindowed) {
    GameProcess game("Y\n");
    const std::string window = game.findWindow();
    ASSERT_FALSE(window.empty()) << game.report();
    EXPECT_EQ(windowSize(window), "1024x768\n");
    EXPECT_EQ(game.quitWithEscape(window), 0) << game.report();
}

TEST(Game, ClosedStandardInputMeansWindowed) {
    GameProcess game("");
    const std::string window = game.findWindow();
    ASSERT_FALSE(window.empty()) << game.report();
    EXPECT_EQ(windowSize(window), "1024x768\n");
    EXPECT_EQ(game.quitWithEscape(window), 0) << game.report();
}

TEST(Game, WithoutADisplayItSaysSoAndExitsWithOne) {
    GameProcess game("n\n", false);
    EXPECT_EQ(game.waitForExit(120.0), 1) << game.report();
    const std::string output = game.output();
    ASSERT_EQ(output.rfind(GREETING, 0), 0u) << output;
    const std::string rest = output.substr(GREETING.size());
    EXPECT_NE(rest.find("GLFW"), std::string::npos) << rest;
    // GLFW's own reason follows, so a CI log says why.
    EXPECT_NE(rest.find(": X11: The DISPLAY environment variable is missing"), std::string::npos)
        << rest;
    EXPECT_EQ(rest.find('\n'), rest.size() - 1) << "one line: " << rest;
}

// The command line through the real binary: answers without a window (no
// display is set, so opening one would fail with status 1).
TEST(Game, HelpVersionAndABadOptionAnswerWithoutAWindow) {
    auto run = [](std::vector<std::string> arguments) {
        GameStart start;
        start.withDisplay = false;
        start.arguments = std::move(arguments);
        auto game = std::make_unique<GameProcess>(start);
        game->waitForExit(60.0);
        return game;
    };
    const auto help = run({"--help"});
    EXPECT_EQ(help->exitStatus, 0) << help->report();
    EXPECT_EQ(
        help->output().rfind(
            "Usage: vromdash [--windowed | --fullscreen] [--quality LEVEL] [--record FILE]\n", 0),
        0u)
        << help->output();

    const auto version = run({"--version"});
    EXPECT_EQ(version->exitStatus, 0) << version->report();
    EXPECT_EQ(version->output(), std::string("vromdash ") + VROMDASH_VERSION + "\n");

    const auto bad = run({"--windowed", "--warp"});
    EXPECT_EQ(bad->exitStatus, 2) << bad->report();
    EXPECT_EQ(bad->output(), "vromdash: unknown option '--warp'\n" + help->output());

    const auto badQuality = run({"--win", "--quality=best"});
    EXPECT_EQ(badQuality->exitStatus, 2) << badQuality->report();
    EXPECT_EQ(badQuality->output(),
              "vromdash: --quality takes auto, low, medium or high, not 'best'\n" + help->output());
}

// The quality preset: on this machine's software renderer auto means low,
// and the first start leaves a settings file that says auto; the file's
// choice holds next time, and the command line's over it for one run. Each
// start says once which preset it plays at and why.
TEST(Game, PlaysAtTheQualityTheRendererTheFileOrTheCommandLineChose) {
    const std::string config = scratchDirectory("game-quality-config");
    const std::string settings = config + "/vromdash/settings";
    auto play = [&config](std::vector<std::string> arguments) {
        GameStart start;
        start.arguments = std::move(arguments);
        start.configHome = config;
        GameProcess game(start);
        const std::string window = game.findWindow();
        EXPECT_FALSE(window.empty()) << game.report();
        EXPECT_EQ(game.quitWithEscape(window), 0) << game.report();
        return game.output();
    };
    auto qualityLines = [](const std::string& output) {
        std::vector<std::string> lines;
        std::istringstream in(output);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("quality", 0) == 0) {
                lines.push_back(line);
            }
        }
        return lines;
    };
    const std::string first = play({"--windowed"});
    EXPECT_EQ(first.rfind("Hallo Vrom\nquality: low (software renderer)\n", 0), 0u) << first;
    EXPECT_EQ(qualityLines(first).size(), 1u) << first;
    EXPECT_NE(commandOutput("grep -x 'quality = auto' '" + settings + "'"), "");

    commandOutput("sed -i 's/^quality = auto$/quality = medium/' '" + settings + "'");
    EXPECT_EQ(qualityLines(play({"--windowed"})),
              std::vector<std::string>{"quality: medium (settings file)"});
    EXPECT_EQ(qualityLines(play({"--windowed", "--quality", "high"})),
              std::vector<std::string>{"quality: high (command line)"});
    // The command line's choice lasts the run: the file still says medium.
    EXPECT_NE(commandOutput("grep -x 'quality = medium' '" + settings + "'"), "");

    // A bad value in the file: one line naming it, and auto it is.
    commandOutput("sed -i 's/^quality = medium$/quality = turbo/' '" + settings + "'");
    const std::string bad = play({"--windowed"});
    const std::string defaults = settingsText(Settings{});
    const std::string line = std::to_string(std::count(defaults.begin(), defaults.end(), '\n'));
    EXPECT_NE(bad.find("vromdash: " + settings + ", line " + line +
                       ": quality \"turbo\" is not auto, low, medium or high; using "
                       "auto\n"),
              std::string::npos)
        << bad;
    EXPECT_EQ(qualityLines(bad), std::vector<std::string>{"quality: low (software renderer)"});
}

// An answer on the command line: the greeting, no question, and standard
// input is left alone.
TEST(Game, ScreenOptionsAnswerTheQuestionWithoutAskingIt) {
    GameStart windowed;
    windowed.answer = "y\n";  // would mean full screen if it were read
    windowed.arguments = {"--windowed"};
    GameProcess inWindow(windowed);
    const std::string window = inWindow.findWindow();
    ASSERT_FALSE(window.empty()) << inWindow.report();
    EXPECT_EQ(windowSize(window), "1024x768\n");
    EXPECT_EQ(inWindow.quitWithEscape(window), 0) << inWindow.report();
    EXPECT_EQ(inWindow.output().rfind("Hallo Vrom\n", 0), 0u) << inWindow.output();
    EXPECT_EQ(inWindow.output().find("Fullscreen?"), std::string::npos) << inWindow.output();

    GameStart fullScreen;
    fullScreen.arguments = {"--fullscreen"};
    GameProcess onScreen(fullScreen);
    const std::string screen = onScreen.findWindow();
    ASSERT_FALSE(screen.empty()) << onScreen.report();
    // Full screen takes the monitor's whole mode, whatever the X server's size.
    EXPECT_EQ(windowSize(screen), commandOutput("xdotool getdisplaygeometry | tr ' ' x"));
    EXPECT_EQ(onScreen.quitWithEscape(screen), 0) << onScreen.report();
    EXPECT_EQ(onScreen.output().find("Fullscreen?"), std::string::npos) << onScreen.output();
}

// Damaged images of the kinds that once crashed the decoder (huge claimed
// sizes in old image formats, garbage) in place of textures, sky faces and
// the heightmap: the game opens its window, plays without the ground, and
// ends on Escape as usual.
TEST(Game, DamagedImagesInPlaceOfTexturesSkyFacesAndTheHeightmapLeaveItRunning) {
    namespace fs = std::filesystem;
    const std::string root = scratchDirectory("damaged-images");
    fs::copy(sourcePath("Vrom2"), root + "/Vrom2", fs::copy_options::recursive);
    const std::string corpus = sourcePath("tests/corpus/images/");
    const std::pair<const char*, const char*> damage[] = {
        {"tga-huge.tga", "model/container2.png"},
        {"tga-rle-truncated.tga", "model/container2_specular.png"},
        {"bmp-huge.bmp", "model/car1/coupe.png"},
        {"psd-huge.psd", "model/sky1/right.jpg"},
        {"counting-garbage", "model/sky1/top.jpg"},
        {"dds-huge.dds", "model/sky1/left.jpg"},
        {"hdr-huge.hdr", "model/road3/heightmap.png"},
        {"png-huge.png", "model/road3/asphalt.png"},
        {"jpeg-huge.jpg", "model/sky1/back.jpg"},
    };
    for (const auto& [bad, victim] : damage) {
        fs::copy_file(corpus + bad, root + "/Vrom2/" + victim,
                      fs::copy_options::overwrite_existing);
    }
    GameStart start;
    start.arguments = {"--windowed"};
    start.workingDirectory = root;
    GameProcess game(start);
    const std::string window = game.findWindow();
    ASSERT_FALSE(window.empty()) << game.report();
    EXPECT_EQ(game.quitWithEscape(window), 0) << game.report();
    EXPECT_NE(game.output().find("Heightmap Vrom2/model/road3/heightmap.png could not be read"),
              std::string::npos)
        << game.output();
}
