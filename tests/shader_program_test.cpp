#include "gfx/shader_program.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <glm/gtc/type_ptr.hpp>
#include <string>
#include <vector>

#include "gfx/mesh.h"
#include "render/maths.h"
#include "tests/support/game_process.h"
#include "tests/support/gl_context.h"

namespace {

const char* const READ_FAILURE = "ERROR::SHADER::FILE_NOT_SUCCESFULLY_READ\n";

const char* const VALID_VERTEX = R"(#version 330 core
layout(location = 0) in vec3 aPos;
void main() { gl_Position = vec4(aPos, 1.0); }
)";

const char* const VALID_FRAGMENT = R"(#version 330 core
out vec4 FragColor;
void main() { FragColor = vec4(1.0); }
)";

std::string writeFile(const std::string& dir, const std::string& name, const std::string& text) {
    const std::string path = dir + "/" + name;
    std::ofstream(path) << text;
    return path;
}

int countOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

std::string shaderPath(const std::string& name) {
    return sourcePath("Vrom2/shader/" + name);
}

ShaderProgram buildGameProgram(const std::string& base, bool withGeometry) {
    const std::string vert = shaderPath(base + ".vert");
    const std::string frag = shaderPath(base + ".frag");
    const std::string geom = shaderPath(base + ".geom");
    return withGeometry ? ShaderProgram(vert.c_str(), frag.c_str(), geom.c_str())
                        : ShaderProgram(vert.c_str(), frag.c_str());
}

bool isActive(GLuint program, const char* name) {
    return glGetUniformLocation(program, name) != -1;
}

void setMatrix(GLuint program, const std::string& name, const mat4& m) {
    glUniformMatrix4fv(glGetUniformLocation(program, name.c_str()), 1, GL_FALSE, glm::value_ptr(m));
}

// The six face matrices of a cube map centred on c, in layer order.
std::array<mat4, 6> faceMatrices(const vec3& c) {
    const mat4 projection = perspective(90.0f, 1.0f, 1.0f, 50.0f);
    const vec3 dirs[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    const vec3 ups[6] = {{0, -1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}, {0, -1, 0}, {0, -1, 0}};
    std::array<mat4, 6> result;
    for (int i = 0; i < 6; ++i) {
        result[i] = projection * lookAt(c, c + dirs[i], ups[i]);
    }
    return result;
}

// A closed box around c whose six walls lie at a different distance each
// (+X 2, -X 3, +Y 4, -Y 5, +Z 6, -Z 7), normals pointing inwards, and each
// wall's texture coordinate u = (wall + 0.5) / 6.
Mesh boxAround(const vec3& c) {
    const float dist[6] = {2, 3, 4, 5, 6, 7};
    std::vector<Vertex> vertices;
    std::vector<unsigned int> indices;
    for (int wall = 0; wall < 6; ++wall) {
        const int axis = wall / 2;
        const float sign = wall % 2 == 0 ? 1.0f : -1.0f;
        const int a = (axis + 1) % 3;
        const int b = (axis + 2) % 3;
        vec3 normal(0.0f);
        normal[axis] = -sign;
        const glm::vec2 uv((wall + 0.5f) / 6.0f, 0.5f);
        const unsigned int first = static_cast<unsigned int>(vertices.size());
        for (int corner = 0; corner < 4; ++corner) {
            vec3 p(0.0f);
            p[axis] = sign * dist[wall];
            p[a] = (corner & 1 ? 1.0f : -1.0f) * 20.0f;
            p[b] = (corner & 2 ? 1.0f : -1.0f) * 20.0f;
            vertices.push_back({c + p, normal, uv});
        }
        for (unsigned int i : {0u, 1u, 2u, 1u, 3u, 2u}) {
            indices.push_back(first + i);
        }
    }
    return Mesh(std::move(vertices), std::move(indices), {});
}

GLuint makeCubeTexture(int size, GLenum internalFormat, GLenum format, GLenum type) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_CUBE_MAP, texture);
    for (int i = 0; i < 6; ++i) {
        glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + i, 0, internalFormat, size, size, 0, format,
                     type, nullptr);
    }
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    return texture;
}

