// Vector and matrix mathematics: single precision, column-major, right-handed
// look-at, OpenGL clip space, angles in degrees at every interface.
#pragma once

#include <glm/geometric.hpp>
#include <glm/mat3x3.hpp>
#include <glm/mat4x4.hpp>
#include <glm/vec3.hpp>
#include <glm/vec4.hpp>

using vec3 = glm::vec3;
using vec4 = glm::vec4;
using mat3 = glm::mat3;
using mat4 = glm::mat4;  // element [c][r] is column c, row r

using glm::cross;
using glm::dot;
using glm::normalize;

constexpr float DEG_TO_RAD = 0.017453292f;
constexpr float RAD_TO_DEG = 57.29578f;

// A rigid-body pose: unit quaternion (x, y, z, w) and position.
struct Quat {
    float x = 0.0f, y = 0.0f, z = 0.0f, w = 1.0f;
};

struct Pose {
    Quat q;
    vec3 p{0.0f};
};

mat4 translate(const mat4& m, const vec3& v);
mat4 rotate(const mat4& m, float angleDegrees, const vec3& axis);
mat4 scale(const mat4& m, const vec3& v);
mat4 lookAt(const vec3& eye, const vec3& centre, const vec3& up);
mat4 perspective(float fovyDegrees, float aspect, float zNear, float zFar);
mat4 poseMatrix(const Pose& pose);

// The rotation part of a rigid transform as a unit quaternion (columns of the
// upper-left 3 x 3 block taken as the rotation matrix).
Quat quatFromMatrix(const mat4& m);
// Rotates a vector by a unit quaternion.
vec3 rotateVector(const Quat& q, const vec3& v);
// The translation column of a matrix.
inline vec3 translationOf(const mat4& m) {
    return vec3(m[3]);
}
// A pose with no rotation at a position.
inline Pose poseAt(const vec3& position) {
    Pose pose;
    pose.p = position;
    return pose;
}
// The pose of a rigid matrix: rotation block and translation column.
inline Pose poseFromMatrix(const mat4& m) {
    return Pose{quatFromMatrix(m), translationOf(m)};
}
// The view matrix without its translation, as the sky needs it.
inline mat4 withoutTranslation(const mat4& view) {
    return mat4(mat3(view));
}
