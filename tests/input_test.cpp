#include "app/input.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <cmath>

#include "app/camera.h"
#include "app/main_loop.h"
#include "tests/support/gl_context.h"

namespace {

class Input : public testing::Test {
protected:
    void SetUp() override {
        resetInput();
        camera = Camera();
    }
    void TearDown() override { resetInput(); }
};

void scroll(double yoffset) {
    onScroll(nullptr, 0.0, yoffset);
}

}  // namespace

TEST_F(Input, ScrollZoomsOnlyTheFreeCameraAndStaysWithinOneToFortyFive) {
    scroll(1.0);
    EXPECT_EQ(camera.zoom, 45.0f) << "follow mode ignores the wheel";

    freeCamera = true;
    camera.zoom = 44.5f;
    scroll(1.0);
    EXPECT_FLOAT_EQ(camera.zoom, 43.5f);

    camera.zoom = 45.0f;
    scroll(-1.0);  // 46 first, then clamped back
    EXPECT_EQ(camera.zoom, 45.0f);

    camera.zoom = 1.0f;
    scroll(1.0);  // 0 first, then clamped back
    EXPECT_EQ(camera.zoom, 1.0f);

    camera.zoom = 2.0f;
    scroll(30.0);
    EXPECT_EQ(camera.zoom, 1.0f);
}

TEST_F(Input, MouseLookTurnsTheFreeCameraAndClampsPitch) {
    freeCamera = true;
    onCursorPos(nullptr, 500.0, 400.0);  // the first event only seeds
    EXPECT_EQ(camera.yaw, -90.0f);
    EXPECT_EQ(camera.pitch, 0.0f);
    EXPECT_EQ(lastX, 500.0f);

    onCursorPos(nullptr, 540.0, 380.0);  // right 40, up 20
    EXPECT_FLOAT_EQ(camera.yaw, -80.0f);
    EXPECT_FLOAT_EQ(camera.pitch, 5.0f);
    EXPECT_NEAR(camera.front.x, std::cos(-80.0 * 0.017453292) * std::cos(5.0 * 0.017453292), 1e-5);

    onCursorPos(nullptr, 540.0, -10000.0);
    EXPECT_EQ(camera.pitch, 89.0f);
    onCursorPos(nullptr, 540.0, 30000.0);
    EXPECT_EQ(camera.pitch, -89.0f);
}

TEST_F(Input, FollowModeTracksTheCursorWithoutTurning) {
    onCursorPos(nullptr, 100.0, 100.0);
    onCursorPos(nullptr, 300.0, 50.0);
    EXPECT_EQ(camera.yaw, -90.0f);
    EXPECT_EQ(camera.pitch, 0.0f);
    EXPECT_EQ(lastX, 300.0f);
    EXPECT_EQ(lastY, 50.0f);

    // After switching, only the new movement's own offset counts.
    freeCamera = true;
    onCursorPos(nullptr, 304.0, 50.0);
    EXPECT_FLOAT_EQ(camera.yaw, -89.0f);
}

TEST_F(Input, KeysAreRecordedOnPressAndReleaseOnly) {
    onKey(nullptr, GLFW_KEY_UP, 0, GLFW_PRESS, 0);
    EXPECT_TRUE(keys[GLFW_KEY_UP]);
    onKey(nullptr, GLFW_KEY_UP, 0, GLFW_REPEAT, 0);
    EXPECT_TRUE(keys[GLFW_KEY_UP]);
    onKey(nullptr, GLFW_KEY_UP, 0, GLFW_RELEASE, 0);
    EXPECT_FALSE(keys[GLFW_KEY_UP]);
    onKey(nullptr, GLFW_KEY_W, 0, GLFW_REPEAT, 0);
    EXPECT_FALSE(keys[GLFW_KEY_W]) << "a repeat is not a press";

    // Codes outside the table change nothing (and do not write past it).
    onKey(nullptr, GLFW_KEY_UNKNOWN, 0, GLFW_PRESS, 0);
    onKey(nullptr, KEY_COUNT, 0, GLFW_PRESS, 0);
    onKey(nullptr, 100000, 0, GLFW_PRESS, 0);
    int held = 0;
    for (bool key : keys) {
        held += key ? 1 : 0;
    }
    EXPECT_EQ(held, 0);
}

TEST_F(Input, EscapeClosesTheWindowOnPress) {
    GLFWwindow* window = testGlContext();
    ASSERT_NE(window, nullptr);
    glfwSetWindowShouldClose(window, GLFW_FALSE);
    onKey(window, GLFW_KEY_ESCAPE, 0, GLFW_REPEAT, 0);
    EXPECT_FALSE(glfwWindowShouldClose(window));
    onKey(window, GLFW_KEY_ESCAPE, 0, GLFW_PRESS, 0);
    EXPECT_TRUE(glfwWindowShouldClose(window));
    EXPECT_TRUE(keys[GLFW_KEY_ESCAPE]);
    onKey(window, GLFW_KEY_ESCAPE, 0, GLFW_RELEASE, 0);
    EXPECT_FALSE(keys[GLFW_KEY_ESCAPE]);
    glfwSetWindowShouldClose(window, GLFW_FALSE);
}

