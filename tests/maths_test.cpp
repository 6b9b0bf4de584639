#include "render/maths.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void expectMatrixNear(const mat4& actual, const mat4& expected, float tolerance = 1e-5f) {
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            EXPECT_NEAR(actual[c][r], expected[c][r], tolerance)
                << "entry [" << c << "][" << r << "]";
        }
    }
}

vec3 transformPoint(const mat4& m, const vec3& p) {
    return vec3(m * vec4(p, 1.0f));
}

}  // namespace

TEST(Maths, ConstructorsGiveIdentityScalarAndBlockMatrices) {
    expectMatrixNear(mat4(), mat4(1.0f), 0.0f);
    const mat4 zero(0.0f);
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            EXPECT_EQ(zero[c][r], 0.0f);
        }
    }
    // Removing a view's translation keeps its rotation and sets [3][3] to 1.
    const mat4 view = lookAt(vec3(3, 4, 5), vec3(0, 0, 0), vec3(0, 1, 0));
    const mat4 rotationOnly = withoutTranslation(view);
    EXPECT_EQ(rotationOnly[3], vec4(0, 0, 0, 1));
    EXPECT_EQ(vec3(rotationOnly[0]), vec3(view[0]));
    EXPECT_EQ(rotationOnly[0][3], 0.0f);
}

TEST(Maths, RotateHalfTurnAboutYFlipsXAndZ) {
    const mat4 r = rotate(mat4(1.0f), 180.0f, vec3(0, 1, 0));
    expectMatrixNear(r, mat4(-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1));
}

TEST(Maths, RotateTakesDegreesAndNormalisesTheAxis) {
    const mat4 r = rotate(mat4(1.0f), 90.0f, vec3(0, 0, 5));
    const vec3 p = transformPoint(r, vec3(1, 0, 0));
    EXPECT_NEAR(p.x, 0.0f, 1e-6f);
    EXPECT_NEAR(p.y, 1.0f, 1e-6f);  // counter-clockwise seen from +Z
}

TEST(Maths, PerspectiveForCubeFaces) {
    const mat4 p = perspective(90.0f, 1.0f, 1.0f, 50.0f);
    EXPECT_NEAR(p[0][0], 1.0f, 1e-6f);
    EXPECT_NEAR(p[1][1], 1.0f, 1e-6f);
    EXPECT_NEAR(p[2][2], -51.0f / 49.0f, 1e-6f);
    EXPECT_NEAR(p[3][2], -100.0f / 49.0f, 1e-6f);
    EXPECT_EQ(p[2][3], -1.0f);
    EXPECT_EQ(p[3][3], 0.0f);
    EXPECT_EQ(p[0][1], 0.0f);
}

TEST(Maths, ScreenPerspectiveMapsNearAndFarToClipDepthLimits) {
    const mat4 p = perspective(45.0f, 4.0f / 3.0f, 0.1f, 100.0f);
    EXPECT_NEAR(p[2][2], -1.002002f, 1e-6f);
    EXPECT_NEAR(p[3][2], -0.2002002f, 1e-6f);
    const vec4 nearPoint = p * vec4(0, 0, -0.1f, 1);
    const vec4 farPoint = p * vec4(0, 0, -100.0f, 1);
    EXPECT_NEAR(nearPoint.z / nearPoint.w, -1.0f, 1e-4f);
    EXPECT_NEAR(farPoint.z / farPoint.w, 1.0f, 1e-4f);
    EXPECT_NEAR(p[1][1] / p[0][0], 4.0f / 3.0f, 1e-5f);
}

TEST(Maths, LookAtIsRightHandedAndPutsTheEyeAtTheOrigin) {
    const vec3 eye(2, 3, 4);
    const mat4 v = lookAt(eye, eye + vec3(0, 0, -1), vec3(0, 1, 0));
    const vec3 eyeInView = transformPoint(v, eye);
    EXPECT_NEAR(length(eyeInView), 0.0f, 1e-5f);
    // A point ahead is on the negative Z axis, a point to the right on +X.
    const vec3 ahead = transformPoint(v, eye + vec3(0, 0, -7));
    EXPECT_NEAR(ahead.z, -7.0f, 1e-5f);
    const vec3 right = transformPoint(v, eye + vec3(1, 0, 0));
    EXPECT_NEAR(right.x, 1.0f, 1e-5f);
}

