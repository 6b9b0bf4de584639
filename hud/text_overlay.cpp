#include "hud/text_overlay.h"

#include <cstddef>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "gfx/shader_program.h"
#include "hud/hud_layout.h"

namespace {

// Rasterised once this large; the display scales it down (mipmapped).
constexpr float ATLAS_PIXEL_HEIGHT = 48.0f;

GlTexture uploadAtlas(const FontAtlas& atlas) {
    GlTexture texture = GlTexture::generate();
    glBindTexture(GL_TEXTURE_2D, texture.get());
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, atlas.width, atlas.height, 0, GL_RED, GL_UNSIGNED_BYTE,
                 atlas.coverage.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    glGenerateMipmap(GL_TEXTURE_2D);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glBindTexture(GL_TEXTURE_2D, 0);
    return texture;
}

void setAttribute(GLuint index, GLint size, size_t offset) {
    glEnableVertexAttribArray(index);
    glVertexAttribPointer(index, size, GL_FLOAT, GL_FALSE, sizeof(HudVertex),
                          reinterpret_cast<const void*>(offset));
}

}  // namespace

bool TextOverlay::load(std::ostream& console) {
    release();
    const std::string font = findSansFont();
    if (font.empty()) {
        console << "vromdash: no font found: playing without the on-screen display" << std::endl;
        return false;
    }
    std::string problem;
    if (!buildFontAtlas(font, ATLAS_PIXEL_HEIGHT, atlas, problem)) {
        console << "vromdash: " << problem << ": playing without the on-screen display"
                << std::endl;
        return false;
    }
    texture = uploadAtlas(atlas);
    atlas.coverage.clear();
    atlas.coverage.shrink_to_fit();

    program = std::move(ShaderProgram("Vrom2/shader/hud.vert", "Vrom2/shader/hud.frag").program);
    vertexArray = GlVertexArray::generate();
    vertexBuffer = GlBuffer::generate();
    glBindVertexArray(vertexArray.get());
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer.get());
    setAttribute(0, 2, offsetof(HudVertex, x));
    setAttribute(1, 2, offsetof(HudVertex, u));
    setAttribute(2, 4, offsetof(HudVertex, r));
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    return true;
}

void TextOverlay::release() {
    vertexBuffer.release();
    vertexArray.release();
    texture.release();
    program.release();
    atlas = FontAtlas();
}

void TextOverlay::draw(const HudView& view, uint32_t width, uint32_t height) const {
    if (!ready() || width == 0 || height == 0) {
        return;
    }
    const std::vector<HudVertex> vertices =
        layoutHud(atlas, view, static_cast<float>(width), static_cast<float>(height));
    if (vertices.empty()) {
        return;
    }
    // Text is drawn filled and over everything, whatever the scene left set
    // (the wireframe switch included); the scene's state comes back after.
    GLint polygonMode[2] = {GL_FILL, GL_FILL};
    glGetIntegerv(GL_POLYGON_MODE, polygonMode);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glViewport(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height));

    glUseProgram(program.get());
    glUniform2f(glGetUniformLocation(program.get(), "screenSize"), static_cast<float>(width),
                static_cast<float>(height));
    glUniform1i(glGetUniformLocation(program.get(), "glyphs"), 0);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture.get());
    glBindVertexArray(vertexArray.get());
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer.get());
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(HudVertex)),
                 vertices.data(), GL_STREAM_DRAW);
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(vertices.size()));
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);

    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glPolygonMode(GL_FRONT_AND_BACK, static_cast<GLenum>(polygonMode[0]));
}
