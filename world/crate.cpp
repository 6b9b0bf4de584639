#include "world/crate.h"

#include "gfx/texture.h"
#include "render/uniforms.h"

// clang-format off
const float CRATE_VERTICES[36 * 8] = {
    // back (0, 0, -1)
    -0.5f, -0.5f, -0.5f,  0.0f,  0.0f, -1.0f,  0.0f, 0.0f,
     0.5f, -0.5f, -0.5f,  0.0f,  0.0f, -1.0f,  1.0f, 0.0f,
     0.5f,  0.5f, -0.5f,  0.0f,  0.0f, -1.0f,  1.0f, 1.0f,
     0.5f,  0.5f, -0.5f,  0.0f,  0.0f, -1.0f,  1.0f, 1.0f,
    -0.5f,  0.5f, -0.5f,  0.0f,  0.0f, -1.0f,  0.0f, 1.0f,
    -0.5f, -0.5f, -0.5f,  0.0f,  0.0f, -1.0f,  0.0f, 0.0f,
    // front (0, 0, 1)
    -0.5f, -0.5f,  0.5f,  0.0f,  0.0f,  1.0f,  0.0f, 0.0f,
     0.5f, -0.5f,  0.5f,  0.0f,  0.0f,  1.0f,  1.0f, 0.0f,
     0.5f,  0.5f,  0.5f,  0.0f,  0.0f,  1.0f,  1.0f, 1.0f,
     0.5f,  0.5f,  0.5f,  0.0f,  0.0f,  1.0f,  1.0f, 1.0f,
    -0.5f,  0.5f,  0.5f,  0.0f,  0.0f,  1.0f,  0.0f, 1.0f,
    -0.5f, -0.5f,  0.5f,  0.0f,  0.0f,  1.0f,  0.0f, 0.0f,
    // left (-1, 0, 0)
    -0.5f,  0.5f,  0.5f, -1.0f,  0.0f,  0.0f,  1.0f, 0.0f,
    -0.5f,  0.5f, -0.5f, -1.0f,  0.0f,  0.0f,  1.0f, 1.0f,
    -0.5f, -0.5f, -0.5f, -1.0f,  0.0f,  0.0f,  0.0f, 1.0f,
    -0.5f, -0.5f, -0.5f, -1.0f,  0.0f,  0.0f,  0.0f, 1.0f,
    -0.5f, -0.5f,  0.5f, -1.0f,  0.0f,  0.0f,  0.0f, 0.0f,
    -0.5f,  0.5f,  0.5f, -1.0f,  0.0f,  0.0f,  1.0f, 0.0f,
    // right (1, 0, 0)
     0.5f,  0.5f,  0.5f,  1.0f,  0.0f,  0.0f,  1.0f, 0.0f,
     0.5f,  0.5f, -0.5f,  1.0f,  0.0f,  0.0f,  1.0f, 1.0f,
     0.5f, -0.5f, -0.5f,  1.0f,  0.0f,  0.0f,  0.0f, 1.0f,
     0.5f, -0.5f, -0.5f,  1.0f,  0.0f,  0.0f,  0.0f, 1.0f,
     0.5f, -0.5f,  0.5f,  1.0f,  0.0f,  0.0f,  0.0f, 0.0f,
     0.5f,  0.5f,  0.5f,  1.0f,  0.0f,  0.0f,  1.0f, 0.0f,
    // bottom (0, -1, 0)
    -0.5f, -0.5f, -0.5f,  0.0f, -1.0f,  0.0f,  0.0f, 1.0f,
     0.5f, -0.5f, -0.5f,  0.0f, -1.0f,  0.0f,  1.0f, 1.0f,
     0.5f, -0.5f,  0.5f,  0.0f, -1.0f,  0.0f,  1.0f, 0.0f,
     0.5f, -0.5f,  0.5f,  0.0f, -1.0f,  0.0f,  1.0f, 0.0f,
    -0.5f, -0.5f,  0.5f,  0.0f, -1.0f,  0.0f,  0.0f, 0.0f,
    -0.5f, -0.5f, -0.5f,  0.0f, -1.0f,  0.0f,  0.0f, 1.0f,
    // top (0, 1, 0)
    -0.5f,  0.5f, -0.5f,  0.0f,  1.0f,  0.0f,  0.0f, 1.0f,
     0.5f,  0.5f, -0.5f,  0.0f,  1.0f,  0.0f,  1.0f, 1.0f,
     0.5f,  0.5f,  0.5f,  0.0f,  1.0f,  0.0f,  1.0f, 0.0f,
     0.5f,  0.5f,  0.5f,  0.0f,  1.0f,  0.0f,  1.0f, 0.0f,
    -0.5f,  0.5f,  0.5f,  0.0f,  1.0f,  0.0f,  0.0f, 0.0f,
    -0.5f,  0.5f, -0.5f,  0.0f,  1.0f,  0.0f,  0.0f, 1.0f,
};
// clang-format on

