// The sky: a cube of side 2 around the origin with a cube-map texture made
// from six images of one directory.
#pragma once

#include <GL/glew.h>

#include <string>
#include <vector>

#include "render/maths.h"

// 36 vertices (12 triangles), face by face: -Z, -X, +X, +Z, +Y, -Y.
extern const float SKYBOX_VERTICES[108];

// Size of every sky face; the environment pass copies whole faces of it.
constexpr int SKY_FACE_SIZE = 1024;

// Makes a cube map from up to six images, in the order +X, -X, +Y, -Y, +Z, -Z.
// A face that does not load becomes a neutral SKY_FACE_SIZE square, silently,
// so the cube map is always complete. The caller owns the texture.
GLuint loadCubeMap(std::vector<std::string> faces);

// Owns its vertex array, buffer and cube map; move-only.
class Skybox {
public:
    GLuint cubeMapTexture = 0;
    GLuint vao = 0;
    GLuint vbo = 0;
    // Set by the owner before drawing: the view without its translation and
    // the projection.
    mat4 view{1.0f};
    mat4 projection{1.0f};

    // Reads directory + "/right.jpg", "/left.jpg", "/top.jpg", "/bottom.jpg",
    // "/back.jpg" and "/front.jpg".
    explicit Skybox(std::string directory);
    ~Skybox();
    Skybox(const Skybox&) = delete;
    Skybox& operator=(const Skybox&) = delete;
    Skybox(Skybox&& other) noexcept;
    Skybox& operator=(Skybox&& other) noexcept;

    void setup(std::string directory);
    // Makes program current and draws the cube at the far plane; the depth
    // function is GL_LESS afterwards whatever it was before.
    void draw(GLuint program) const;
    // Deletes the GL objects; safe to call more than once.
    void release();
};
