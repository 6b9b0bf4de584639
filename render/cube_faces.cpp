#include "render/cube_faces.h"

#include <cstdio>

#include "render/uniforms.h"

mat4 cubeProjection(GLuint width, GLuint height) {
    const float aspect = static_cast<float>(width) / static_cast<float>(height);
    return perspective(90.0f, aspect, CUBE_NEAR, CUBE_FAR);
}

std::array<mat4, 6> buildCubeFaceMatrices(const vec3& centre, const mat4& projection) {
    struct FaceView {
        vec3 direction;
        vec3 up;
    };
    static const FaceView views[6] = {
        {{1, 0, 0}, {0, -1, 0}},  {{-1, 0, 0}, {0, -1, 0}}, {{0, 1, 0}, {0, 0, 1}},
        {{0, -1, 0}, {0, 0, -1}}, {{0, 0, 1}, {0, -1, 0}},  {{0, 0, -1}, {0, -1, 0}},
    };
    std::array<mat4, 6> faces;
    for (int i = 0; i < 6; ++i) {
        faces[i] = projection * lookAt(centre, centre + views[i].direction, views[i].up);
    }
    return faces;
}

void setFaceMatrices(GLuint program, const char* prefix, const std::array<mat4, 6>& faces) {
    for (int i = 0; i < 6; ++i) {
        char name[64];
        std::snprintf(name, sizeof(name), "%s%d]", prefix, i);
        setMat4(program, name, faces[i]);
    }
}
