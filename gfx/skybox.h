// The sky: a cube of side 2 around the origin with a cube-map texture made
// from six images of one directory.
#pragma once

#include <GL/glew.h>

#include <string>
#include <vector>

#include "gfx/gl_handle.h"
#include "render/maths.h"

// 36 vertices (12 triangles), face by face: -Z, -X, +X, +Z, +Y, -Y.
extern const float SKYBOX_VERTICES[108];

// Size of every sky face; the environment pass copies whole faces of it.
constexpr int SKY_FACE_SIZE = 1024;

// Makes a cube map from up to six images, in the order +X, -X, +Y, -Y, +Z, -Z.
// A face that does not load becomes a neutral SKY_FACE_SIZE square, silently,
// so the cube map is always complete.
GlTexture loadCubeMap(std::vector<std::string> faces);

// Owns its vertex array, buffer and cube map; move-only.
class Skybox {
public:
    GlTexture cubeMapTexture;
    GlVertexArray vao;
    GlBuffer vbo;
    // Set by the owner before drawing: the view without its translation and
    // the projection.
    mat4 view{1.0f};
    mat4 projection{1.0f};

    // Reads directory + "/right.jpg", "/left.jpg", "/top.jpg", "/bottom.jpg",
    // "/back.jpg" and "/front.jpg".
    explicit Skybox(std::string directory);

    void setup(std::string directory);
    // Makes program current and draws the cube at the far plane; the depth
    // function is GL_LESS afterwards whatever it was before.
    void draw(GLuint program) const;
    // Deletes the GL objects; safe to call more than once.
    void release();
};
