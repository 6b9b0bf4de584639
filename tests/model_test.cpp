#include "gfx/model.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "gfx/model_files.h"
#include "gfx/shader_program.h"
#include "tests/support/gl_context.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace {

// Three objects: a full-screen quad with diffuse, specular and reflection
// maps; a triangle sharing the quad's diffuse map; a triangle whose material
// names one file as both its diffuse and its specular map.
const char* const SCENE_OBJ = R"(mtllib scene.mtl
v -1 -1 0
v 1 -1 0
v 1 1 0
v -1 1 0
vt 0 0.25
vt 1 0.25
vt 1 1
vt 0 1
vn 0 0 1
o quad
usemtl full
f 1/1/1 2/2/1 3/3/1 4/4/1
o shared
usemtl shared
f 1/1/1 2/2/1 3/3/1
o twice
usemtl twice
f 1/1/1 3/3/1 4/4/1
)";

const char* const SCENE_MTL = R"(newmtl full
Kd 1 1 1
map_Kd diffuse.png
map_Ks specular.png
map_Ka reflection.png
newmtl shared
Kd 1 1 1
map_Kd diffuse.png
newmtl twice
Kd 1 1 1
map_Kd same.png
map_Ks same.png
)";

// Positions only: no normals, no texture coordinates, no material.
const char* const BARE_OBJ = R"(v 0 0 0
v 1 0 0
v 0 1 0
f 1 2 3
)";

const char* const PROBE_VERTEX = R"(#version 330 core
layout(location = 0) in vec3 aPos;
layout(location = 2) in vec2 aTexCoords;
out vec2 uv;
void main() { uv = aTexCoords; gl_Position = vec4(aPos, 1.0); }
)";

// Red wherever something is drawn; the samplers take part so they stay active.
const char* const PROBE_FRAGMENT = R"(#version 330 core
in vec2 uv;
out vec4 FragColor;
uniform sampler2D texture_diffuse1;
uniform sampler2D texture_diffuse2;
uniform sampler2D texture_specular1;
uniform sampler2D texture_reflection1;
void main() {
    vec4 all = texture(texture_diffuse1, uv) + texture(texture_diffuse2, uv) +
               texture(texture_specular1, uv) + texture(texture_reflection1, uv);
    FragColor = vec4(1.0, 0.0, 0.0, 1.0) + 1e-6 * all;
}
)";

void writeText(const std::string& path, const char* text) {
    std::ofstream(path) << text;
}

void writeImage(const std::string& path, unsigned char value) {
    const std::vector<unsigned char> rgb(4 * 4 * 3, value);
    stbi_write_png(path.c_str(), 4, 4, 3, rgb.data(), 4 * 3);
}

std::string writeScene(const std::string& name) {
    const std::string dir = scratchDirectory(name);
    writeText(dir + "/scene.obj", SCENE_OBJ);
    writeText(dir + "/scene.mtl", SCENE_MTL);
    writeImage(dir + "/diffuse.png", 200);
    writeImage(dir + "/specular.png", 100);
    writeImage(dir + "/reflection.png", 50);
    writeImage(dir + "/same.png", 25);
    return dir;
}

ShaderProgram probeProgram() {
    const std::string dir = scratchDirectory("model_probe_program");
    writeText(dir + "/probe.vert", PROBE_VERTEX);
    writeText(dir + "/probe.frag", PROBE_FRAGMENT);
    return ShaderProgram((dir + "/probe.vert").c_str(), (dir + "/probe.frag").c_str());
}

GLint samplerUnit(GLuint program, const char* name) {
    GLint unit = -1;
    glGetUniformiv(program, glGetUniformLocation(program, name), &unit);
    return unit;
}

