#include "gfx/texture.h"

#include "gfx/image.h"

void uploadPackedImage(GLenum target, GLsizei width, GLsizei height, GLenum format,
                       const unsigned char* pixels) {
    GLint previousAlignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &previousAlignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(target, 0, format, width, height, 0, format, GL_UNSIGNED_BYTE, pixels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, previousAlignment);
}

void fillTexture2D(GLuint texture, const std::string& path) {
    const Image image(path, IMAGE_RGB);
    glBindTexture(GL_TEXTURE_2D, texture);
    if (image.loaded()) {
        uploadPackedImage(GL_TEXTURE_2D, image.width, image.height, GL_RGB, image.pixels);
    } else {
        // A missing texture shows as flat grey rather than sampling black.
        const unsigned char grey[3] = {128, 128, 128};
        uploadPackedImage(GL_TEXTURE_2D, 1, 1, GL_RGB, grey);
    }
    glGenerateMipmap(GL_TEXTURE_2D);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

GlTexture loadTextureFromFile(const char* file, std::string directory) {
    const std::string path = directory + "/" + (file ? file : "");
    GlTexture texture = GlTexture::generate();
    fillTexture2D(texture.get(), path);
    glBindTexture(GL_TEXTURE_2D, 0);
    return texture;
}
