// One linked OpenGL program built from GLSL files. A plain value: copying it
// copies the name; the program object lives as long as the context.
#pragma once

#include <GL/glew.h>

class ShaderProgram {
public:
    GLuint id = 0;

    // Every problem (unreadable file, compile or link error) is printed and
    // construction goes on, so id always names a program object.
    ShaderProgram(const char* vertexPath, const char* fragmentPath);
    ShaderProgram(const char* vertexPath, const char* fragmentPath, const char* geometryPath);
};
