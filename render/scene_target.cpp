#include "render/scene_target.h"

#include <cmath>
#include <iostream>

uint32_t scaledSide(uint32_t windowSide, float scale) {
    if (windowSide == 0) {
        return 0;
    }
    const auto side = static_cast<uint32_t>(std::lround(static_cast<float>(windowSide) * scale));
    return side > 0 ? side : 1;
}

void SceneTarget::bind(uint32_t targetWidth, uint32_t targetHeight) {
    if (framebuffer && width == targetWidth && height == targetHeight) {
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer.get());
        return;
    }
    release();
    width = targetWidth;
    height = targetHeight;
    framebuffer = GlFramebuffer::generate();
    colour = GlRenderbuffer::generate();
    depth = GlRenderbuffer::generate();
    glBindRenderbuffer(GL_RENDERBUFFER, colour.get());
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, static_cast<GLsizei>(width),
                          static_cast<GLsizei>(height));
    glBindRenderbuffer(GL_RENDERBUFFER, depth.get());
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, static_cast<GLsizei>(width),
                          static_cast<GLsizei>(height));
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer.get());
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour.get());
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth.get());
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        // Drawn regardless, like the cube-map targets: a black scene, not a crash.
        std::cout << "Scene framebuffer not complete: " << std::hex << status << std::dec
                  << std::endl;
    }
}

void SceneTarget::present(uint32_t windowWidth, uint32_t windowHeight) const {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer.get());
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glBlitFramebuffer(0, 0, static_cast<GLint>(width), static_cast<GLint>(height), 0, 0,
                      static_cast<GLint>(windowWidth), static_cast<GLint>(windowHeight),
                      GL_COLOR_BUFFER_BIT, GL_LINEAR);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, static_cast<GLsizei>(windowWidth), static_cast<GLsizei>(windowHeight));
}

void SceneTarget::release() {
    framebuffer.release();
    colour.release();
    depth.release();
    width = height = 0;
}