// A depth cube map already cleared to the given depth, for shadow lookups.
GLuint clearedDepthCube(float depth) {
    const GLuint cube = makeCubeTexture(16, GL_DEPTH_COMPONENT, GL_DEPTH_COMPONENT, GL_FLOAT);
    GLuint fbo = 0;
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferTexture(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, cube, 0);
    glDrawBuffer(GL_NONE);
    glReadBuffer(GL_NONE);
    glClearDepth(depth);
    glClear(GL_DEPTH_BUFFER_BIT);
    glClearDepth(1.0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &fbo);
    return cube;
}

GLuint solidTexture(unsigned char r, unsigned char g, unsigned char b) {
    const unsigned char texel[4] = {r, g, b, 255};
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);
    return texture;
}

}  // namespace

TEST(ShaderProgram, UnreadableFileReportsOnceAndStillGivesAProgram) {
    ASSERT_TRUE(testGlContext());
    const std::string dir = scratchDirectory("shader_missing");
    const std::string frag = writeFile(dir, "ok.frag", VALID_FRAGMENT);
    const std::string missing = dir + "/missing.vert";

    StdoutCapture two;
    const ShaderProgram twoFiles(missing.c_str(), frag.c_str());
    const std::string twoText = two.text();
    EXPECT_EQ(countOf(twoText, READ_FAILURE), 1);
    EXPECT_EQ(twoText.find(READ_FAILURE), 0u) << "the read message comes first";
    // The readable fragment file is compiled from empty text too.
    EXPECT_EQ(countOf(twoText, "ERROR::SHADER::VERTEX::COMPILATION_FAILED\n"), 1);
    EXPECT_EQ(countOf(twoText, "ERROR::SHADER::FRAGMENT::COMPILATION_FAILED\n"), 1);
    EXPECT_EQ(countOf(twoText, "ERROR::SHADER::PROGRAM::LINKING_FAILED\n"), 1);
    EXPECT_LT(twoText.find("VERTEX::COMPILATION"), twoText.find("FRAGMENT::COMPILATION"));
    EXPECT_LT(twoText.find("FRAGMENT::COMPILATION"), twoText.find("LINKING_FAILED"));
    EXPECT_NE(twoFiles.id(), 0u);
    EXPECT_TRUE(glIsProgram(twoFiles.id()));

    // A missing geometry file empties every stage as well.
    const std::string vert = writeFile(dir, "ok.vert", VALID_VERTEX);
    StdoutCapture three;
    const ShaderProgram threeFiles(vert.c_str(), frag.c_str(), missing.c_str());
    const std::string threeText = three.text();
    EXPECT_EQ(countOf(threeText, READ_FAILURE), 1);
    EXPECT_EQ(countOf(threeText, "ERROR::SHADER::VERTEX::COMPILATION_FAILED\n"), 1);
    EXPECT_EQ(countOf(threeText, "ERROR::SHADER::FRAGMENT::COMPILATION_FAILED\n"), 1);
    EXPECT_EQ(countOf(threeText, "ERROR::SHADER::GEOMETRY::COMPILATION_FAILED\n"), 1);
    EXPECT_EQ(countOf(threeText, "ERROR::SHADER::PROGRAM::LINKING_FAILED\n"), 1);
    EXPECT_TRUE(glIsProgram(threeFiles.id()));
}

TEST(ShaderProgram, EmptyFileIsReadButDoesNotCompile) {
    ASSERT_TRUE(testGlContext());
    const std::string dir = scratchDirectory("shader_empty");
    const std::string vert = writeFile(dir, "empty.vert", "");
    const std::string frag = writeFile(dir, "ok.frag", VALID_FRAGMENT);

    StdoutCapture capture;
    const ShaderProgram program(vert.c_str(), frag.c_str());
    const std::string text = capture.text();
    EXPECT_EQ(text.find("FILE_NOT_SUCCESFULLY_READ"), std::string::npos);
    EXPECT_EQ(countOf(text, "ERROR::SHADER::VERTEX::COMPILATION_FAILED\n"), 1);
    EXPECT_EQ(text.find("FRAGMENT"), std::string::npos);
    EXPECT_TRUE(glIsProgram(program.id()));
}

