#include "app/camera.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void expectVecNear(const vec3& actual, const vec3& expected, float tolerance = 1e-4f) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

// The default car's model matrix: chassis pose times its local transform.
mat4 carModelMatrix(const vec3& position, float yawDegrees, float pitchDegrees) {
    mat4 pose = translate(mat4(1.0f), position);
    pose = rotate(pose, yawDegrees, vec3(0, 1, 0));
    pose = rotate(pose, pitchDegrees, vec3(1, 0, 0));
    mat4 local = rotate(mat4(1.0f), 180.0f, vec3(0, 1, 0));
    local = scale(local, vec3(0.2f));
    local = translate(local, vec3(0, -5, 0));
    return pose * local;
}

}  // namespace

TEST(Camera, StartsLookingDownMinusZ) {
    const Camera fresh;
    expectVecNear(fresh.front, vec3(0, 0, -1));
    expectVecNear(fresh.right, vec3(1, 0, 0));
    expectVecNear(fresh.up, vec3(0, 1, 0));
    expectVecNear(camera.front, vec3(0, 0, -1));  // the process-wide one too
}

TEST(Camera, PitchNearlyVerticalKeepsAUnitRightVector) {
    Camera c;
    c.pitch = 89.0f;
    c.updateVectors();
    EXPECT_NEAR(length(c.right), 1.0f, 1e-5f);
    EXPECT_NEAR(length(c.up), 1.0f, 1e-5f);
    EXPECT_GT(c.front.y, 0.999f);
}

TEST(Camera, FollowsAnUnrotatedCarFromBehindAndAbove) {
    // The car's model origin ends 1 below the chassis.
    Camera c;
    c.followCar(carModelMatrix(vec3(2, 1, 0), 0, 0));
    expectVecNear(c.position, vec3(2, 0 + 1.8f, 5));
    expectVecNear(c.front, vec3(0, 0, -1));
    // The view looks at the car: the chassis is straight ahead.
    const vec4 chassisInView = c.viewMatrix() * vec4(2, 1, 0, 1);
    EXPECT_NEAR(chassisInView.x, 0.0f, 1e-4f);
    EXPECT_LT(chassisInView.z, -4.0f);
}

TEST(Camera, FollowsTheCarAtEveryHeading) {
    // yaw 90 turns the car's forward (-Z) to -X; the camera stays behind it.
    const struct {
        float yaw;
        vec3 behind;
    } cases[] = {{0, vec3(0, 0, 5)},
                 {90, vec3(5, 0, 0)},
                 {180, vec3(0, 0, -5)},
                 {270, vec3(-5, 0, 0)},
                 {-135, vec3(-3.5355f, 0, -3.5355f)}};
    for (const auto& each : cases) {
        Camera c;
        c.followCar(carModelMatrix(vec3(10, 1, -20), each.yaw, 0));
        SCOPED_TRACE(each.yaw);
        expectVecNear(c.position, vec3(10, 1.8f, -20) + each.behind, 2e-3f);
        expectVecNear(c.front, -normalize(each.behind), 1e-4f);
    }
}

TEST(Camera, APitchedCarSwingsTheCameraAlongItsAxis) {
    // Nose up by 20 degrees: the camera drops behind and below and looks up.
    Camera c;
    c.followCar(carModelMatrix(vec3(0, 1, 0), 0, 20));
    const float s = std::sin(20.0f * DEG_TO_RAD);
    const float k = std::cos(20.0f * DEG_TO_RAD);
    expectVecNear(c.front, vec3(0, s, -k), 1e-4f);
    // The model origin sits 1 below the chassis along the car's own up axis.
    const vec3 modelOrigin = vec3(carModelMatrix(vec3(0, 1, 0), 0, 20) * vec4(0, 0, 0, 1));
    expectVecNear(c.position, modelOrigin + 5.0f * vec3(0, -s, k) + vec3(0, 1.8f, 0), 1e-3f);
}

TEST(Camera, FollowingLeavesTheFreeCameraAnglesAlone) {
    Camera c;
    c.yaw = 10.0f;
    c.pitch = 20.0f;
    c.updateVectors();
    const vec3 up = c.up;
    c.followCar(carModelMatrix(vec3(0, 1, 0), 45, 0));
    EXPECT_EQ(c.yaw, 10.0f);
    EXPECT_EQ(c.pitch, 20.0f);
    EXPECT_EQ(c.up, up);
}

TEST(Camera, LooksZoomsAndFliesWithinItsLimits) {
    Camera c;
    // 40 pixels right at 0.25 degrees a pixel turns 10 degrees towards +Z.
    c.look(40.0f, 0.0f);
    EXPECT_FLOAT_EQ(c.yaw, -80.0f);
    expectVecNear(c.front, vec3(std::cos(-80.0f * DEG_TO_RAD), 0, std::sin(-80.0f * DEG_TO_RAD)));
    c.look(0.0f, 10000.0f);
    EXPECT_FLOAT_EQ(c.pitch, 89.0f);
    c.look(0.0f, -20000.0f);
    EXPECT_FLOAT_EQ(c.pitch, -89.0f);

    c.zoomBy(5.0f);
    EXPECT_FLOAT_EQ(c.zoom, 40.0f);
    c.zoomBy(100.0f);
    EXPECT_FLOAT_EQ(c.zoom, 1.0f);
    c.zoomBy(-100.0f);
    EXPECT_FLOAT_EQ(c.zoom, 45.0f);

    Camera level;
    EXPECT_FALSE(level.fly(false, false, false, false, 2.0f));
    expectVecNear(level.position, vec3(0, 3, 5));
    EXPECT_TRUE(level.fly(true, false, false, true, 2.0f));  // ahead (-Z) and right (+X)
    expectVecNear(level.position, vec3(2, 3, 3));
    EXPECT_TRUE(level.fly(true, true, true, true, 2.0f));  // opposites cancel
    expectVecNear(level.position, vec3(2, 3, 3));
}
