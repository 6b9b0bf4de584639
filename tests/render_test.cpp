// Frame rendering on the real world: the two cube-map targets, the shadow
// and environment passes, the on-screen pass and preview screenshots.
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/camera.h"
#include "app/input.h"
#include "app/main_loop.h"
#include "app/play_state.h"
#include "gfx/image.h"
#include "hud/text_overlay.h"
#include "render/cube_faces.h"
#include "render/cube_map_framebuffers.h"
#include "render/environment_pass.h"
#include "render/scene_pass.h"
#include "render/shadow_pass.h"
#include "tests/support/gl_context.h"
#include "tests/support/world_fixture.h"
#include "tools/assetgen/route.h"

namespace {

constexpr int SCREEN_W = 1024;
constexpr int SCREEN_H = 768;
constexpr int FACE = 1024;
constexpr int POSITIVE_X = 0;
constexpr int POSITIVE_Y = 2;

using Pixels = std::vector<unsigned char>;

std::vector<float> readDepthFace(GLuint texture, int face) {
    std::vector<float> depth(static_cast<size_t>(FACE) * FACE);
    glBindTexture(GL_TEXTURE_CUBE_MAP, texture);
    glGetTexImage(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GL_DEPTH_COMPONENT, GL_FLOAT,
                  depth.data());
    return depth;
}

Pixels readColourFace(GLuint texture, int face) {
    Pixels rgb(static_cast<size_t>(FACE) * FACE * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glBindTexture(GL_TEXTURE_CUBE_MAP, texture);
    glGetTexImage(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
}

// The back buffer, read before any swap (after a swap it reads black).
Pixels readBackBuffer() {
    Pixels rgb(static_cast<size_t>(SCREEN_W) * SCREEN_H * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, SCREEN_W, SCREEN_H, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
}

void writePng(const std::string& path, const Pixels& bottomUpRgb) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    stbi_flip_vertically_on_write(1);
    stbi_write_png(path.c_str(), SCREEN_W, SCREEN_H, 3, bottomUpRgb.data(), SCREEN_W * 3);
}

// Mean brightness (0..255) of a square of pixels around (x, y).
float meanBrightness(const Pixels& rgb, int width, int x, int y, int half) {
    float sum = 0.0f;
    int count = 0;
    for (int j = y - half; j <= y + half; ++j) {
        for (int i = x - half; i <= x + half; ++i) {
            const size_t at = (static_cast<size_t>(j) * width + i) * 3;
            sum += (rgb[at] + rgb[at + 1] + rgb[at + 2]) / 3.0f;
            ++count;
        }
    }
    return sum / static_cast<float>(count);
}

const unsigned char CLEAR_GREY[3] = {26, 26, 26};  // 0.1 in eight bits

// How many pixels (or texels) have exactly this colour.
long countPixels(const Pixels& rgb, const unsigned char colour[3]) {
    long count = 0;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        count += rgb[i] == colour[0] && rgb[i + 1] == colour[1] && rgb[i + 2] == colour[2];
    }
    return count;
}

// Mean colour of a square region of an image, as fractions of its sum, so
// that a grey light on a texture leaves it unchanged.
vec3 chromaticity(const unsigned char* rgb, int width, int x0, int y0, int size) {
    vec3 sum(0.0f);
    for (int y = y0; y < y0 + size; ++y) {
        for (int x = x0; x < x0 + size; ++x) {
            const unsigned char* p = rgb + (static_cast<size_t>(y) * width + x) * 3;
            sum += vec3(p[0], p[1], p[2]);
        }
    }
    return sum / (sum.x + sum.y + sum.z);
}

// Per-face comparison of two cube maps read as RGB bytes.
struct FaceDifference {
    double meanAbs = 0.0;      // over all channels
    double farOffShare = 0.0;  // share of texels with a channel off by more than 24
};

FaceDifference compareFaces(const Pixels& a, const Pixels& b) {
    FaceDifference d;
    long farOff = 0;
    for (size_t i = 0; i < a.size(); i += 3) {
        int worst = 0;
        for (size_t c = 0; c < 3; ++c) {
            const int diff = std::abs(int(a[i + c]) - int(b[i + c]));
            d.meanAbs += diff;
            worst = std::max(worst, diff);
        }
        farOff += worst > 24;
    }
    d.meanAbs /= static_cast<double>(a.size());
    d.farOffShare = static_cast<double>(farOff) / static_cast<double>(a.size() / 3);
    return d;
}

// Writes a sky directory of six flat-coloured square faces of `size` pixels.
std::string writeTestSky(const std::string& name, int size, const unsigned char colour[3]) {
    const std::string dir = scratchDirectory(name);
    Pixels face(static_cast<size_t>(size) * size * 3);
    for (size_t i = 0; i < face.size(); ++i) {
        face[i] = colour[i % 3];
    }
    for (const char* file : {"right", "left", "top", "bottom", "back", "front"}) {
        const std::string path = dir + "/" + file + ".jpg";
        stbi_write_jpg(path.c_str(), size, size, 3, face.data(), 95);
    }
    return dir;
}

class RenderTest : public WorldTest {
protected:
    void SetUp() override {
        WorldTest::SetUp();
        resetInput();
        camera = Camera();
        environmentSkyCopy = true;
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        programs = std::make_unique<GamePrograms>();
        while (glGetError() != GL_NO_ERROR) {
        }
    }
    void TearDown() override {
        environmentSkyCopy = true;
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        programs.reset();
        WorldTest::TearDown();
    }

    vec3 chassis() const { return world->car->chassis->getGlobalPose().p; }

    // Moves a crate's body (unturned) and its drawn cube to `position`.
    static void placeCrate(Crate& crate, const vec3& position) {
        Pose pose;
        pose.p = position;
        crate.actor->setGlobalPose(pose, true);
        crate.update();
    }

    // The frame's passes from the given eye, as the frame loop runs them.
    void renderFrom(const vec3& eye, const vec3& target) {
        view = lookAt(eye, target, vec3(0.0f, 1.0f, 0.0f));
        projection = screenProjection(45.0f);
        renderFrame(programs->ids(), eye, view, projection, SCREEN_W, SCREEN_H);
    }

    // The follow camera behind the car, then the frame's passes.
    void renderFollowView() {
        camera.followCar(world->car->modelMatrix);
        view = camera.followViewMatrix();
        projection = screenProjection(camera.zoom);
        renderFrame(programs->ids(), camera.position, view, projection, SCREEN_W, SCREEN_H);
    }

    // Window pixel of a world point in the last rendered view.
    void toScreen(const vec3& point, int& x, int& y) const {
        const vec4 clip = projection * view * vec4(point, 1.0f);
        x = static_cast<int>((clip.x / clip.w * 0.5f + 0.5f) * SCREEN_W);
        y = static_cast<int>((clip.y / clip.w * 0.5f + 0.5f) * SCREEN_H);
    }

    std::unique_ptr<GamePrograms> programs;
    mat4 view{1.0f};
    mat4 projection{1.0f};
};

// The same checks at every quality preset: each keeps every effect.
class PresetRenderTest : public RenderTest, public testing::WithParamInterface<Quality> {
protected:
    void SetUp() override {
        quality = presetFor(GetParam());
        RenderTest::SetUp();
    }
};

std::string presetName(const testing::TestParamInfo<Quality>& info) {
    return qualityName(info.param);
}

// A cube map's face read as RGB bytes, whatever its size.
Pixels readColourFaceOfSize(GLuint texture, int face, int size) {
    Pixels rgb(static_cast<size_t>(size) * size * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glBindTexture(GL_TEXTURE_CUBE_MAP, texture);
    glGetTexImage(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
}

vec3 meanColour(const Pixels& rgb) {
    vec3 sum(0.0f);
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        sum += vec3(rgb[i], rgb[i + 1], rgb[i + 2]);
    }
    return sum / static_cast<float>(rgb.size() / 3);
}

}  // namespace

// ---------------------------------------------------------------------------
// Screenshots of the follow camera on both layouts and of the free camera.

TEST_F(RenderTest, WritesScreenshotsOfBothLayoutsAndTheFreeCamera) {
    runFrames(90);  // the car settles on its wheels
    renderFollowView();
    const Pixels levelOne = readBackBuffer();
    writePng(buildPath("screenshots/level1.png"), levelOne);

    world->loadLevel(2);
    runFrames(90);
    renderFollowView();
    const Pixels levelTwo = readBackBuffer();
    writePng(buildPath("screenshots/level2.png"), levelTwo);

    world->loadLevel(1);
    runFrames(90);
    const vec3 car = chassis();
    renderFrom(car + vec3(-9.0f, 6.0f, 9.0f), car + vec3(0.0f, 0.0f, -6.0f));
    const Pixels freeView = readBackBuffer();
    writePng(buildPath("screenshots/free_camera.png"), freeView);

    // A crate beside the car: its shadow on the road and in the car's paint.
    placeCrate(*world->crates[0], car + vec3(2.2f, -0.55f, -2.5f));
    placeCrate(*world->crates[1], car + vec3(-3.0f, -0.55f, 1.5f));
    renderFrom(car + vec3(4.5f, 2.2f, 4.5f), car + vec3(0.0f, -0.5f, -1.0f));
    const Pixels closeUp = readBackBuffer();
    writePng(buildPath("screenshots/close_up.png"), closeUp);

    // The sky, drawn last, leaves no pixel at the clear colour; the road
    // below the horizon is lit; the layouts differ.
    for (const Pixels* shot : {&levelOne, &levelTwo, &freeView, &closeUp}) {
        EXPECT_LT(countPixels(*shot, CLEAR_GREY), 100);
        EXPECT_GT(meanBrightness(*shot, SCREEN_W, 100, 100, 20), 25.0f);
    }
    EXPECT_NE(levelOne, levelTwo);
}

// ---------------------------------------------------------------------------
// Framebuffers

TEST(CubeMapFramebuffers, AreCompleteLayeredAndSilentAndGoWithTheWorld) {
    ASSERT_NE(testGlContext(), nullptr);
    StdoutCapture capture;
    auto owned = std::make_unique<World>();
    const std::string printed = capture.text();
    EXPECT_EQ(printed.find("ramebuffer"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("FRAMEBUFFER"), std::string::npos) << printed;

    GLint bound = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);

    const World& w = *owned;
    EXPECT_EQ(w.shadowWidth, 1024u);
    EXPECT_EQ(w.envHeight, 1024u);
    struct Target {
        GLuint fbo;
        GLenum attachment;
        GLuint texture;
        GLint drawBuffer;
    };
    for (const Target& t :
         {Target{w.shadowFbo.get(), GL_DEPTH_ATTACHMENT, w.shadowCubeMap.get(), GL_NONE},
          Target{w.envFbo.get(), GL_COLOR_ATTACHMENT0, w.envCubeMap.get(), GL_COLOR_ATTACHMENT0},
          Target{w.envFbo.get(), GL_DEPTH_ATTACHMENT, w.envDepthCubeMap.get(),
                 GL_COLOR_ATTACHMENT0}}) {
        glBindFramebuffer(GL_FRAMEBUFFER, t.fbo);
        EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
        GLint name = 0, layered = 0, drawBuffer = -1;
        glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, t.attachment,
                                              GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &name);
        glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, t.attachment,
                                              GL_FRAMEBUFFER_ATTACHMENT_LAYERED, &layered);
        glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
        EXPECT_EQ(static_cast<GLuint>(name), t.texture);
        EXPECT_EQ(layered, GL_TRUE) << "the whole cube map, not one face";
        EXPECT_EQ(drawBuffer, t.drawBuffer);

        glBindTexture(GL_TEXTURE_CUBE_MAP, t.texture);
        for (int face = 0; face < 6; ++face) {
            GLint width = 0, height = 0;
            glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GL_TEXTURE_WIDTH,
                                     &width);
            glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GL_TEXTURE_HEIGHT,
                                     &height);
            EXPECT_EQ(width, 1024);
            EXPECT_EQ(height, 1024);
        }
        GLint filter = 0, wrap = 0;
        glGetTexParameteriv(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, &filter);
        glGetTexParameteriv(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R, &wrap);
        EXPECT_EQ(filter, GL_NEAREST);
        EXPECT_EQ(wrap, GL_CLAMP_TO_EDGE);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, w.shadowFbo.get());
    GLint readBuffer = -1;
    glGetIntegerv(GL_READ_BUFFER, &readBuffer);
    EXPECT_EQ(readBuffer, GL_NONE);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);

    const GLuint shadowFbo = w.shadowFbo.get(), envFbo = w.envFbo.get();
    const GLuint textures[] = {w.shadowCubeMap.get(), w.envCubeMap.get(), w.envDepthCubeMap.get()};
    owned.reset();
    EXPECT_FALSE(glIsFramebuffer(shadowFbo));
    EXPECT_FALSE(glIsFramebuffer(envFbo));
    for (GLuint texture : textures) {
        EXPECT_FALSE(glIsTexture(texture)) << "released by the world's destructor";
    }
}

