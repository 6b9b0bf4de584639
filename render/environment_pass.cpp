#include "render/environment_pass.h"

#include "render/cube_faces.h"
#include "render/uniforms.h"
#include "world/world.h"

bool environmentSkyCopy = true;

namespace {

void copySky(GLuint skyCubeMap, GLuint envCubeMap) {
    glCopyImageSubData(skyCubeMap, GL_TEXTURE_CUBE_MAP, 0, 0, 0, 0, envCubeMap, GL_TEXTURE_CUBE_MAP,
                       0, 0, 0, 0, SKY_FACE_SIZE, SKY_FACE_SIZE, 6);
}

// The fallback: the sky cube drawn into all six layers at the far plane.
void drawSkyIntoFaces(GLuint cubemapSkyProgram, const Skybox& sky) {
    glDepthFunc(GL_LEQUAL);
    glUseProgram(cubemapSkyProgram);
    glBindVertexArray(sky.vao);
    bindSampler(cubemapSkyProgram, 0, "skybox", GL_TEXTURE_CUBE_MAP, sky.cubeMapTexture);
    glDrawArrays(GL_TRIANGLES, 0, 36);
    glBindVertexArray(0);
    glDepthFunc(GL_LESS);
}

}  // namespace

void renderEnvironmentPass(GLuint cubemapProgram, GLuint cubemapSkyProgram) {
    const mat4 projection = cubeProjection(world->envWidth, world->envHeight);
    const std::array<mat4, 6> faces = buildCubeFaceMatrices(chassisPosition(), projection);

    glViewport(0, 0, static_cast<GLsizei>(world->envWidth), static_cast<GLsizei>(world->envHeight));
    glBindFramebuffer(GL_FRAMEBUFFER, world->envFbo);
    glClearColor(0.1f, 0.1f, 0.1f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);

    // The copy moves whole sky faces: smaller environment faces (the lower
    // presets) get the sky drawn in instead.
    constexpr auto skyFace = static_cast<GLuint>(SKY_FACE_SIZE);
    const bool copy = environmentSkyCopy && glCopyImageSubData != nullptr &&
                      world->envWidth == skyFace && world->envHeight == skyFace;
    if (copy && world->sky) {
        copySky(world->sky->cubeMapTexture, world->envCubeMap);
    }

    glUseProgram(cubemapProgram);
    setFaceMatrices(cubemapProgram, "envMatrices[", faces);
    setFloat(cubemapProgram, "far_plane", CUBE_FAR);
    const vec3 lightPos = chassisPosition();
    glUniform3fv(glGetUniformLocation(cubemapProgram, "lightPos"), 1, &lightPos[0]);

    glUseProgram(cubemapSkyProgram);
    setFaceMatrices(cubemapSkyProgram, "envMatrices[", faces);
    setMat4(cubemapSkyProgram, "cmprojection", projection);
    if (!copy && world->sky) {
        drawSkyIntoFaces(cubemapSkyProgram, *world->sky);
    }

    if (world->road) {
        world->road->draw(cubemapProgram);
    }
    for (const auto& crate : world->crates) {
        crate->draw(cubemapProgram);
    }
    for (const auto& figure : world->figures) {
        figure->draw(cubemapProgram);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}
