// The two off-screen cube-map render targets, made once for the whole run:
// a depth cube map for the point light's shadows and a colour cube map (with
// its own depth) for the car's reflection.
#include "render/cube_map_framebuffers.h"

#include <cstdio>
#include <iostream>

#include "gfx/gl_handle.h"
#include "world/world.h"

namespace {

void allocateCubeMap(GLuint texture, GLint internalFormat, GLenum format, GLuint width,
                     GLuint height) {
    glBindTexture(GL_TEXTURE_CUBE_MAP, texture);
    for (GLenum face = 0; face < 6; ++face) {
        glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, internalFormat,
                     static_cast<GLsizei>(width), static_cast<GLsizei>(height), 0, format, GL_FLOAT,
                     nullptr);
    }
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
}

}  // namespace

void reportShadowFramebufferStatus(GLenum status) {
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        std::cout << "Framebuffer not complete!" << std::endl;
    }
}

void reportEnvironmentFramebufferStatus(GLenum status) {
    switch (status) {
        case GL_FRAMEBUFFER_COMPLETE:
            break;
        case GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT:
            std::printf("GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT\n");
            break;
        case GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT:
            std::printf("GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT\n");
            break;
        case GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER:
            std::printf("GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER\n");
            break;
        case GL_FRAMEBUFFER_UNSUPPORTED:
            std::printf("GL_FRAMEBUFFER_UNSUPPORTED\n");
            break;
        default:
            std::printf("FRAMEBUFFER ERROR: (%X).\n", status);
            break;
    }
    std::fflush(stdout);
}

void World::setupShadowFramebuffer() {
    shadowWidth = quality.shadowFaceSize;
    shadowHeight = quality.shadowFaceSize;
    shadowFbo = GlFramebuffer::generate();
    shadowCubeMap = GlTexture::generate();
    allocateCubeMap(shadowCubeMap.get(), GL_DEPTH_COMPONENT, GL_DEPTH_COMPONENT, shadowWidth,
                    shadowHeight);

    glBindFramebuffer(GL_FRAMEBUFFER, shadowFbo.get());
    // The whole cube map at once: the geometry shader picks the face.
    glFramebufferTexture(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, shadowCubeMap.get(), 0);
    glDrawBuffer(GL_NONE);
    glReadBuffer(GL_NONE);
    reportShadowFramebufferStatus(glCheckFramebufferStatus(GL_FRAMEBUFFER));
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void World::setupEnvironmentFramebuffer() {
    envWidth = quality.environmentFaceSize;
    envHeight = quality.environmentFaceSize;
    envFbo = GlFramebuffer::generate();
    envCubeMap = GlTexture::generate();
    // Unsized GL_RGB like the sky's cube map, so the sky can be copied in.
    allocateCubeMap(envCubeMap.get(), GL_RGB, GL_RGB, envWidth, envHeight);
    envDepthCubeMap = GlTexture::generate();
    allocateCubeMap(envDepthCubeMap.get(), GL_DEPTH_COMPONENT24, GL_DEPTH_COMPONENT, envWidth,
                    envHeight);

    glBindFramebuffer(GL_FRAMEBUFFER, envFbo.get());
    glFramebufferTexture(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, envCubeMap.get(), 0);
    glFramebufferTexture(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, envDepthCubeMap.get(), 0);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    reportEnvironmentFramebufferStatus(glCheckFramebufferStatus(GL_FRAMEBUFFER));
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void World::releaseFramebuffers() {
    shadowFbo.release();
    shadowCubeMap.release();
    envFbo.release();
    envCubeMap.release();
    envDepthCubeMap.release();
}