TEST(CubeMapFramebuffers, ReportEveryStatusWithItsOwnLine) {
    struct Case {
        GLenum status;
        const char* shadow;
        const char* environment;
    };
    const Case cases[] = {
        {GL_FRAMEBUFFER_COMPLETE, "", ""},
        {GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT, "Framebuffer not complete!\n",
         "GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT\n"},
        {GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT, "Framebuffer not complete!\n",
         "GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT\n"},
        {GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER, "Framebuffer not complete!\n",
         "GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER\n"},
        {GL_FRAMEBUFFER_UNSUPPORTED, "Framebuffer not complete!\n", "GL_FRAMEBUFFER_UNSUPPORTED\n"},
        {GL_FRAMEBUFFER_INCOMPLETE_LAYER_TARGETS, "Framebuffer not complete!\n",
         "FRAMEBUFFER ERROR: (8DA8).\n"},
        {GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER, "Framebuffer not complete!\n",
         "FRAMEBUFFER ERROR: (8CDC).\n"},
        {0, "Framebuffer not complete!\n", "FRAMEBUFFER ERROR: (0).\n"},
    };
    for (const Case& c : cases) {
        StdoutCapture shadow;
        reportShadowFramebufferStatus(c.status);
        EXPECT_EQ(shadow.text(), c.shadow) << std::hex << c.status;
        StdoutCapture environment;
        reportEnvironmentFramebufferStatus(c.status);
        EXPECT_EQ(environment.text(), c.environment) << std::hex << c.status;
    }
}

