// The real game under X, played with real key and mouse events: drive, ask
// for the position, switch to the free camera, look around, quit.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/game_process.h"

namespace {

// The z values of every "Position: x y z " line printed so far.
std::vector<float> printedZ(const std::string& output) {
    std::vector<float> zs;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("Position: ", 0) != 0) {
            continue;
        }
        std::istringstream fields(line.substr(10));
        float x = 0.0f, y = 0.0f, z = 0.0f;
        if (fields >> x >> y >> z) {
            zs.push_back(z);
        }
    }
    return zs;
}

// Waits until a "Position: " line shows up (frames are slow on a software
// renderer).
std::vector<float> waitForPositions(const GameProcess& game, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    std::vector<float> zs = printedZ(game.output());
    while (zs.empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        zs = printedZ(game.output());
    }
    return zs;
}

}  // namespace

TEST(Play, DriveForwardPrintThePositionLookAroundAndQuit) {
    GameProcess game("n\n");
    const std::string window = game.findWindow();
    ASSERT_FALSE(window.empty()) << game.output();

    // Forward is -Z: after holding Up the car is ahead of its start (z = 0).
    holdKey(window, "Up", 4.0);
    holdKey(window, "x", 2.0);
    const std::vector<float> zs = waitForPositions(game, 10.0);
    ASSERT_FALSE(zs.empty()) << game.output();
    EXPECT_LT(zs.back(), -0.5f) << game.output();

    // Free camera, then the mouse turns it; the game keeps running.
    tapKey(window, "c");
    for (const char* to : {"300 300", "700 450", "500 200"}) {
        commandOutput("xdotool mousemove --window " + window + " " + to);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
    }
    EXPECT_FALSE(game.findWindow(2.0).empty()) << "still open after the mouse moves";

    EXPECT_EQ(game.quitWithEscape(window), 0) << game.output();
}
