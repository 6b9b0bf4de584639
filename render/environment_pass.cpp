#include "render/environment_pass.h"

#include "render/cube_faces.h"
#include "render/uniforms.h"
#include "world/world.h"

bool environmentSkyCopy = true;

namespace {

// The level build whose sky was last readied (0: none yet).
long skyPreparedForBuild = 0;

void copySky(GLuint skyCubeMap, GLuint envCubeMap) {
    glCopyImageSubData(skyCubeMap, GL_TEXTURE_CUBE_MAP, 0, 0, 0, 0, envCubeMap, GL_TEXTURE_CUBE_MAP,
                       0, 0, 0, 0, SKY_FACE_SIZE, SKY_FACE_SIZE, 6);
}

// The mip level of the sky whose faces are `size` square, or -1 when it has
// none (a sky made without mip levels, or a size no level has).
GLint skyLevelOfSize(GLuint skyCubeMap, GLuint size) {
    glBindTexture(GL_TEXTURE_CUBE_MAP, skyCubeMap);
    GLint found = -1;
    for (GLint level = 1; level < 16 && found < 0; ++level) {
        GLint width = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_POSITIVE_X, level, GL_TEXTURE_WIDTH, &width);
        if (width == 0) {
            break;
        }
        found = static_cast<GLuint>(width) == size ? level : -1;
    }
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    return found;
}

// Smaller faces take the sky from the mip level of their size: a copy, far
// cheaper than drawing the sky into them.
bool copySkyLevel(GLuint skyCubeMap, GLuint envCubeMap, GLuint size) {
    const GLint level = skyLevelOfSize(skyCubeMap, size);
    if (level < 0) {
        return false;
    }
    glCopyImageSubData(skyCubeMap, GL_TEXTURE_CUBE_MAP, level, 0, 0, 0, envCubeMap,
                       GL_TEXTURE_CUBE_MAP, 0, 0, 0, 0, static_cast<GLsizei>(size),
                       static_cast<GLsizei>(size), 6);
    return true;
}

// The fallback: the sky cube drawn into all six layers at the far plane.
void drawSkyIntoFaces(GLuint cubemapSkyProgram, const Skybox& sky) {
    glDepthFunc(GL_LEQUAL);
    glUseProgram(cubemapSkyProgram);
    glBindVertexArray(sky.vao.get());
    bindSampler(cubemapSkyProgram, 0, "skybox", GL_TEXTURE_CUBE_MAP, sky.cubeMapTexture.get());
    glDrawArrays(GL_TRIANGLES, 0, 36);
    glBindVertexArray(0);
    glDepthFunc(GL_LESS);
}

}  // namespace

void renderEnvironmentPass(GLuint cubemapProgram, GLuint cubemapSkyProgram) {
    // Once per level build, before its first draw, as if the build had
    // readied its own sky.
    if (world->levelBuild != skyPreparedForBuild) {
        skyPreparedForBuild = world->levelBuild;
        if (world->sky) {
            prepareSkyForEnvironment(*world->sky, world->envWidth);
        }
    }

    const mat4 projection = cubeProjection(world->envWidth, world->envHeight);
    const std::array<mat4, 6> faces = buildCubeFaceMatrices(chassisPosition(), projection);

    glViewport(0, 0, static_cast<GLsizei>(world->envWidth), static_cast<GLsizei>(world->envHeight));
    glBindFramebuffer(GL_FRAMEBUFFER, world->envFbo.get());
    glClearColor(0.1f, 0.1f, 0.1f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);

    // Full-size faces take the sky's whole faces; the lower presets' smaller
    // ones a mip level of the sky (see prepareSkyForEnvironment), or have
    // the sky drawn in when it has none.
    constexpr auto skyFace = static_cast<GLuint>(SKY_FACE_SIZE);
    const bool canCopy = environmentSkyCopy && glCopyImageSubData != nullptr && world->sky;
    const bool fullSize = world->envWidth == skyFace && world->envHeight == skyFace;
    bool copy = canCopy && fullSize;
    if (copy) {
        copySky(world->sky->cubeMapTexture.get(), world->envCubeMap.get());
    } else if (canCopy && world->envWidth == world->envHeight) {
        copy = copySkyLevel(world->sky->cubeMapTexture.get(), world->envCubeMap.get(),
                            world->envWidth);
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

void prepareSkyForEnvironment(const Skybox& sky, GLuint environmentFaceSize) {
    if (environmentFaceSize >= static_cast<GLuint>(SKY_FACE_SIZE)) {
        return;
    }
    glBindTexture(GL_TEXTURE_CUBE_MAP, sky.cubeMapTexture.get());
    // Mip levels need six square faces of one size; other skies are drawn.
    GLint size = 0;
    bool square = true;
    for (GLenum face = 0; face < 6; ++face) {
        GLint width = 0, height = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GL_TEXTURE_WIDTH,
                                 &width);
        glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GL_TEXTURE_HEIGHT,
                                 &height);
        size = face == 0 ? width : size;
        square = square && width == height && width == size && width > 0;
    }
    // The screen samples only level 0 (the sky's filters use no mip levels),
    // so the levels change nothing there.
    if (square) {
        glGenerateMipmap(GL_TEXTURE_CUBE_MAP);
    }
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
}