TEST_F(RenderTest, LevelChangesKeepTheFramebuffersAndTheirTextures) {
    const GLuint before[] = {world->shadowFbo.get(), world->shadowCubeMap.get(),
                             world->envFbo.get(), world->envCubeMap.get(),
                             world->envDepthCubeMap.get()};
    world->loadLevel(2);
    world->loadLevel(1);
    renderFollowView();
    const GLuint after[] = {world->shadowFbo.get(), world->shadowCubeMap.get(), world->envFbo.get(),
                            world->envCubeMap.get(), world->envDepthCubeMap.get()};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(after[i], before[i]);
    }
    EXPECT_TRUE(glIsFramebuffer(world->shadowFbo.get()));
    EXPECT_TRUE(glIsFramebuffer(world->envFbo.get()));
    glBindFramebuffer(GL_FRAMEBUFFER, world->envFbo.get());
    EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

// ---------------------------------------------------------------------------
// Shadow pass

TEST_F(RenderTest, ShadowMapHoldsTheCrateDistanceAndClearsWhenNothingCasts) {
    const vec3 light = chassis();
    placeCrate(*world->crates[0], light + vec3(3.0f, 0.0f, 0.0f));
    prepareFrame(camera.position, camera.viewMatrix(), screenProjection(45.0f));
    renderShadowPass(programs->ids().shadow);

    GLint bound = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);

    const std::vector<float> positiveX = readDepthFace(world->shadowCubeMap.get(), POSITIVE_X);
    // Straight along +X the crate's near face is 2.5 from the light.
    EXPECT_NEAR(positiveX[512 * FACE + 512], 2.5f / CUBE_FAR, 0.002f);
    // The cube's half width 0.5 at 2.5 spans 0.2 of the face's half width:
    // about 102 texels either side of the centre.
    EXPECT_LT(positiveX[(512 + 92) * FACE + 512 - 92], 0.06f);
    EXPECT_EQ(positiveX[(512 + 112) * FACE + 512], 1.0f);
    EXPECT_EQ(positiveX[512 * FACE + 512 - 112], 1.0f);
    EXPECT_EQ(positiveX[10 * FACE + 10], 1.0f) << "nothing in that direction";
    EXPECT_EQ(positiveX[1000 * FACE + 990], 1.0f);
    const std::vector<float> negativeX = readDepthFace(world->shadowCubeMap.get(), 1);
    EXPECT_EQ(negativeX[512 * FACE + 512], 1.0f);

    // Road and car cast nothing: with no crates and no figures every face
    // is cleared to 1.0, whatever the previous frame left.
    world->crates.clear();
    world->figures.clear();
    renderShadowPass(programs->ids().shadow);
    for (int face = 0; face < 6; ++face) {
        const std::vector<float> depth = readDepthFace(world->shadowCubeMap.get(), face);
        const auto nearest = *std::min_element(depth.begin(), depth.end());
        EXPECT_EQ(nearest, 1.0f) << "face " << face;
    }
}

