// The six views of a cube map around a point, shared by the shadow and the
// environment passes.
#pragma once

#include <GL/glew.h>

#include <array>

#include "render/maths.h"

constexpr float CUBE_NEAR = 1.0f;
constexpr float CUBE_FAR = 50.0f;

// 90 degrees, aspect width / height, CUBE_NEAR to CUBE_FAR.
mat4 cubeProjection(GLuint width, GLuint height);

// Projection times look-at for the faces +X, -X, +Y, -Y, +Z, -Z in order.
std::array<mat4, 6> buildCubeFaceMatrices(const vec3& centre, const mat4& projection);

// Sets `prefix[i]` for i = 0..5 on the program, each looked up by name.
void setFaceMatrices(GLuint program, const char* prefix, const std::array<mat4, 6>& faces);