TEST(Maths, TransformsComposeByRightMultiplication) {
    // rotate, then scale, then translate: a vertex v becomes R * S * (v + t).
    mat4 m = rotate(mat4(1.0f), 180.0f, vec3(0, 1, 0));
    m = scale(m, vec3(0.2f));
    m = translate(m, vec3(0, -5, 0));
    const vec3 p = transformPoint(m, vec3(1, 5, 2));
    EXPECT_NEAR(p.x, -0.2f, 1e-6f);
    EXPECT_NEAR(p.y, 0.0f, 1e-6f);
    EXPECT_NEAR(p.z, -0.4f, 1e-6f);
    // The road: scale by 300, then translate by -0.42 in the scaled frame.
    const mat4 road = translate(scale(mat4(1.0f), vec3(300.0f)), vec3(-0.42f, 0, 0));
    const vec3 q = transformPoint(road, vec3(0.5f, 0.001f, 0.1f));
    EXPECT_NEAR(q.x, 24.0f, 1e-3f);
    EXPECT_NEAR(q.y, 0.3f, 1e-5f);
    EXPECT_NEAR(q.z, 30.0f, 1e-4f);
    // In a product A * B, B acts first.
    const mat4 t = translate(mat4(1.0f), vec3(1, 0, 0));
    const mat4 r = rotate(mat4(1.0f), 90.0f, vec3(0, 0, 1));
    EXPECT_NEAR(transformPoint(t * r, vec3(1, 0, 0)).y, 1.0f, 1e-6f);
    EXPECT_NEAR(transformPoint(r * t, vec3(1, 0, 0)).y, 2.0f, 1e-6f);
}

TEST(Maths, PoseMatrixMatchesAnAxisAngleRotation) {
    const vec3 axis = normalize(vec3(1, 2, -3));
    const float angle = 73.0f;
    const float half = angle * DEG_TO_RAD / 2.0f;
    Pose pose;
    pose.q = Quat{axis.x * std::sin(half), axis.y * std::sin(half), axis.z * std::sin(half),
                  std::cos(half)};
    pose.p = vec3(4, -5, 6);
    const mat4 expected = translate(mat4(1.0f), pose.p) * rotate(mat4(1.0f), angle, axis);
    expectMatrixNear(poseMatrix(pose), expected);
    // And back: the rotation block of a rigid matrix gives the same quaternion.
    const Quat q = quatFromMatrix(expected);
    const float sameSign = q.w * pose.q.w >= 0 ? 1.0f : -1.0f;
    EXPECT_NEAR(q.x * sameSign, pose.q.x, 1e-5f);
    EXPECT_NEAR(q.y * sameSign, pose.q.y, 1e-5f);
    EXPECT_NEAR(q.z * sameSign, pose.q.z, 1e-5f);
    EXPECT_NEAR(q.w * sameSign, pose.q.w, 1e-5f);
    // Rotating a vector by the quaternion agrees with the matrix.
    const vec3 v(0.3f, -1.0f, 2.0f);
    const vec3 byQuat = rotateVector(pose.q, v);
    const vec3 byMatrix = mat3(expected) * v;
    EXPECT_NEAR(byQuat.x, byMatrix.x, 1e-5f);
    EXPECT_NEAR(byQuat.y, byMatrix.y, 1e-5f);
    EXPECT_NEAR(byQuat.z, byMatrix.z, 1e-5f);
}

TEST(Maths, QuatFromMatrixHandlesHalfTurns) {
    // A half turn has a zero trace branch; the conversion must pick another.
    for (const vec3& axis : {vec3(1, 0, 0), vec3(0, 1, 0), vec3(0, 0, 1)}) {
        const mat4 m = rotate(mat4(1.0f), 180.0f, axis);
        Pose pose;
        pose.q = quatFromMatrix(m);
        expectMatrixNear(poseMatrix(pose), m);
    }
}