TEST_F(RenderTest, WireframeModeDrawsTheShadowMapAsLines) {
    placeCrate(*world->crates[0], chassis() + vec3(3.0f, 0.0f, 0.0f));
    prepareFrame(camera.position, camera.viewMatrix(), screenProjection(45.0f));
    auto coveredTexels = [&] {
        renderShadowPass(programs->ids().shadow);
        const std::vector<float> depth = readDepthFace(world->shadowCubeMap.get(), POSITIVE_X);
        return std::count_if(depth.begin(), depth.end(), [](float d) { return d < 0.5f; });
    };
    const auto filled = coveredTexels();
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    const auto lines = coveredTexels();
    EXPECT_GT(filled, 30000);  // about 205 x 205 texels
    EXPECT_GT(lines, 200);
    EXPECT_LT(lines, filled / 10);
}

// ---------------------------------------------------------------------------
// Environment pass

TEST_F(RenderTest, EnvironmentMapHoldsTheCopiedSkyWithTheObjectsOverIt) {
    runFrames(30);
    placeCrate(*world->crates[0], chassis() + vec3(3.0f, 0.0f, 0.0f));
    renderFollowView();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    // Nothing stands above the car: the +Y face is the sky's, texel for texel.
    const Pixels up = readColourFace(world->envCubeMap.get(), POSITIVE_Y);
    const Pixels skyUp = readColourFace(world->sky->cubeMapTexture.get(), POSITIVE_Y);
    EXPECT_EQ(compareFaces(up, skyUp).meanAbs, 0.0);

    // Towards the crate: its texture's mean colour (the faces are lit per
    // corner, from the smallest mip level) under the white lamp.
    const Pixels side = readColourFace(world->envCubeMap.get(), POSITIVE_X);
    const Pixels skySide = readColourFace(world->sky->cubeMapTexture.get(), POSITIVE_X);
    const Image crateTexture("Vrom2/model/container2.png", IMAGE_RGB);
    ASSERT_TRUE(crateTexture.loaded());
    const int w = crateTexture.width;
    const vec3 expected = chromaticity(crateTexture.pixels, w, 0, 0, w);
    const vec3 seen = chromaticity(side.data(), FACE, 472, 472, 80);
    EXPECT_NEAR(seen.r, expected.r, 0.03f);
    EXPECT_NEAR(seen.g, expected.g, 0.03f);
    EXPECT_NEAR(seen.b, expected.b, 0.03f);
    const vec3 sky = chromaticity(skySide.data(), FACE, 472, 472, 80);
    EXPECT_GT(std::abs(sky.b - seen.b), 0.05f) << "the crate, not the sky";
    // Away from the crate but above the horizon, the sky again.
    EXPECT_EQ(side[(24 * FACE + 512) * 3 + 2], skySide[(24 * FACE + 512) * 3 + 2]);
}

TEST_F(RenderTest, SkyFacesSmallerThanTheMapLeaveTheClearColourUnlessDrawnIn) {
    const unsigned char red[3] = {230, 20, 20};
    world->sky = std::make_unique<Skybox>(writeTestSky("small-sky", 64, red));
    placeCrate(*world->crates[0], chassis() + vec3(3.0f, 0.0f, 0.0f));
    renderFollowView();
    while (glGetError() != GL_NO_ERROR) {
        // the copy's region lies outside the source: an error, nothing copied
    }
    const Pixels up = readColourFace(world->envCubeMap.get(), POSITIVE_Y);
    EXPECT_EQ(countPixels(up, CLEAR_GREY), FACE * FACE);
    const Pixels side = readColourFace(world->envCubeMap.get(), POSITIVE_X);
    EXPECT_NE(side[(512 * FACE + 512) * 3], CLEAR_GREY[0]) << "the crate is still drawn";
    EXPECT_EQ(side[(24 * FACE + 512) * 3], CLEAR_GREY[0]);

    // Drawing the sky instead of copying it works with any face size.
    environmentSkyCopy = false;
    renderFollowView();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    // All of the +Y face and the upper rows of the +X face look at the sky.
    for (int face : {POSITIVE_X, POSITIVE_Y}) {
        const Pixels drawn = readColourFace(world->envCubeMap.get(), face);
        const size_t rows = face == POSITIVE_Y ? FACE : 400;
        long reddish = 0;
        for (size_t i = 0; i < rows * FACE * 3; i += 3) {
            reddish += drawn[i] > 180 && drawn[i + 1] < 70 && drawn[i + 2] < 70;
        }
        EXPECT_EQ(reddish, static_cast<long>(rows * FACE)) << "face " << face;
    }
}

