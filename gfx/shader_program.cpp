#include "gfx/shader_program.h"

#include <cstdio>
#include <iostream>
#include <string>

namespace {

// Sources of the stages; all empty when any file could not be read.
struct StageSources {
    std::string vertex;
    std::string fragment;
    std::string geometry;
};

// The whole file as text; false when it cannot be opened or a read fails
// part-way (a directory opens but cannot be read, for one).
bool readWholeFile(const char* path, std::string& text) {
    if (!path) {
        return false;
    }
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        return false;
    }
    char buffer[4096];
    size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, count);
    }
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

// Reads every file of the program. The texts are taken only after all files
// were read, so a failure anywhere leaves every stage empty.
StageSources readShaderSources(const char* vertexPath, const char* fragmentPath,
                               const char* geometryPath, bool withGeometry) {
    StageSources read;
    const bool ok = readWholeFile(vertexPath, read.vertex) &&
                    readWholeFile(fragmentPath, read.fragment) &&
                    (!withGeometry || readWholeFile(geometryPath, read.geometry));
    if (!ok) {
        std::cout << "ERROR::SHADER::FILE_NOT_SUCCESFULLY_READ" << std::endl;
        return StageSources();
    }
    return read;
}

GlShader compileShaderStage(GLenum stage, const std::string& source, const char* failureMessage,
                            GLint& success, char* infoLog) {
    GlShader shader(glCreateShader(stage));
    const char* text = source.c_str();
    glShaderSource(shader.get(), 1, &text, nullptr);
    glCompileShader(shader.get());
    glGetShaderiv(shader.get(), GL_COMPILE_STATUS, &success);
    if (!success) {
        infoLog[0] = '\0';
        glGetShaderInfoLog(shader.get(), 512, nullptr, infoLog);
        std::cout << failureMessage << infoLog << std::endl;
    }
    return shader;
}

GlProgram buildProgram(const char* vertexPath, const char* fragmentPath, const char* geometryPath,
                       bool withGeometry) {
    const StageSources sources =
        readShaderSources(vertexPath, fragmentPath, geometryPath, withGeometry);
    GLint success = 0;
    char infoLog[512];

    const GlShader vertex =
        compileShaderStage(GL_VERTEX_SHADER, sources.vertex,
                           "ERROR::SHADER::VERTEX::COMPILATION_FAILED\n", success, infoLog);
    const GlShader fragment =
        compileShaderStage(GL_FRAGMENT_SHADER, sources.fragment,
                           "ERROR::SHADER::FRAGMENT::COMPILATION_FAILED\n", success, infoLog);
    GlShader geometry;
    if (withGeometry) {
        geometry =
            compileShaderStage(GL_GEOMETRY_SHADER, sources.geometry,
                               "ERROR::SHADER::GEOMETRY::COMPILATION_FAILED\n", success, infoLog);
    }

    GlProgram program(glCreateProgram());
    glAttachShader(program.get(), vertex.get());
    glAttachShader(program.get(), fragment.get());
    if (withGeometry) {
        glAttachShader(program.get(), geometry.get());
    }
    glLinkProgram(program.get());
    glGetProgramiv(program.get(), GL_LINK_STATUS, &success);
    if (!success) {
        infoLog[0] = '\0';
        glGetProgramInfoLog(program.get(), 512, nullptr, infoLog);
        std::cout << "ERROR::SHADER::PROGRAM::LINKING_FAILED\n" << infoLog << std::endl;
    }
    // The stages are deleted on the way out: flagged now, freed by the
    // driver once the program lets go of them.
    return program;
}

}  // namespace

ShaderProgram::ShaderProgram(const char* vertexPath, const char* fragmentPath)
    : program(buildProgram(vertexPath, fragmentPath, nullptr, false)) {}

ShaderProgram::ShaderProgram(const char* vertexPath, const char* fragmentPath,
                             const char* geometryPath)
    : program(buildProgram(vertexPath, fragmentPath, geometryPath, true)) {}