TEST(ShaderProgram, CompileErrorPrintsTheStageMessageThenTheLog) {
    ASSERT_TRUE(testGlContext());
    const std::string dir = scratchDirectory("shader_syntax");
    const std::string vert = writeFile(dir, "ok.vert", VALID_VERTEX);
    const std::string frag =
        writeFile(dir, "broken.frag", "#version 330 core\nvoid main() { x = ; }\n");

    StdoutCapture capture;
    const ShaderProgram program(vert.c_str(), frag.c_str());
    const std::string text = capture.text();
    const std::string header = "ERROR::SHADER::FRAGMENT::COMPILATION_FAILED\n";
    ASSERT_EQ(text.find(header), 0u) << text;
    // The driver's log follows on the next line and is ended by a newline.
    const std::string log =
        text.substr(header.size(), text.find("ERROR::SHADER::PROGRAM") - header.size());
    EXPECT_NE(log.find("error"), std::string::npos) << log;
    EXPECT_EQ(log.back(), '\n');
    EXPECT_EQ(text.find("VERTEX"), std::string::npos);
    EXPECT_EQ(countOf(text, "ERROR::SHADER::PROGRAM::LINKING_FAILED\n"), 1);
    EXPECT_TRUE(glIsProgram(program.id()));
}

TEST(ShaderProgram, SameFilesTwiceGiveTwoPrograms) {
    ASSERT_TRUE(testGlContext());
    const std::string dir = scratchDirectory("shader_twice");
    const std::string vert = writeFile(dir, "ok.vert", VALID_VERTEX);
    const std::string frag = writeFile(dir, "ok.frag", VALID_FRAGMENT);
    StdoutCapture capture;
    const ShaderProgram first(vert.c_str(), frag.c_str());
    const ShaderProgram second(vert.c_str(), frag.c_str());
    EXPECT_EQ(capture.text(), "");
    EXPECT_NE(first.id(), second.id());
    GLint linked = 0;
    glGetProgramiv(second.id(), GL_LINK_STATUS, &linked);
    EXPECT_TRUE(linked);
}

TEST(GameShaders, AllSevenProgramsBuildSilentlyWithTheirUniforms) {
    ASSERT_TRUE(testGlContext());
    StdoutCapture capture;
    const ShaderProgram environment = buildGameProgram("environment", false);
    const ShaderProgram scene = buildGameProgram("shader", false);
    const ShaderProgram sceneB = buildGameProgram("shader", false);
    const ShaderProgram sky = buildGameProgram("sky", false);
    const ShaderProgram shadow = buildGameProgram("shadow", true);
    const ShaderProgram cubemap = buildGameProgram("cubemap", true);
    const ShaderProgram cubemapSky = buildGameProgram("cubemapsky", true);
    EXPECT_EQ(capture.text(), "");

    for (const char* name :
         {"model", "view", "projection", "cameraPos", "lightPos", "far_plane", "skybox", "depthMap",
          "texture_diffuse1", "texture_specular1", "texture_reflection1"}) {
        EXPECT_TRUE(isActive(scene.id(), name)) << "scene: " << name;
    }
    EXPECT_NE(scene.id(), sceneB.id());
    for (const char* name : {"model", "view", "projection", "cameraPos", "skybox",
                             "texture_diffuse1", "texture_reflection1"}) {
        EXPECT_TRUE(isActive(environment.id(), name)) << "environment: " << name;
    }
    for (const char* name : {"view", "projection", "skybox"}) {
        EXPECT_TRUE(isActive(sky.id(), name)) << "sky: " << name;
    }
    for (const char* name :
         {"model", "shadowMatrices[0]", "shadowMatrices[5]", "far_plane", "lightPos"}) {
        EXPECT_TRUE(isActive(shadow.id(), name)) << "shadow: " << name;
    }
    // The shadow map is bound while it is being written: never sample it there.
    EXPECT_FALSE(isActive(shadow.id(), "depthMap"));
    for (const char* name : {"model", "envMatrices[0]", "envMatrices[5]", "far_plane", "lightPos",
                             "depthMap", "texture_diffuse1"}) {
        EXPECT_TRUE(isActive(cubemap.id(), name)) << "cubemap: " << name;
    }
    for (int i = 0; i < 6; ++i) {
        const std::string name = "envMatrices[" + std::to_string(i) + "]";
        EXPECT_TRUE(isActive(cubemapSky.id(), name.c_str())) << "cubemapsky: " << name;
    }
    EXPECT_TRUE(isActive(cubemapSky.id(), "cmprojection"));
}

