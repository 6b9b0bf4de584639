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

// Waits until more than `known` "Position: " lines are out (frames are slow
// on a software renderer), or the game has exited.
std::vector<float> waitForPositions(GameProcess& game, size_t known, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    std::vector<float> zs = printedZ(game.output());
    while (zs.size() <= known && game.running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        zs = printedZ(game.output());
    }
    // Lines written just before an exit count too.
    return zs.size() > known ? zs : printedZ(game.output());
}

}  // namespace

TEST(Play, DriveForwardPrintThePositionLookAroundAndQuit) {
    GameProcess game("n\n");
    const std::string window = game.findWindow();
    ASSERT_FALSE(window.empty()) << game.report();

    // Forward is -Z: after holding Up the car is ahead of its start (z = 0).
    // How far a second of holding takes it depends on the frame rate (one
    // physics step a frame at most), so Up stays down, and X asks where the
    // car is, until it is ahead or the deadline passes.
    std::vector<float> zs;
    pressKey(window, "Up");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (game.running() && std::chrono::steady_clock::now() < deadline) {
        tapKey(window, "x");
        zs = waitForPositions(game, zs.size(), 30.0);
        if (!zs.empty() && zs.back() < -0.5f) {
            break;
        }
    }
    releaseKey(window, "Up");
    ASSERT_FALSE(zs.empty()) << game.report();
    EXPECT_LT(zs.back(), -0.5f) << game.report();

    // Free camera, then the mouse turns it; the game keeps running.
    tapKey(window, "c");
    for (const char* to : {"300 300", "700 450", "500 200"}) {
        commandOutput("xdotool mousemove --window " + window + " " + to);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
    }
    // The game takes its events in order: once the position asked for after
    // the moves is out, it has taken the moves too.
    tapKey(window, "x");
    waitForPositions(game, zs.size(), 60.0);
    EXPECT_FALSE(game.findWindow(2.0).empty()) << "still open after the mouse moves\n"
                                               << game.report();

    EXPECT_EQ(game.quitWithEscape(window), 0) << game.report();
}
