// The real game binary, driven through its console and X key events.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/game_process.h"

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
