// A crate: a textured unit cube on one dynamic body whose collision box sits
// 0.4 above the body origin.
#pragma once

#include <GL/glew.h>

#include "gfx/gl_handle.h"
#include "render/draw_parameters.h"
#include "render/maths.h"
#include "world/physics.h"

class Crate : public LitDrawParameters {
public:
    GlBuffer vbo;
    GlVertexArray vao;
    GlTexture diffuseTexture;
    GlTexture specularTexture;
    GlTexture reflectionTexture;
    mat4 modelMatrix{1.0f};
    RigidDynamic* actor = nullptr;

    Crate();

    void initPhysics(PhysicsScene* scene);
    // Stores the matrix and moves the body's origin there (rigid matrices).
    void place(mat4 matrix);
    void update();
    void draw(GLuint program) const;
    // Releases the GL objects; safe to call twice.
    void release();
};

// 36 vertices of 8 floats: position, normal, texture coordinates.
extern const float CRATE_VERTICES[36 * 8];