TEST_F(RenderTest, DrawnSkyFallbackMatchesTheCopiedSkyOnEveryFace) {
    runFrames(30);
    placeCrate(*world->crates[0], chassis() + vec3(3.0f, 0.0f, 0.0f));
    renderFollowView();
    std::vector<Pixels> copied;
    for (int face = 0; face < 6; ++face) {
        copied.push_back(readColourFace(world->envCubeMap.get(), face));
    }
    environmentSkyCopy = false;
    renderFollowView();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    for (int face = 0; face < 6; ++face) {
        const FaceDifference d =
            compareFaces(copied[face], readColourFace(world->envCubeMap.get(), face));
        EXPECT_LT(d.meanAbs, 1.5) << "face " << face;
        EXPECT_LT(d.farOffShare, 0.002) << "face " << face;
    }
}

// ---------------------------------------------------------------------------
// Scene pass

TEST_P(PresetRenderTest, CrateShadowDarkensTheRoadBehindIt) {
    runFrames(60);
    const vec3 light = chassis();
    float ground = 0.0f;
    ASSERT_TRUE(world->scene->raycastDown(light.x, light.z + 8.0f, 50.0f, ground));
    const float road = ground - 0.4f;  // the visible road lies 0.4 below the ground
    const vec3 inShadow(light.x, road, light.z + 8.0f);
    const vec3 beside(light.x + 2.5f, road, light.z + 8.0f);
    const vec3 eye = light + vec3(0.0f, 7.0f, 14.0f);
    const vec3 target = light + vec3(0.0f, -1.0f, 8.0f);

    auto brightness = [&](const Pixels& frame, const vec3& point) {
        int x = 0, y = 0;
        toScreen(point, x, y);
        return meanBrightness(frame, SCREEN_W, x, y, 3);
    };
    // The crate between the light and the road, standing on the road, then
    // far away.
    placeCrate(*world->crates[0], vec3(light.x, ground + 0.1f, light.z + 4.0f));
    renderFrom(eye, target);
    const Pixels withCrate = readBackBuffer();
    placeCrate(*world->crates[0], vec3(light.x + 30.0f, ground + 0.1f, light.z - 40.0f));
    renderFrom(eye, target);
    const Pixels withoutCrate = readBackBuffer();

    const float shadowed = brightness(withCrate, inShadow);
    EXPECT_LT(shadowed, 0.75f * brightness(withoutCrate, inShadow));
    EXPECT_LT(shadowed, brightness(withCrate, beside));
    // Beside the shadow the road is lit as if the crate were not there.
    EXPECT_GT(brightness(withCrate, beside), 0.95f * brightness(withoutCrate, beside));
}

// Haze: the far road fades into the sky behind it, the near road keeps its
// own colour. Drawn once under a flat magenta sky and once under a flat green
// one, a pixel follows the sky by the haze's share (plus the little sky light
// the road takes in anywhere), and that share grows with the distance from
// the camera. A half-way share far out can only be hazed road: the sky
// itself, or road without haze, would give all or almost nothing.
TEST_P(PresetRenderTest, HazeFadesTheFarRoadIntoTheSkyButNotTheNearRoad) {
    runFrames(30);
    // Only the road and the car: nothing stands between the eye and the road.
    world->crates.clear();
    world->figures.clear();
    const vec3 eye = CAR_START_POSITION + vec3(0.0f, 11.0f, 10.0f);

    // Points on the centre line ahead of the start, on the visible road, at
    // about the wanted distance from the eye.
    auto roadPointAt = [&](float wanted) {
        for (const CentreLinePoint& point : centreLinePoints()) {
            float ground = 0.0f;
            if (!world->scene->raycastDown(point.position.x, point.position.y, 50.0f, ground)) {
                continue;
            }
            const vec3 road(point.position.x, ground - 0.4f, point.position.y);
            if (std::abs(glm::length(road - eye) - wanted) < 1.0f) {
                return road;
            }
        }
        ADD_FAILURE() << "no road point " << wanted << " units from the eye";
        return eye;
    };
    const vec3 nearRoad = roadPointAt(30.0f);
    const vec3 halfHazed = roadPointAt(79.0f);  // half-way through the haze
    const vec3 farRoad = roadPointAt(95.0f);

    const unsigned char magenta[3] = {255, 0, 255};
    const unsigned char green[3] = {0, 255, 0};
    auto drawUnder = [&](const char* name, const unsigned char colour[3]) {
        world->sky = std::make_unique<Skybox>(writeTestSky(name, FACE, colour));
        // Looking between the nearest and the farthest point: all in view.
        renderFrom(eye, eye + glm::normalize(nearRoad - eye) + glm::normalize(farRoad - eye));
        return readBackBuffer();
    };
    const Pixels underMagenta = drawUnder("haze-magenta", magenta);
    const Pixels underGreen = drawUnder("haze-green", green);

    // How far a point's pixels moved with the sky, as a share of the skies'
    // own difference (0: not at all, 1: the sky's colour exactly).
    auto skyShare = [&](const vec3& point) {
        int x = 0, y = 0;
        toScreen(point, x, y);
        EXPECT_TRUE(x >= 3 && x < SCREEN_W - 3 && y >= 3 && y < SCREEN_H - 3)
            << "road point off screen";
        x = std::clamp(x, 3, SCREEN_W - 4);
        y = std::clamp(y, 3, SCREEN_H - 4);
        double moved = 0.0;
        for (int j = y - 2; j <= y + 2; ++j) {
            for (int i = x - 2; i <= x + 2; ++i) {
                const size_t at = (static_cast<size_t>(j) * SCREEN_W + i) * 3;
                for (size_t c = 0; c < 3; ++c) {
                    moved += std::abs(int(underMagenta[at + c]) - int(underGreen[at + c]));
                }
            }
        }
        return moved / (25.0 * 3.0 * 255.0);
    };
    const double nearShare = skyShare(nearRoad);
    const double halfShare = skyShare(halfHazed);
    const double farShare = skyShare(farRoad);
    SCOPED_TRACE(testing::Message() << "sky shares: near " << nearShare << ", half-way "
                                    << halfShare << ", far " << farShare);
    EXPECT_LT(nearShare, 0.2);
    EXPECT_GT(halfShare, 0.35);
    EXPECT_LT(halfShare, 0.75);
    EXPECT_GT(farShare, 0.9);
}