// Renders a box around a light into layered cube maps with the shadow and
// environment programs: every face must receive its own wall.
TEST(GameShaders, ShadowAndEnvironmentProgramsFillEachCubeFace) {
    ASSERT_TRUE(testGlContext());
    const int size = 32;
    const vec3 light(10.0f, 2.0f, -5.0f);
    const std::array<mat4, 6> faces = faceMatrices(light);
    const Mesh box = boxAround(light);
    const float wallDistance[6] = {2, 3, 4, 5, 6, 7};

    const ShaderProgram shadow = buildGameProgram("shadow", true);
    const GLuint depthCube =
        makeCubeTexture(size, GL_DEPTH_COMPONENT, GL_DEPTH_COMPONENT, GL_FLOAT);
    GLuint fbo = 0;
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferTexture(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, depthCube, 0);
    glDrawBuffer(GL_NONE);
    glReadBuffer(GL_NONE);
    ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
    glViewport(0, 0, size, size);
    glClear(GL_DEPTH_BUFFER_BIT);
    glUseProgram(shadow.id());
    for (int i = 0; i < 6; ++i) {
        setMatrix(shadow.id(), "shadowMatrices[" + std::to_string(i) + "]", faces[i]);
    }
    setMatrix(shadow.id(), "model", mat4(1.0f));
    glUniform1f(glGetUniformLocation(shadow.id(), "far_plane"), 50.0f);
    glUniform3fv(glGetUniformLocation(shadow.id(), "lightPos"), 1, glm::value_ptr(light));
    box.draw(shadow.id());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);

    std::vector<float> depth(size * size);
    glBindTexture(GL_TEXTURE_CUBE_MAP, depthCube);
    for (int i = 0; i < 6; ++i) {
        glGetTexImage(GL_TEXTURE_CUBE_MAP_POSITIVE_X + i, 0, GL_DEPTH_COMPONENT, GL_FLOAT,
                      depth.data());
        const float centre = depth[(size / 2) * size + size / 2];
        EXPECT_NEAR(centre, wallDistance[i] / 50.0f, 0.004f) << "shadow face " << i;
    }

    // The environment program: each wall's own colour on its own face.
    const ShaderProgram cubemap = buildGameProgram("cubemap", true);
    const unsigned char palette[6][3] = {{255, 0, 0},   {0, 255, 0},   {0, 0, 255},
                                         {255, 255, 0}, {0, 255, 255}, {255, 0, 255}};
    GLuint stripe = 0;
    glGenTextures(1, &stripe);
    glBindTexture(GL_TEXTURE_2D, stripe);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 6, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, palette);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    const GLuint colourCube = makeCubeTexture(size, GL_RGB, GL_RGB, GL_UNSIGNED_BYTE);
    const GLuint envDepth = makeCubeTexture(size, GL_DEPTH_COMPONENT, GL_DEPTH_COMPONENT, GL_FLOAT);
    const GLuint unshadowed = clearedDepthCube(1.0f);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferTexture(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, envDepth, 0);
    glFramebufferTexture(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, colourCube, 0);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glUseProgram(cubemap.id());
    for (int i = 0; i < 6; ++i) {
        setMatrix(cubemap.id(), "envMatrices[" + std::to_string(i) + "]", faces[i]);
    }
    setMatrix(cubemap.id(), "model", mat4(1.0f));
    glUniform1f(glGetUniformLocation(cubemap.id(), "far_plane"), 50.0f);
    glUniform3fv(glGetUniformLocation(cubemap.id(), "lightPos"), 1, glm::value_ptr(light));
    glActiveTexture(GL_TEXTURE4);
    glBindTexture(GL_TEXTURE_CUBE_MAP, unshadowed);
    glUniform1i(glGetUniformLocation(cubemap.id(), "depthMap"), 4);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, stripe);
    glUniform1i(glGetUniformLocation(cubemap.id(), "texture_diffuse1"), 0);
    box.draw(cubemap.id());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    std::vector<unsigned char> rgb(size * size * 3);
    glBindTexture(GL_TEXTURE_CUBE_MAP, colourCube);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    for (int i = 0; i < 6; ++i) {
        glGetTexImage(GL_TEXTURE_CUBE_MAP_POSITIVE_X + i, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        const unsigned char* centre = &rgb[((size / 2) * size + size / 2) * 3];
        for (int channel = 0; channel < 3; ++channel) {
            if (palette[i][channel]) {
                EXPECT_GT(centre[channel], 60) << "env face " << i << " channel " << channel;
            } else {
                EXPECT_EQ(centre[channel], 0) << "env face " << i << " channel " << channel;
            }
        }
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glDeleteFramebuffers(1, &fbo);
    const GLuint textures[5] = {depthCube, stripe, colourCube, envDepth, unshadowed};
    glDeleteTextures(5, textures);
}

// The scene program under its light: shadowed surfaces keep the sky ambient
// only, lit ones get the point light on top, and a surface far from the light
// stays readable.
TEST(GameShaders, SceneProgramShadowsAndKeepsAFloorOfAmbient) {
    ASSERT_TRUE(testGlContext());
    const ShaderProgram scene = buildGameProgram("shader", false);
    // A wall in the plane z = 0 filling the target with identity matrices.
    std::vector<Vertex> vertices;
    for (float y : {-1.0f, 1.0f}) {
        for (float x : {-1.0f, 1.0f}) {
            vertices.push_back({vec3(x, y, 0.0f), vec3(0, 0, 1), glm::vec2(0.5f)});
        }
    }
    const Mesh wall(vertices, {0, 1, 2, 1, 3, 2}, {});

    GLuint fbo = 0;
    GLuint colour = 0;
    glGenFramebuffers(1, &fbo);
    glGenRenderbuffers(1, &colour);
    glBindRenderbuffer(GL_RENDERBUFFER, colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 8, 8);
    const GLuint white = solidTexture(255, 255, 255);
    const GLuint black = solidTexture(0, 0, 0);
    const GLuint sky = makeCubeTexture(4, GL_RGB, GL_RGB, GL_UNSIGNED_BYTE);
    const std::vector<unsigned char> grey(4 * 4 * 3, 128);
    glBindTexture(GL_TEXTURE_CUBE_MAP, sky);
    for (int i = 0; i < 6; ++i) {
        glTexSubImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + i, 0, 0, 0, 4, 4, GL_RGB, GL_UNSIGNED_BYTE,
                        grey.data());
    }
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    const GLuint nothingInTheWay = clearedDepthCube(1.0f);
    const GLuint blockerAtOneUnit = clearedDepthCube(1.0f / 50.0f);

    auto brightness = [&](const vec3& light, GLuint depthMap) {
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
        glViewport(0, 0, 8, 8);
        glDisable(GL_DEPTH_TEST);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glUseProgram(scene.id());
        setMatrix(scene.id(), "model", mat4(1.0f));
        setMatrix(scene.id(), "view", mat4(1.0f));
        setMatrix(scene.id(), "projection", mat4(1.0f));
        glUniform3f(glGetUniformLocation(scene.id(), "cameraPos"), 0.0f, 0.0f, 5.0f);
        glUniform3fv(glGetUniformLocation(scene.id(), "lightPos"), 1, glm::value_ptr(light));
        glUniform1f(glGetUniformLocation(scene.id(), "far_plane"), 50.0f);
        const GLuint units[5] = {white, black, black, sky, depthMap};
        const char* names[5] = {"texture_diffuse1", "texture_specular1", "texture_reflection1",
                                "skybox", "depthMap"};
        for (int unit = 0; unit < 5; ++unit) {
            glActiveTexture(GL_TEXTURE0 + unit);
            glBindTexture(unit < 3 ? GL_TEXTURE_2D : GL_TEXTURE_CUBE_MAP, units[unit]);
            glUniform1i(glGetUniformLocation(scene.id(), names[unit]), unit);
        }
        glActiveTexture(GL_TEXTURE0);
        wall.draw(scene.id());
        unsigned char pixel[4] = {0, 0, 0, 0};
        glReadPixels(4, 4, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glEnable(GL_DEPTH_TEST);
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        EXPECT_TRUE(pixel[0] == pixel[1] && pixel[1] == pixel[2]) << "white under a grey sky";
        return pixel[0] / 255.0f;
    };

    const float lit = brightness(vec3(0.0f, 0.0f, 4.0f), nothingInTheWay);
    const float shadowed = brightness(vec3(0.0f, 0.0f, 4.0f), blockerAtOneUnit);
    const float farAway = brightness(vec3(0.0f, 0.0f, 70.0f), nothingInTheWay);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    EXPECT_GT(lit, shadowed + 0.3f);
    EXPECT_GE(shadowed, 0.33f);
    EXPECT_LE(shadowed, 0.7f);
    EXPECT_GE(farAway, 0.33f);

    glDeleteFramebuffers(1, &fbo);
    glDeleteRenderbuffers(1, &colour);
    const GLuint textures[5] = {white, black, sky, nothingInTheWay, blockerAtOneUnit};
    glDeleteTextures(5, textures);
}

// Players run these shaders on other drivers than the one the tests use: the
// Khronos reference compiler must accept every stage and link every program.
TEST(GameShaders, TheReferenceCompilerAcceptsEveryStageAndLinksEveryProgram) {
    ASSERT_EQ(std::system("command -v glslangValidator > /dev/null"), 0)
        << "glslangValidator (Debian package glslang-tools) is missing";
    const auto validate = [](const std::string& files) {
        const std::string output = commandOutput("cd '" + sourcePath("Vrom2/shader") +
                                                 "' && glslangValidator " + files + " 2>&1");
        return output;
    };
    const char* const stages[] = {"environment.vert", "environment.frag", "shader.vert",
                                  "shader.frag",      "sky.vert",         "sky.frag",
                                  "shadow.vert",      "shadow.frag",      "shadow.geom",
                                  "cubemap.vert",     "cubemap.frag",     "cubemap.geom",
                                  "cubemapsky.vert",  "cubemapsky.frag",  "cubemapsky.geom",
                                  "hud.vert",         "hud.frag"};
    for (const char* stage : stages) {
        const std::string output = validate(stage);
        EXPECT_EQ(output.find("ERROR"), std::string::npos) << stage << ":\n" << output;
        EXPECT_EQ(output.find("WARNING"), std::string::npos) << stage << ":\n" << output;
    }
    const char* const programs[] = {"environment.vert environment.frag",
                                    "shader.vert shader.frag",
                                    "sky.vert sky.frag",
                                    "shadow.vert shadow.geom shadow.frag",
                                    "cubemap.vert cubemap.geom cubemap.frag",
                                    "cubemapsky.vert cubemapsky.geom cubemapsky.frag",
                                    "hud.vert hud.frag"};
    for (const char* program : programs) {
        const std::string output = validate(std::string("-l ") + program);
        EXPECT_EQ(output.find("ERROR"), std::string::npos) << program << ":\n" << output;
    }
    // A broken stage is caught, so the checks above can fail.
    const std::string dir = scratchDirectory("glslang");
    const std::string broken =
        writeFile(dir, "broken.frag", "#version 330 core\nvoid main() { x; }\n");
    EXPECT_NE(commandOutput("glslangValidator '" + broken + "' 2>&1").find("ERROR"),
              std::string::npos);
}
