// One linked OpenGL program built from GLSL files. It owns the program
// object, which goes with it; move-only. Draw operations take the plain name,
// id(), which they never own.
#pragma once

#include <GL/glew.h>

#include "gfx/gl_handle.h"

class ShaderProgram {
public:
    GlProgram program;

    // Every problem (unreadable file, compile or link error) is printed and
    // construction goes on, so id() always names a program object.
    ShaderProgram(const char* vertexPath, const char* fragmentPath);
    ShaderProgram(const char* vertexPath, const char* fragmentPath, const char* geometryPath);

    GLuint id() const { return program.get(); }
};