TEST_P(PresetRenderTest, CarReflectsThisFramesEnvironmentMap) {
    runFrames(60);
    const FramePrograms ids = programs->ids();
    camera.followCar(world->car->modelMatrix);
    view = camera.followViewMatrix();
    projection = screenProjection(camera.zoom);
    auto frame = [&](bool paintEnvironment) {
        prepareFrame(camera.position, view, projection);
        renderShadowPass(ids.shadow);
        renderEnvironmentPass(ids.cubemap, ids.cubemapSky);
        const int face = static_cast<int>(world->envWidth);
        if (paintEnvironment) {
            const Pixels magenta = [face] {
                Pixels p(static_cast<size_t>(face) * face * 3);
                for (size_t i = 0; i < p.size(); i += 3) {
                    p[i] = 255;
                    p[i + 2] = 255;
                }
                return p;
            }();
            glBindTexture(GL_TEXTURE_CUBE_MAP, world->envCubeMap.get());
            glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
            for (int layer = 0; layer < 6; ++layer) {
                glTexSubImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + layer, 0, 0, 0, face, face, GL_RGB,
                                GL_UNSIGNED_BYTE, magenta.data());
            }
        }
        renderScene(ids, SCREEN_W, SCREEN_H);
        return readBackBuffer();
    };
    const Pixels plain = frame(false);
    const Pixels painted = frame(true);
    long changed = 0, changedHigh = 0;
    for (int y = 0; y < SCREEN_H; ++y) {
        for (int x = 0; x < SCREEN_W; ++x) {
            const size_t at = (static_cast<size_t>(y) * SCREEN_W + x) * 3;
            const bool differs = plain[at] != painted[at] || plain[at + 1] != painted[at + 1] ||
                                 plain[at + 2] != painted[at + 2];
            changed += differs;
            changedHigh += differs && y > SCREEN_H * 3 / 4;
        }
    }
    // Only the car samples the environment map: its pixels change, the sky
    // and the far road do not.
    EXPECT_GT(changed, 20000);
    EXPECT_EQ(changedHigh, 0);
}

// One close-up per preset in build/screenshots/quality_<preset>.png: a crate
// beside the car, so its shadow and the car's reflection are in the shot,
// and the far road in the haze under the sky.
TEST_P(PresetRenderTest, WritesACloseUpShotWithEveryEffect) {
    runFrames(90);
    const vec3 car = chassis();
    placeCrate(*world->crates[0], car + vec3(2.2f, -0.55f, -2.5f));
    placeCrate(*world->crates[1], car + vec3(-3.0f, -0.55f, 1.5f));
    renderFrom(car + vec3(4.5f, 2.2f, 4.5f), car + vec3(0.0f, -0.5f, -1.0f));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    GLint bound = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0) << "the window's framebuffer, ready for the heads-up display";
    const Pixels shot = readBackBuffer();
    writePng(buildPath(std::string("screenshots/quality_") + qualityName(GetParam()) + ".png"),
             shot);
    // The whole window is drawn (a scaled scene too): sky, no clear colour.
    EXPECT_LT(countPixels(shot, CLEAR_GREY), 100);
    EXPECT_GT(meanBrightness(shot, SCREEN_W, 100, 100, 20), 25.0f);
    EXPECT_GT(meanBrightness(shot, SCREEN_W, SCREEN_W - 100, SCREEN_H - 100, 20), 25.0f);
}