namespace {

const char* const DIFFUSE_PATH = "Vrom2/model/container2.png";
const char* const SPECULAR_PATH = "Vrom2/model/container2_specular.png";
const char* const REFLECTION_PATH = "Vrom2/model/container2_reflection.png";

const vec3 CRATE_HALF_EXTENTS(0.5f, 0.5f, 0.5f);
const PhysicsMaterial CRATE_MATERIAL{0.3f, 0.3f, 0.3f};
constexpr float CRATE_DENSITY = 1.0f;
// The collision box sits this far above the body origin, where the drawn
// cube is centred.
const vec3 CRATE_SHAPE_OFFSET(0.0f, 0.4f, 0.0f);

}  // namespace

Crate::Crate()
    : vbo(GlBuffer::generate()),
      vao(GlVertexArray::generate()),
      diffuseTexture(GlTexture::generate()),
      specularTexture(GlTexture::generate()),
      reflectionTexture(GlTexture::generate()) {
    glBindVertexArray(vao.get());
    glBindBuffer(GL_ARRAY_BUFFER, vbo.get());
    glBufferData(GL_ARRAY_BUFFER, sizeof(CRATE_VERTICES), CRATE_VERTICES, GL_STATIC_DRAW);
    const GLsizei stride = 8 * sizeof(float);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(0));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<void*>(3 * sizeof(float)));
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<void*>(6 * sizeof(float)));
    glBindVertexArray(0);

    // A file that cannot be decoded leaves a grey texel: the crate still draws.
    fillTexture2D(diffuseTexture.get(), DIFFUSE_PATH);
    fillTexture2D(specularTexture.get(), SPECULAR_PATH);
    fillTexture2D(reflectionTexture.get(), REFLECTION_PATH);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void Crate::release() {
    diffuseTexture.release();
    specularTexture.release();
    reflectionTexture.release();
    vbo.release();
    vao.release();
}

void Crate::initPhysics(PhysicsScene* scene) {
    actor = scene->createDynamic(poseAt(vec3(0.0f, 1.0f, 0.0f)), BoxGeometry{CRATE_HALF_EXTENTS},
                                 CRATE_MATERIAL, CRATE_DENSITY, poseAt(CRATE_SHAPE_OFFSET));
    if (actor) {
        actor->kind = BodyKind::Crate;
    }
}

void Crate::place(mat4 matrix) {
    modelMatrix = matrix;
    if (actor) {
        actor->setGlobalPose(poseFromMatrix(matrix), true);
    }
}

void Crate::update() {
    if (actor) {
        modelMatrix = poseMatrix(actor->getGlobalPose());
    }
}

void Crate::draw(GLuint program) const {
    glUseProgram(program);
    applyTo(program, modelMatrix);
    bindSampler(program, 0, "texture_diffuse1", GL_TEXTURE_2D, diffuseTexture.get());
    bindSampler(program, 1, "texture_specular1", GL_TEXTURE_2D, specularTexture.get());
    bindSampler(program, 2, "texture_reflection1", GL_TEXTURE_2D, reflectionTexture.get());
    bindCubeMaps(program);
    glBindVertexArray(vao.get());
    glDrawArrays(GL_TRIANGLES, 0, 36);
    glBindVertexArray(0);
}
