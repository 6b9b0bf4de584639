// The frame loop as the game runs it (runFrame): what the camera shows after
// mouse look and in the frame in which a rule rebuilds the level.
#include "app/main_loop.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "app/camera.h"
#include "app/input.h"
#include "tests/support/gl_context.h"
#include "tests/support/world_fixture.h"

namespace {

class FrameLoop : public WorldTest {
protected:
    void SetUp() override {
        WorldTest::SetUp();
        resetInput();
        camera = Camera();
        programs = std::make_unique<GamePrograms>();
        now = static_cast<float>(glfwGetTime());
        lastFrame = now;
    }
    void TearDown() override {
        programs.reset();
        resetInput();
        WorldTest::TearDown();
    }

    void frame() {
        now += 1.0f / 60.0f;
        runFrame(testGlContext(), programs->ids(), now);
    }

    void tap(int key) {
        onKey(testGlContext(), key, 0, GLFW_PRESS, 0);
        onKey(testGlContext(), key, 0, GLFW_RELEASE, 0);
    }

    std::unique_ptr<GamePrograms> programs;
    float now = 0.0f;
};

// The view the frame was drawn with: the car is handed it every frame.
mat4 drawnView() {
    return world->car->viewMatrix;
}

// The view's right axis (its first row) leaves the horizontal when the
// picture rolls.
float rollOf(const mat4& view) {
    return std::asin(view[1][0]) * RAD_TO_DEG;
}

}  // namespace

TEST_F(FrameLoop, TheFollowViewKeepsTheHorizonLevelAfterMouseLook) {
    frame();
    EXPECT_NEAR(rollOf(drawnView()), 0.0f, 1e-3f);

    // Free camera: look along +X and well up, which tilts its own up vector
    // against the follow camera's direction.
    tap(GLFW_KEY_C);
    frame();
    ASSERT_TRUE(freeCamera);
    onCursorPos(nullptr, 400.0, 300.0);
    onCursorPos(nullptr, 400.0 + 90.0 / 0.25, 300.0 - 50.0 / 0.25);
    frame();
    EXPECT_GT(std::fabs(camera.up.x), 0.5f) << "mouse look turned the free camera";

    tap(GLFW_KEY_C);
    frame();
    ASSERT_FALSE(freeCamera);
    EXPECT_NEAR(rollOf(drawnView()), 0.0f, 1e-3f);

    // The next level keeps it level too.
    tap(GLFW_KEY_2);
    frame();
    EXPECT_NEAR(rollOf(drawnView()), 0.0f, 1e-3f);
}

// The frame in which the last crate falls already shows the next level: its
// car at the start pose, the camera behind it, the crates at their places.
TEST_F(FrameLoop, TheFrameThatClearsTheLevelShowsTheNewLevelsStart) {
    for (int i = 0; i < 30; ++i) {
        frame();
    }
    for (auto& crate : world->crates) {
        Pose pose = crate->actor->getGlobalPose();
        pose.p.y = -60.0f;  // below the ground's floor: nothing holds it
        crate->actor->setGlobalPose(pose, true);
    }
    frame();
    ASSERT_EQ(world->level, 2);

    const Car& car = *world->car;
    const vec4 carOrigin = car.modelMatrix * vec4(0, 0, 0, 1);
    // Drawn one unit below the chassis centre at (2, 1, 0), not at the origin.
    EXPECT_NEAR(carOrigin.x, CAR_START_POSITION.x, 1e-4f);
    EXPECT_NEAR(carOrigin.y, CAR_START_POSITION.y - 1.0f, 1e-4f);
    EXPECT_NEAR(carOrigin.z, CAR_START_POSITION.z, 1e-4f);
    EXPECT_NEAR(camera.position.x, carOrigin.x, 1e-3f);
    EXPECT_NEAR(camera.position.y, carOrigin.y + 1.8f, 1e-3f);
    EXPECT_NEAR(camera.position.z, carOrigin.z + 5.0f, 1e-3f);
    for (int i = 0; i < CRATE_COUNT; ++i) {
        const vec4 crate = world->crates[static_cast<size_t>(i)]->modelMatrix * vec4(0, 0, 0, 1);
        EXPECT_EQ(vec3(crate), CRATE_POSITIONS[i]) << "crate " << i + 1;
    }
    const vec4 figure = world->figures[0]->modelMatrix[3];
    EXPECT_NEAR(glm::distance(vec3(figure), FIGURE_POSITION), 0.0f, 1e-5f);
}