// Draws the model into a small cleared target and reads its centre.
bool drawsAnything(const Model& model, GLuint program) {
    GLuint fbo = 0;
    GLuint colour = 0;
    glGenFramebuffers(1, &fbo);
    glGenRenderbuffers(1, &colour);
    glBindRenderbuffer(GL_RENDERBUFFER, colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 8, 8);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
    glViewport(0, 0, 8, 8);
    glDisable(GL_DEPTH_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glUseProgram(program);
    model.draw(program);
    unsigned char pixel[4] = {0, 0, 0, 0};
    glReadPixels(4, 4, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glEnable(GL_DEPTH_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glDeleteFramebuffers(1, &fbo);
    glDeleteRenderbuffers(1, &colour);
    return pixel[0] > 128;
}

// Every GL name the model holds: vertex arrays, buffers and textures.
struct Names {
    std::vector<GLuint> vertexArrays, buffers, textures;
};

Names namesOf(const Model& model) {
    Names names;
    for (const Mesh& mesh : model.meshes) {
        names.vertexArrays.push_back(mesh.vao.get());
        names.buffers.push_back(mesh.vbo.get());
        names.buffers.push_back(mesh.ebo.get());
    }
    for (const MeshTexture& texture : model.loadedTextures) {
        names.textures.push_back(texture.id);
    }
    return names;
}

int liveNames(const Names& names) {
    int live = 0;
    for (GLuint name : names.vertexArrays) {
        live += glIsVertexArray(name) ? 1 : 0;
    }
    for (GLuint name : names.buffers) {
        live += glIsBuffer(name) ? 1 : 0;
    }
    for (GLuint name : names.textures) {
        live += glIsTexture(name) ? 1 : 0;
    }
    return live;
}

}  // namespace

TEST(Model, ImportsMeshesVerticesAndSharedTextures) {
    ASSERT_TRUE(testGlContext());
    const std::string dir = writeScene("model_scene");
    StdoutCapture capture;
    const Model model((dir + "/scene.obj").c_str());
    EXPECT_EQ(capture.text(), "");
    EXPECT_EQ(model.directory, dir);
    ASSERT_EQ(model.meshes.size(), 3u);

    // The quad, triangulated; texture coordinates flipped in v.
    const Mesh& quad = model.meshes[0];
    ASSERT_EQ(quad.vertices.size(), 4u);
    EXPECT_EQ(quad.indices.size(), 6u);
    EXPECT_EQ(quad.vertices[1].position, vec3(1, -1, 0));
    EXPECT_EQ(quad.vertices[1].normal, vec3(0, 0, 1));
    EXPECT_FLOAT_EQ(quad.vertices[1].texCoords.x, 1.0f);
    EXPECT_FLOAT_EQ(quad.vertices[1].texCoords.y, 0.75f);
    for (unsigned int index : quad.indices) {
        EXPECT_LT(index, 4u);
    }
    EXPECT_EQ(model.meshes[1].indices.size(), 3u);

    ASSERT_EQ(quad.textures.size(), 3u);
    EXPECT_EQ(quad.textures[0].type, "texture_diffuse");
    EXPECT_EQ(quad.textures[1].type, "texture_specular");
    EXPECT_EQ(quad.textures[2].type, "texture_reflection");
    EXPECT_STREQ(quad.textures[2].path.C_Str(), "reflection.png");

    // The second mesh reuses the quad's diffuse texture instead of loading it again.
    ASSERT_EQ(model.meshes[1].textures.size(), 1u);
    EXPECT_EQ(model.meshes[1].textures[0].id, quad.textures[0].id);
    // One file as diffuse and specular map: loaded once, both records diffuse.
    const Mesh& twice = model.meshes[2];
    ASSERT_EQ(twice.textures.size(), 2u);
    EXPECT_EQ(twice.textures[0].type, "texture_diffuse");
    EXPECT_EQ(twice.textures[1].type, "texture_diffuse");
    EXPECT_EQ(twice.textures[0].id, twice.textures[1].id);
    EXPECT_EQ(model.loadedTextures.size(), 4u);

    // All GL names are live after the mesh list has grown and moved.
    const Names names = namesOf(model);
    EXPECT_EQ(liveNames(names), 3 + 6 + 4);
}

TEST(Model, MeshesNameTheirSamplersByTypeAndUnit) {
    ASSERT_TRUE(testGlContext());
    const std::string dir = writeScene("model_samplers");
    const Model model((dir + "/scene.obj").c_str());
    ASSERT_EQ(model.meshes.size(), 3u);
    const ShaderProgram probe = probeProgram();
    glUseProgram(probe.id());

    model.meshes[0].draw(probe.id());
    EXPECT_EQ(samplerUnit(probe.id(), "texture_diffuse1"), 0);
    EXPECT_EQ(samplerUnit(probe.id(), "texture_specular1"), 1);
    EXPECT_EQ(samplerUnit(probe.id(), "texture_reflection1"), 2);
    GLint active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(active, GL_TEXTURE0);
    GLint bound = 0;
    glActiveTexture(GL_TEXTURE1);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(static_cast<GLuint>(bound), model.meshes[0].textures[1].id);

    // Numbers restart per mesh and count per type: the second diffuse record
    // becomes texture_diffuse2 on unit 1 and no specular sampler is touched.
    glUniform1i(glGetUniformLocation(probe.id(), "texture_specular1"), 7);
    model.meshes[2].draw(probe.id());
    EXPECT_EQ(samplerUnit(probe.id(), "texture_diffuse1"), 0);
    EXPECT_EQ(samplerUnit(probe.id(), "texture_diffuse2"), 1);
    EXPECT_EQ(samplerUnit(probe.id(), "texture_specular1"), 7);

    EXPECT_TRUE(drawsAnything(model, probe.id()));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST(Model, FailedImportReportsAndDrawsNothing) {
    ASSERT_TRUE(testGlContext());
    const std::string dir = scratchDirectory("model_missing");
    StdoutCapture capture;
    const Model model((dir + "/missing.obj").c_str());
    const std::string text = capture.text();
    EXPECT_EQ(text.rfind("ERROR::ASSIMP:: ", 0), 0u) << text;
    EXPECT_GT(text.size(), std::string("ERROR::ASSIMP:: \n").size()) << "the importer's reason";
    EXPECT_EQ(text.find('\n'), text.size() - 1) << "one line";
    EXPECT_TRUE(model.meshes.empty());
    EXPECT_TRUE(model.directory.empty());
    EXPECT_FALSE(drawsAnything(model, probeProgram().id()));
}

TEST(Model, LoadsBareMeshesAndPathsWithoutSlash) {
    ASSERT_TRUE(testGlContext());
    const std::string dir = scratchDirectory("model_bare");
    writeText(dir + "/bare.obj", BARE_OBJ);
    StdoutCapture capture;
    const Model bare((dir + "/bare.obj").c_str());
    EXPECT_EQ(capture.text(), "");
    ASSERT_EQ(bare.meshes.size(), 1u);
    ASSERT_EQ(bare.meshes[0].vertices.size(), 3u);
    for (const Vertex& vertex : bare.meshes[0].vertices) {
        EXPECT_EQ(vertex.normal, vec3(0.0f));
        EXPECT_EQ(vertex.texCoords, glm::vec2(0.0f));
    }
    EXPECT_EQ(bare.meshes[0].vertices[2].position, vec3(0, 1, 0));
    EXPECT_TRUE(bare.meshes[0].textures.empty());

    // Relative to the working directory, with no "/" at all: the directory is
    // the whole path, and the texture lookup under it fails silently.
    const std::string scene = writeScene("model_noslash");
    std::filesystem::rename(scene + "/scene.obj", scene + "/plain.obj");
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(scene);
    StdoutCapture plainCapture;
    const Model plain("plain.obj");
    const std::string plainText = plainCapture.text();
    std::filesystem::current_path(previous);
    EXPECT_EQ(plainText, "");
    EXPECT_EQ(plain.directory, "plain.obj");
    ASSERT_EQ(plain.meshes.size(), 3u);
    EXPECT_TRUE(glIsTexture(plain.meshes[0].textures[0].id));
}

TEST(Model, DestroyingAModelReleasesItsGlObjects) {
    ASSERT_TRUE(testGlContext());
    const std::string dir = writeScene("model_release");
    auto model = std::make_unique<Model>((dir + "/scene.obj").c_str());
    const Names names = namesOf(*model);
    ASSERT_EQ(liveNames(names), 13);

    // Moving hands everything over; the empty source releases nothing.
    auto moved = std::make_unique<Model>(std::move(*model));
    EXPECT_TRUE(model->meshes.empty());
    EXPECT_TRUE(model->loadedTextures.empty());
    model.reset();
    EXPECT_EQ(liveNames(names), 13);
    EXPECT_TRUE(drawsAnything(*moved, probeProgram().id()));

    moved.reset();
    EXPECT_EQ(liveNames(names), 0);
}

// The importer opens what a model names by path and reads it whole: a named
// pipe in place of the model or its materials would block the game for
// ever, a huge file would take all memory.
TEST(Model, OnlyPlainFilesOfASaneSizeAreReadAndNothingWaitsForAWriter) {
    ASSERT_TRUE(testGlContext());
    const std::string dir = scratchDirectory("model_not_plain");
    ASSERT_EQ(mkfifo((dir + "/pipe.obj").c_str(), 0600), 0);
    std::filesystem::create_directory(dir + "/folder.obj");
    writeText(dir + "/huge.obj", BARE_OBJ);
    std::filesystem::resize_file(dir + "/huge.obj", MAX_MODEL_FILE_BYTES + 1);
    for (const char* name : {"pipe.obj", "folder.obj", "huge.obj"}) {
        SCOPED_TRACE(name);
        StdoutCapture capture;
        const Model model((dir + "/" + name).c_str());
        const std::string text = capture.text();
        EXPECT_EQ(text.rfind("ERROR::ASSIMP:: ", 0), 0u) << text;
        EXPECT_EQ(text.find('\n'), text.size() - 1) << "one line";
        EXPECT_TRUE(model.meshes.empty());
    }
    // Materials from a pipe: the model loads without them, as without the file.
    ASSERT_EQ(mkfifo((dir + "/pipe.mtl").c_str(), 0600), 0);
    writeText(dir + "/piped.obj", (std::string("mtllib pipe.mtl\nusemtl a\n") + BARE_OBJ).c_str());
    StdoutCapture capture;
    const Model piped((dir + "/piped.obj").c_str());
    EXPECT_EQ(capture.text(), "");
    ASSERT_EQ(piped.meshes.size(), 1u);
    EXPECT_TRUE(piped.meshes[0].textures.empty());
}

// Triangulating a face costs about the square of its corners: a line of a
// million corners (2 MB) would keep the importer busy for hours. Faces past
// the bound are refused (ten thousand corners here, so that the sanitized
// build's string checks read the line quickly); polygons of sane sizes still
// become triangles.
TEST(Model, AFaceOfAbsurdlyManyCornersIsRefusedAndPolygonsStillTriangulate) {
    ASSERT_TRUE(testGlContext());
    const std::string dir = scratchDirectory("model_corners");
    // A convex polygon of 200 corners on a circle.
    std::string polygon;
    for (int corner = 0; corner < 200; ++corner) {
        const double angle = 2.0 * 3.14159265358979 * corner / 200.0;
        polygon +=
            "v " + std::to_string(std::cos(angle)) + " " + std::to_string(std::sin(angle)) + " 0\n";
    }
    polygon += "f";
    for (int corner = 0; corner < 200; ++corner) {
        polygon += " " + std::to_string(corner + 1);
    }
    writeText(dir + "/polygon.obj", (polygon + "\n").c_str());
    std::string absurd = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf";
    for (int corner = 0; corner < 10000; ++corner) {
        absurd += corner % 3 ? " 2" : " 1";
    }
    writeText(dir + "/absurd.obj", (absurd + " 3\n").c_str());

    StdoutCapture capture;
    const Model sane((dir + "/polygon.obj").c_str());
    EXPECT_EQ(capture.text(), "");
    ASSERT_EQ(sane.meshes.size(), 1u);
    EXPECT_EQ(sane.meshes[0].indices.size(), 198u * 3u);
    StdoutCapture absurdCapture;
    const Model model((dir + "/absurd.obj").c_str());
    EXPECT_EQ(absurdCapture.text(),
              "ERROR::ASSIMP:: faces with too many corners to triangulate (10001 in the "
              "largest)\n");
    EXPECT_TRUE(model.meshes.empty());
}

// The odd models kept under tests/corpus/models (indices past the end,
// absurd values, material paths that lead out of the tree, a face of
// thousands of corners) load or fail without harm: whatever is kept, every
// index names a vertex, so a draw never reads past a buffer.
TEST(Model, TheCorpusOfOddModelsLoadsOrFailsWithEveryIndexInRange) {
    ASSERT_TRUE(testGlContext());
    int files = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(sourcePath("tests/corpus/models"))) {
        ++files;
        StdoutCapture capture;
        const Model model(entry.path().c_str());
        for (const Mesh& mesh : model.meshes) {
            for (const unsigned int index : mesh.indices) {
                ASSERT_LT(index, mesh.vertices.size()) << entry.path();
            }
        }
    }
    EXPECT_GE(files, 3);
}
