#include "gfx/skybox.h"

#include <glm/gtc/type_ptr.hpp>
#include <utility>

#include "gfx/image.h"
#include "gfx/texture.h"

static_assert(SKY_FACE_SIZE <= MAX_IMAGE_SIDE, "the sky's own faces must pass the image check");

// clang-format off
const float SKYBOX_VERTICES[108] = {
    -1.0f,  1.0f, -1.0f,  -1.0f, -1.0f, -1.0f,   1.0f, -1.0f, -1.0f,
     1.0f, -1.0f, -1.0f,   1.0f,  1.0f, -1.0f,  -1.0f,  1.0f, -1.0f,

    -1.0f, -1.0f,  1.0f,  -1.0f, -1.0f, -1.0f,  -1.0f,  1.0f, -1.0f,
    -1.0f,  1.0f, -1.0f,  -1.0f,  1.0f,  1.0f,  -1.0f, -1.0f,  1.0f,

     1.0f, -1.0f, -1.0f,   1.0f, -1.0f,  1.0f,   1.0f,  1.0f,  1.0f,
     1.0f,  1.0f,  1.0f,   1.0f,  1.0f, -1.0f,   1.0f, -1.0f, -1.0f,

    -1.0f, -1.0f,  1.0f,  -1.0f,  1.0f,  1.0f,   1.0f,  1.0f,  1.0f,
     1.0f,  1.0f,  1.0f,   1.0f, -1.0f,  1.0f,  -1.0f, -1.0f,  1.0f,

    -1.0f,  1.0f, -1.0f,   1.0f,  1.0f, -1.0f,   1.0f,  1.0f,  1.0f,
     1.0f,  1.0f,  1.0f,  -1.0f,  1.0f,  1.0f,  -1.0f,  1.0f, -1.0f,

    -1.0f, -1.0f, -1.0f,  -1.0f, -1.0f,  1.0f,   1.0f, -1.0f, -1.0f,
     1.0f, -1.0f, -1.0f,  -1.0f, -1.0f,  1.0f,   1.0f, -1.0f,  1.0f,
};
// clang-format on

GlTexture loadCubeMap(std::vector<std::string> faces) {
    GlTexture texture = GlTexture::generate();
    glBindTexture(GL_TEXTURE_CUBE_MAP, texture.get());
    for (std::size_t i = 0; i < faces.size() && i < 6; ++i) {
        const GLenum target = GL_TEXTURE_CUBE_MAP_POSITIVE_X + static_cast<GLenum>(i);
        const Image image(faces[i], IMAGE_RGB);
        if (image.loaded()) {
            uploadPackedImage(target, image.width, image.height, GL_RGB, image.pixels);
        } else {
            // A full-size neutral face keeps the cube map complete and the
            // environment pass's whole-face copy valid.
            const std::vector<unsigned char> neutral(
                static_cast<std::size_t>(SKY_FACE_SIZE) * SKY_FACE_SIZE * 3, 128);
            uploadPackedImage(target, SKY_FACE_SIZE, SKY_FACE_SIZE, GL_RGB, neutral.data());
        }
    }
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    return texture;
}

Skybox::Skybox(std::string directory) {
    setup(std::move(directory));
}

void Skybox::release() {
    cubeMapTexture.release();
    vbo.release();
    vao.release();
}

void Skybox::setup(std::string directory) {
    release();  // a second setup lets the first sky go before it makes its own
    vao = GlVertexArray::generate();
    vbo = GlBuffer::generate();
    glBindVertexArray(vao.get());
    glBindBuffer(GL_ARRAY_BUFFER, vbo.get());
    glBufferData(GL_ARRAY_BUFFER, sizeof(SKYBOX_VERTICES), SKYBOX_VERTICES, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 3 * sizeof(float), nullptr);
    glBindVertexArray(0);

    const std::vector<std::string> faces = {directory + "/right.jpg", directory + "/left.jpg",
                                            directory + "/top.jpg",   directory + "/bottom.jpg",
                                            directory + "/back.jpg",  directory + "/front.jpg"};
    cubeMapTexture = loadCubeMap(faces);
}

void Skybox::draw(GLuint program) const {
    // The cube sits at depth 1.0, which only LEQUAL lets through.
    glDepthFunc(GL_LEQUAL);
    glUseProgram(program);
    glUniformMatrix4fv(glGetUniformLocation(program, "view"), 1, GL_FALSE, glm::value_ptr(view));
    glUniformMatrix4fv(glGetUniformLocation(program, "projection"), 1, GL_FALSE,
                       glm::value_ptr(projection));
    glBindVertexArray(vao.get());
    glActiveTexture(GL_TEXTURE0);
    glUniform1i(glGetUniformLocation(program, "skybox"), 0);
    glBindTexture(GL_TEXTURE_CUBE_MAP, cubeMapTexture.get());
    glDrawArrays(GL_TRIANGLES, 0, 36);
    glBindVertexArray(0);
    glDepthFunc(GL_LESS);
}