// The car's environment map holds the sky on every face, copied at full
// size or drawn into the smaller faces, with the objects over it.
TEST_P(PresetRenderTest, EnvironmentMapHoldsTheSkyAndTheCrateAtItsOwnSize) {
    runFrames(30);
    placeCrate(*world->crates[0], chassis() + vec3(3.0f, 0.0f, 0.0f));
    renderFollowView();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    const int size = static_cast<int>(world->envWidth);
    const Pixels up = readColourFaceOfSize(world->envCubeMap.get(), POSITIVE_Y, size);
    const Pixels skyUp = readColourFace(world->sky->cubeMapTexture.get(), POSITIVE_Y);
    EXPECT_EQ(countPixels(up, CLEAR_GREY), 0);
    // Nothing stands above the car: the face is the sky's level of that
    // size, copied texel for texel (the full sky at high, a mip level below).
    GLint level = -1;
    glBindTexture(GL_TEXTURE_CUBE_MAP, world->sky->cubeMapTexture.get());
    for (GLint l = 0; l < 12 && level < 0; ++l) {
        GLint width = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_POSITIVE_Y, l, GL_TEXTURE_WIDTH, &width);
        level = width == size ? l : -1;
    }
    ASSERT_GE(level, 0) << "the sky has a level of the map's size";
    Pixels skyLevel(static_cast<size_t>(size) * size * 3);
    glGetTexImage(GL_TEXTURE_CUBE_MAP_POSITIVE_Y, level, GL_RGB, GL_UNSIGNED_BYTE, skyLevel.data());
    EXPECT_EQ(compareFaces(up, skyLevel).meanAbs, 0.0);
    const vec3 seenSky = meanColour(up);
    const vec3 sky = meanColour(skyUp);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(seenSky[c], sky[c], 3.0f) << "channel " << c;
    }
    // Towards the crate, its colour rather than the sky's.
    const Pixels side = readColourFaceOfSize(world->envCubeMap.get(), POSITIVE_X, size);
    const Pixels skySide = readColourFace(world->sky->cubeMapTexture.get(), POSITIVE_X);
    const int middle = size / 2;
    const vec3 crate =
        chromaticity(side.data(), size, middle - size / 26, middle - size / 26, size / 13);
    const vec3 skyThere = chromaticity(skySide.data(), FACE, 472, 472, 80);
    EXPECT_GT(std::abs(crate.b - skyThere.b), 0.05f);
}

INSTANTIATE_TEST_SUITE_P(EveryPreset, PresetRenderTest,
                         testing::Values(Quality::Low, Quality::Medium, Quality::High), presetName);

// ---------------------------------------------------------------------------
// Quality presets: render-target sizes and the scaled scene

TEST(CubeMapFramebuffers, FollowThePresetsFaceSizesAndStayComplete) {
    ASSERT_NE(testGlContext(), nullptr);
    for (const Quality level : {Quality::Low, Quality::Medium, Quality::High}) {
        SCOPED_TRACE(qualityName(level));
        const QualityPreset& preset = presetFor(level);
        StdoutCapture capture;
        auto owned = std::make_unique<World>(preset);
        EXPECT_EQ(capture.text().find("FRAMEBUFFER"), std::string::npos);
        const World& w = *owned;
        EXPECT_EQ(w.shadowWidth, preset.shadowFaceSize);
        EXPECT_EQ(w.shadowHeight, preset.shadowFaceSize);
        EXPECT_EQ(w.envWidth, preset.environmentFaceSize);
        EXPECT_EQ(w.envHeight, preset.environmentFaceSize);
        const struct {
            GLuint texture;
            GLuint size;
        } maps[] = {{w.shadowCubeMap.get(), w.shadowWidth},
                    {w.envCubeMap.get(), w.envWidth},
                    {w.envDepthCubeMap.get(), w.envWidth}};
        for (const auto& map : maps) {
            glBindTexture(GL_TEXTURE_CUBE_MAP, map.texture);
            for (int face = 0; face < 6; ++face) {
                GLint width = 0;
                glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GL_TEXTURE_WIDTH,
                                         &width);
                EXPECT_EQ(width, static_cast<GLint>(map.size));
            }
        }
        for (const GLuint fbo : {w.shadowFbo.get(), w.envFbo.get()}) {
            glBindFramebuffer(GL_FRAMEBUFFER, fbo);
            EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
        }
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    }
}

TEST(ScenePresets, AScaledSceneNeedsAWindowWithoutMultisampling) {
    // The scaled scene is blitted into the window, which a multisampled
    // window refuses; the full preset keeps its whole frame.
    for (const Quality level : {Quality::Low, Quality::Medium, Quality::High}) {
        const QualityPreset& preset = presetFor(level);
        if (preset.sceneScale < 1.0f) {
            EXPECT_EQ(preset.windowSamples, 0) << qualityName(level);
        }
    }
    const QualityPreset& high = presetFor(Quality::High);
    EXPECT_EQ(high.windowSamples, 16);
    EXPECT_EQ(high.environmentFaceSize, 1024u);
    EXPECT_EQ(high.shadowFaceSize, 1024u);
    EXPECT_EQ(high.sceneScale, 1.0f);
    EXPECT_EQ(scaledSide(1024, 0.75f), 768u);
    EXPECT_EQ(scaledSide(1, 0.25f), 1u) << "a window with area keeps a scene with area";
    EXPECT_EQ(scaledSide(0, 0.75f), 0u);
}

class LowPresetTest : public RenderTest {
protected:
    void SetUp() override {
        quality = presetFor(Quality::Low);
        RenderTest::SetUp();
    }
};

