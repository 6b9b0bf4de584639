#include "gfx/skybox.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "gfx/shader_program.h"
#include "render/maths.h"
#include "tests/support/gl_context.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace {

const char* const FACE_FILES[6] = {"right.jpg",  "left.jpg", "top.jpg",
                                   "bottom.jpg", "back.jpg", "front.jpg"};
// One clearly different colour per face, in the order of FACE_FILES.
const unsigned char FACE_COLOURS[6][3] = {{220, 30, 30},  {30, 220, 30},  {30, 30, 220},
                                          {220, 220, 30}, {30, 220, 220}, {220, 30, 220}};

// Writes the six faces (size x size, one solid colour each); a face whose
// index is `skip` is left out.
std::string writeSky(const std::string& name, int size, int skip = -1) {
    const std::string dir = scratchDirectory(name);
    for (int face = 0; face < 6; ++face) {
        if (face == skip) {
            continue;
        }
        std::vector<unsigned char> rgb(static_cast<std::size_t>(size) * size * 3);
        for (std::size_t i = 0; i < rgb.size(); ++i) {
            rgb[i] = FACE_COLOURS[face][i % 3];
        }
        stbi_write_jpg((dir + "/" + FACE_FILES[face]).c_str(), size, size, 3, rgb.data(), 95);
    }
    return dir;
}

bool closeTo(const unsigned char* actual, const unsigned char* expected, int tolerance = 6) {
    for (int c = 0; c < 3; ++c) {
        if (std::abs(actual[c] - expected[c]) > tolerance) {
            return false;
        }
    }
    return true;
}

std::vector<unsigned char> readFace(GLuint cube, int face, int& size) {
    glBindTexture(GL_TEXTURE_CUBE_MAP, cube);
    const GLenum target = GL_TEXTURE_CUBE_MAP_POSITIVE_X + face;
    GLint width = 0;
    GLint height = 0;
    glGetTexLevelParameteriv(target, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(target, 0, GL_TEXTURE_HEIGHT, &height);
    size = width == height ? width : -1;
    std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (!rgb.empty()) {
        glGetTexImage(target, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    return rgb;
}

ShaderProgram skyProgram() {
    const std::string vert = sourcePath("Vrom2/shader/sky.vert");
    const std::string frag = sourcePath("Vrom2/shader/sky.frag");
    return ShaderProgram(vert.c_str(), frag.c_str());
}

// An off-screen colour + depth target for drawing the sky.
struct Target {
    GLuint fbo = 0;
    GLuint colour = 0;
    GLuint depth = 0;
    Target() {
        glGenFramebuffers(1, &fbo);
        glGenRenderbuffers(1, &colour);
        glGenRenderbuffers(1, &depth);
        glBindRenderbuffer(GL_RENDERBUFFER, colour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 16, 16);
        glBindRenderbuffer(GL_RENDERBUFFER, depth);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, 16, 16);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
        glViewport(0, 0, 16, 16);
    }
    ~Target() {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &fbo);
        const GLuint buffers[2] = {colour, depth};
        glDeleteRenderbuffers(2, buffers);
    }
    void clear(float depthValue) {
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClearDepth(depthValue);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glClearDepth(1.0);
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    }
    std::vector<unsigned char> centre() {
        std::vector<unsigned char> pixel(4);
        glReadPixels(8, 8, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel.data());
        return pixel;
    }
};

GLint depthFunction() {
    GLint function = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &function);
    return function;
}

}  // namespace

TEST(Skybox, EachImageLandsOnItsCubeFace) {
    ASSERT_TRUE(testGlContext());
    const std::string dir = writeSky("sky_faces", 16);
    StdoutCapture capture;
    const Skybox sky(dir);
    EXPECT_EQ(capture.text(), "");
    ASSERT_TRUE(glIsTexture(sky.cubeMapTexture.get()));
    EXPECT_EQ(sky.view, mat4(1.0f));
    EXPECT_EQ(sky.projection, mat4(1.0f));
    for (int face = 0; face < 6; ++face) {
        int size = 0;
        const std::vector<unsigned char> rgb = readFace(sky.cubeMapTexture.get(), face, size);
        ASSERT_EQ(size, 16) << "face " << face;
        EXPECT_TRUE(closeTo(&rgb[(8 * 16 + 8) * 3], FACE_COLOURS[face]))
            << FACE_FILES[face] << " on face " << face;
    }

    glBindTexture(GL_TEXTURE_CUBE_MAP, sky.cubeMapTexture.get());
    GLint minFilter = 0;
    GLint wrapR = 0;
    glGetTexParameteriv(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, &minFilter);
    glGetTexParameteriv(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R, &wrapR);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    EXPECT_EQ(minFilter, GL_LINEAR);
    EXPECT_EQ(wrapR, GL_CLAMP_TO_EDGE);
}

