// 2D textures made from image files that model materials name.
#pragma once

#include <GL/glew.h>

#include <string>

#include "gfx/gl_handle.h"

// Loads directory + "/" + file as a new mipmapped RGB texture and returns its
// owner; nothing stays bound to GL_TEXTURE_2D. An image that cannot be decoded
// still gives a usable texture: one neutral grey texel, and nothing printed.
// Every call makes a new texture object.
GlTexture loadTextureFromFile(const char* file, std::string directory);

// Fills the texture (bound to GL_TEXTURE_2D on the active unit, and left
// bound) from the image at path: RGB, mipmapped, repeating, trilinear. An
// image that cannot be decoded becomes one neutral grey texel, silently.
void fillTexture2D(GLuint texture, const std::string& path);

// Uploads tightly packed rows of any width to the bound target: the unpack
// alignment is 1 for the upload and put back afterwards.
void uploadPackedImage(GLenum target, GLsizei width, GLsizei height, GLenum format,
                       const unsigned char* pixels);
