#include "render/shadow_pass.h"

#include "render/cube_faces.h"
#include "render/uniforms.h"
#include "world/world.h"

void renderShadowPass(GLuint shadowProgram) {
    const mat4 projection = cubeProjection(world->shadowWidth, world->shadowHeight);
    const vec3 lightPos = chassisPosition();
    const std::array<mat4, 6> faces = buildCubeFaceMatrices(lightPos, projection);

    glViewport(0, 0, static_cast<GLsizei>(world->shadowWidth),
               static_cast<GLsizei>(world->shadowHeight));
    glBindFramebuffer(GL_FRAMEBUFFER, world->shadowFbo.get());
    glClear(GL_DEPTH_BUFFER_BIT);
    glUseProgram(shadowProgram);
    setFaceMatrices(shadowProgram, "shadowMatrices[", faces);
    setFloat(shadowProgram, "far_plane", CUBE_FAR);
    glUniform3fv(glGetUniformLocation(shadowProgram, "lightPos"), 1, &lightPos[0]);

    for (const auto& crate : world->crates) {
        crate->draw(shadowProgram);
    }
    for (const auto& figure : world->figures) {
        figure->draw(shadowProgram);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}