TEST(Skybox, DrawsAtTheFarPlaneAndPutsTheDepthTestBack) {
    ASSERT_TRUE(testGlContext());
    const std::string dir = writeSky("sky_draw", 16);
    Skybox sky(dir);
    const ShaderProgram program = skyProgram();
    Target target;

    // Looking along +X, then up: the camera's own position must not matter.
    const vec3 eye(40.0f, -3.0f, 12.0f);
    sky.projection = perspective(90.0f, 1.0f, 0.1f, 100.0f);
    sky.view = withoutTranslation(lookAt(eye, eye + vec3(1, 0, 0), vec3(0, 1, 0)));
    glDepthFunc(GL_GREATER);
    target.clear(1.0f);
    sky.draw(program.id());
    EXPECT_EQ(depthFunction(), GL_LESS);
    EXPECT_TRUE(closeTo(target.centre().data(), FACE_COLOURS[0])) << "right.jpg ahead";

    sky.view = withoutTranslation(lookAt(eye, eye + vec3(0, 1, 0), vec3(0, 0, -1)));
    glDepthFunc(GL_ALWAYS);
    target.clear(1.0f);
    sky.draw(program.id());
    EXPECT_EQ(depthFunction(), GL_LESS);
    EXPECT_TRUE(closeTo(target.centre().data(), FACE_COLOURS[2])) << "top.jpg above";

    // Anything already drawn nearer than the far plane hides the sky.
    target.clear(0.99f);
    sky.draw(program.id());
    const std::vector<unsigned char> hidden = target.centre();
    EXPECT_EQ(hidden[0] + hidden[1] + hidden[2], 0);

    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(static_cast<GLuint>(current), program.id());
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST(Skybox, MissingFacesStillGiveAFullSizeCubeMapThatCopies) {
    ASSERT_TRUE(testGlContext());
    const std::string dir = writeSky("sky_missing_top", SKY_FACE_SIZE, 2);
    StdoutCapture capture;
    const Skybox sky(dir);
    const Skybox nothing(scratchDirectory("sky_empty"));
    EXPECT_EQ(capture.text(), "");

    for (const Skybox* box : {&sky, &nothing}) {
        for (int face = 0; face < 6; ++face) {
            int size = 0;
            const std::vector<unsigned char> rgb = readFace(box->cubeMapTexture.get(), face, size);
            EXPECT_EQ(size, SKY_FACE_SIZE) << "face " << face;
        }
    }
    int size = 0;
    const std::vector<unsigned char> top = readFace(sky.cubeMapTexture.get(), 2, size);
    ASSERT_FALSE(top.empty());
    EXPECT_TRUE(top[0] == top[1] && top[1] == top[2]) << "a neutral placeholder";
    const std::vector<unsigned char> front = readFace(sky.cubeMapTexture.get(), 5, size);
    ASSERT_FALSE(front.empty());
    EXPECT_TRUE(closeTo(&front[0], FACE_COLOURS[5])) << "the other faces still load";

    // The environment map takes all six faces in one copy.
    ASSERT_NE(glCopyImageSubData, nullptr);
    GLuint copy = 0;
    glGenTextures(1, &copy);
    glBindTexture(GL_TEXTURE_CUBE_MAP, copy);
    for (int face = 0; face < 6; ++face) {
        glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GL_RGB, SKY_FACE_SIZE, SKY_FACE_SIZE,
                     0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    }
    // Copies need complete textures: no mipmap levels here either.
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    glGetError();
    glCopyImageSubData(sky.cubeMapTexture.get(), GL_TEXTURE_CUBE_MAP, 0, 0, 0, 0, copy,
                       GL_TEXTURE_CUBE_MAP, 0, 0, 0, 0, SKY_FACE_SIZE, SKY_FACE_SIZE, 6);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    const std::vector<unsigned char> copiedFront = readFace(copy, 5, size);
    EXPECT_TRUE(closeTo(&copiedFront[0], FACE_COLOURS[5]));
    glDeleteTextures(1, &copy);
}

TEST(Skybox, DestroyingASkyReleasesItsGlObjects) {
    ASSERT_TRUE(testGlContext());
    const std::string dir = writeSky("sky_release", 8);
    auto sky = std::make_unique<Skybox>(dir);
    const GLuint texture = sky->cubeMapTexture.get();
    const GLuint vao = sky->vao.get();
    const GLuint vbo = sky->vbo.get();
    ASSERT_TRUE(glIsTexture(texture) && glIsVertexArray(vao) && glIsBuffer(vbo));

    auto moved = std::make_unique<Skybox>(std::move(*sky));
    EXPECT_EQ(sky->cubeMapTexture.get(), 0u);
    EXPECT_EQ(sky->vao.get(), 0u);
    sky.reset();
    EXPECT_TRUE(glIsTexture(texture) && glIsVertexArray(vao) && glIsBuffer(vbo));

    moved.reset();
    EXPECT_FALSE(glIsTexture(texture));
    EXPECT_FALSE(glIsVertexArray(vao));
    EXPECT_FALSE(glIsBuffer(vbo));
}