TEST_F(LowPresetTest, TheSceneTargetFollowsTheWindowAndGoesWithTheWorld) {
    const float scale = world->quality.sceneScale;
    ASSERT_LT(scale, 1.0f);
    renderFollowView();
    const SceneTarget& target = world->sceneTarget;
    EXPECT_EQ(target.width, scaledSide(SCREEN_W, scale));
    EXPECT_EQ(target.height, scaledSide(SCREEN_H, scale));
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer.get());
    EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
    glBindFramebuffer(GL_FRAMEBUFFER, 0);

    // A resized window: the next frame's target has the new shape.
    const GLuint first = target.framebuffer.get();
    camera.followCar(world->car->modelMatrix);
    renderFrame(programs->ids(), camera.position, camera.followViewMatrix(),
                screenProjection(camera.zoom), 800, 600);
    EXPECT_EQ(target.width, scaledSide(800, scale));
    EXPECT_EQ(target.height, scaledSide(600, scale));
    EXPECT_FALSE(glIsFramebuffer(first) && first != target.framebuffer.get());
    // Minimised: nothing to draw into, nothing made.
    renderFrame(programs->ids(), camera.position, camera.followViewMatrix(),
                screenProjection(camera.zoom), 0, 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    const GLuint framebuffer = target.framebuffer.get();
    const GLuint buffers[] = {target.colour.get(), target.depth.get()};
    world = nullptr;
    owned.reset();
    EXPECT_FALSE(glIsFramebuffer(framebuffer));
    for (const GLuint buffer : buffers) {
        EXPECT_FALSE(glIsRenderbuffer(buffer));
    }
}

TEST_F(RenderTest, TheFullPresetDrawsStraightIntoTheWindow) {
    renderFollowView();
    EXPECT_EQ(world->sceneTarget.framebuffer.get(), 0u) << "no off-screen copy at high";
}

// The heads-up display goes over the finished scene at the window's own
// resolution, also over a scene drawn smaller and scaled up: at the same
// moment of the same drive it covers the same window pixels at low as at
// high (drawn into the small scene and scaled, its glyphs would smear).
TEST_F(RenderTest, TheHeadsUpDisplayKeepsTheWindowsResolutionOverAScaledScene) {
    TextOverlay overlay;
    std::ostringstream console;
    ASSERT_TRUE(overlay.load(console)) << console.str();
    auto pixelsTheDisplayCovers = [&] {
        runFrames(30);
        renderFollowView();
        const Pixels scene = readBackBuffer();
        renderFollowView();
        overlay.draw(hudView(), SCREEN_W, SCREEN_H);
        const Pixels withDisplay = readBackBuffer();
        std::vector<bool> covered(scene.size() / 3);
        for (size_t i = 0; i < covered.size(); ++i) {
            covered[i] = scene[i * 3] != withDisplay[i * 3] ||
                         scene[i * 3 + 1] != withDisplay[i * 3 + 1] ||
                         scene[i * 3 + 2] != withDisplay[i * 3 + 2];
        }
        return covered;
    };
    const std::vector<bool> atHigh = pixelsTheDisplayCovers();

    world = nullptr;
    owned.reset();
    resetInput();
    camera = Camera();
    physicsAccumulator = 0.0;
    owned = std::make_unique<World>(presetFor(Quality::Low));
    world = owned.get();
    ASSERT_LT(world->quality.sceneScale, 1.0f);
    const std::vector<bool> atLow = pixelsTheDisplayCovers();

    long both = 0, either = 0;
    for (size_t i = 0; i < atHigh.size(); ++i) {
        both += atHigh[i] && atLow[i];
        either += atHigh[i] || atLow[i];
    }
    EXPECT_GT(either, 2000) << "the display drew its text";
    EXPECT_GT(static_cast<double>(both), 0.97 * static_cast<double>(either))
        << both << " of " << either << " pixels covered at both presets";
}

// The display as a player meets it, over the drawn scene, in
// build/screenshots/hud_<state>.png: the start (status and the hint), paused,
// the controls, and a level just cleared through its own rule. With the
// waving figure off the road the scene is the same from shot to shot, so
// each state's own text is what makes its shot differ.
TEST_F(RenderTest, WritesScreenshotsOfTheDisplayStartPausedControlsAndCleared) {
    TextOverlay overlay;
    std::ostringstream console;
    ASSERT_TRUE(overlay.load(console)) << console.str();
    resetPlayState();
    // A tap in one frame's events; the frame then forgets its presses.
    auto tapKey = [](int key) {
        onKey(nullptr, key, 0, GLFW_PRESS, 0);
        onKey(nullptr, key, 0, GLFW_RELEASE, 0);
        applyPlayKeys();
        forgetKeyPresses();
    };
    auto shot = [&](const std::string& name) {
        world->figures[0]->place(translate(mat4(1.0f), vec3(-100.0f, -34.0f, 0.0f)));
        renderFollowView();
        overlay.draw(hudView(), SCREEN_W, SCREEN_H);
        const Pixels pixels = readBackBuffer();
        writePng(buildPath("screenshots/hud_" + name + ".png"), pixels);
        return pixels;
    };
    runFrames(90);  // the car settles on its wheels
    const Pixels start = shot("start");
    tapKey(GLFW_KEY_P);
    const Pixels paused = shot("paused");
    EXPECT_NE(paused, start) << "the pause line";
    tapKey(GLFW_KEY_F1);
    EXPECT_NE(shot("controls"), paused) << "the controls";
    tapKey(GLFW_KEY_F1);
    tapKey(GLFW_KEY_P);

    for (auto& crate : world->crates) {
        Pose pose = crate->actor->getGlobalPose();
        pose.p.y = -60.0f;
        crate->actor->setGlobalPose(pose, true);
    }
    runFrames(1);
    followRules(true);
    ASSERT_EQ(world->level, 2);
    runFrames(90);
    const Pixels cleared = shot("cleared");
    playState.messageUntil = 0;
    EXPECT_NE(shot("level2"), cleared) << "the message";
    resetPlayState();
}