TEST_F(Input, TogglesFlipOncePerPressHoweverLongTheKeyIsHeld) {
    ASSERT_NE(testGlContext(), nullptr);
    onKey(nullptr, GLFW_KEY_C, 0, GLFW_PRESS, 0);
    for (int frame = 0; frame < 7; ++frame) {
        applyHeldKeys();
        onKey(nullptr, GLFW_KEY_C, 0, GLFW_REPEAT, 0);
    }
    onKey(nullptr, GLFW_KEY_C, 0, GLFW_RELEASE, 0);
    applyHeldKeys();
    EXPECT_TRUE(freeCamera);

    // A tap that starts and ends between two frames still counts.
    onKey(nullptr, GLFW_KEY_C, 0, GLFW_PRESS, 0);
    onKey(nullptr, GLFW_KEY_C, 0, GLFW_RELEASE, 0);
    applyHeldKeys();
    EXPECT_FALSE(freeCamera);

    // F3 switches the polygon mode that every pass draws with.
    onKey(nullptr, GLFW_KEY_F3, 0, GLFW_PRESS, 0);
    applyHeldKeys();
    applyHeldKeys();
    GLint mode[2] = {0, 0};
    glGetIntegerv(GL_POLYGON_MODE, mode);
    EXPECT_TRUE(wireframe);
    EXPECT_EQ(mode[0], GL_LINE);
    onKey(nullptr, GLFW_KEY_F3, 0, GLFW_RELEASE, 0);
    onKey(nullptr, GLFW_KEY_F3, 0, GLFW_PRESS, 0);
    applyHeldKeys();
    glGetIntegerv(GL_POLYGON_MODE, mode);
    EXPECT_FALSE(wireframe);
    EXPECT_EQ(mode[0], GL_FILL);
}

TEST_F(Input, TwoTapsOfAToggleInsideOneFrameFlipItTwice) {
    ASSERT_NE(testGlContext(), nullptr);
    for (int tap = 0; tap < 2; ++tap) {
        onKey(nullptr, GLFW_KEY_C, 0, GLFW_PRESS, 0);
        onKey(nullptr, GLFW_KEY_C, 0, GLFW_RELEASE, 0);
        onKey(nullptr, GLFW_KEY_F3, 0, GLFW_PRESS, 0);
        onKey(nullptr, GLFW_KEY_F3, 0, GLFW_RELEASE, 0);
    }
    applyHeldKeys();
    EXPECT_FALSE(freeCamera) << "two flips: back where it was";
    EXPECT_FALSE(wireframe);
    GLint mode[2] = {0, 0};
    glGetIntegerv(GL_POLYGON_MODE, mode);
    EXPECT_EQ(mode[0], GL_FILL);

    // Three taps leave it flipped; the presses are used up by that frame.
    for (int tap = 0; tap < 3; ++tap) {
        onKey(nullptr, GLFW_KEY_C, 0, GLFW_PRESS, 0);
        onKey(nullptr, GLFW_KEY_C, 0, GLFW_RELEASE, 0);
    }
    applyHeldKeys();
    EXPECT_TRUE(freeCamera);
    applyHeldKeys();
    EXPECT_TRUE(freeCamera);
}

TEST_F(Input, FreeCameraFliesWithWasdScaledByFrameTime) {
    deltaTime = 0.5f;
    keys[GLFW_KEY_W] = true;
    applyHeldKeys();
    EXPECT_EQ(camera.position, vec3(0, 3, 5)) << "follow mode ignores W";

    freeCamera = true;
    applyHeldKeys();  // 3 units/s for half a second along front (0, 0, -1)
    EXPECT_NEAR(camera.position.z, 3.5f, 1e-5f);
    keys[GLFW_KEY_W] = false;
    keys[GLFW_KEY_D] = true;
    applyHeldKeys();
    EXPECT_NEAR(camera.position.x, 1.5f, 1e-5f);
    deltaTime = 0.0f;
}

TEST_F(Input, AMinimisedWindowKeepsTheLastAspectRatio) {
    onWindowSize(nullptr, 800, 400);
    const mat4 wide = screenProjection(45.0f);
    EXPECT_EQ(windowWidth, 800u);
    onWindowSize(nullptr, 800, 0);
    EXPECT_EQ(windowHeight, 0u);
    const mat4 minimised = screenProjection(45.0f);
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            EXPECT_TRUE(std::isfinite(minimised[c][r]));
            EXPECT_EQ(minimised[c][r], wide[c][r]);
        }
    }
    onWindowSize(nullptr, 0, 0);
    EXPECT_TRUE(std::isfinite(screenProjection(45.0f)[0][0]));
    onWindowSize(nullptr, 1024, 768);
    EXPECT_NEAR(screenProjection(45.0f)[1][1] / screenProjection(45.0f)[0][0], 1024.0 / 768.0,
                1e-5);
}
