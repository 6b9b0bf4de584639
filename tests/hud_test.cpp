// The heads-up display: the font found and rasterised, the layout at small
// and large windows, and the pixels it draws over the real world's frame.
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "app/input.h"
#include "app/play_state.h"
#include "hud/font_atlas.h"
#include "hud/hud_layout.h"
#include "hud/text_overlay.h"
#include "tests/support/gl_context.h"
#include "tests/support/world_fixture.h"

namespace {

const FontAtlas& sansAtlas() {
    static const FontAtlas atlas = [] {
        FontAtlas built;
        std::string problem;
        EXPECT_TRUE(buildFontAtlas(findSansFont(), 48.0f, built, problem)) << problem;
        return built;
    }();
    return atlas;
}

HudView fullView() {
    HudView view;
    view.status = {"Level 12", "Crates 14 / 18", "12:34.5", "Best 3:41.2"};
    view.label = "Replay frame 1200";
    view.centre = {"Paused - P to go on", "Level 11 cleared in 3:41.2 - new best!"};
    view.hint = "F1 controls";
    // The game's own table of controls.
    resetPlayState();
    playState.controlsShown = true;
    view.controls = hudView().controls;
    resetPlayState();
    return view;
}

std::string writeFile(const std::string& name, const std::string& bytes) {
    const std::string path = scratchDirectory("hud-fonts") + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

}  // namespace

TEST(HudFont, FontconfigFindsASansFontThatRasterisesEveryPrintableCharacter) {
    const std::string font = findSansFont();
    ASSERT_FALSE(font.empty());
    const FontAtlas& atlas = sansAtlas();
    ASSERT_TRUE(atlas.loaded());
    EXPECT_GT(atlas.ascent, 30.0f);
    EXPECT_GT(atlas.descent, 5.0f);
    for (char c = '!'; c <= '~'; ++c) {
        const Glyph& g = atlas.glyph(c);
        EXPECT_GT(g.advance, 0.0f) << c;
        EXPECT_LT(g.u0, g.u1) << c;
        EXPECT_LT(g.v0, g.v1) << c;
    }
    // The panel block is fully covered, the space advances but draws nothing.
    const int x = static_cast<int>(atlas.solidU * atlas.width);
    const int y = static_cast<int>(atlas.solidV * atlas.height);
    EXPECT_EQ(atlas.coverage[static_cast<size_t>(y) * atlas.width + x], 255);
    EXPECT_GT(atlas.glyph(' ').advance, 0.0f);
    // Outside the range reads as '?' rather than past the table.
    EXPECT_EQ(&atlas.glyph('\x7f'), &atlas.glyph('?'));
    EXPECT_EQ(&atlas.glyph('\xe9'), &atlas.glyph('?'));
}

TEST(HudFont, AFileThatIsNoFontIsRefusedWithItsReason) {
    std::string font;
    {
        std::ifstream in(findSansFont(), std::ios::binary);
        font.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_GT(font.size(), 1000u);
    // A table directory whose first table claims to run past the file's end.
    std::string pastTheEnd = font.substr(0, 200);
    pastTheEnd[12 + 8] = '\x7f';
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"empty.ttf", ""},
        {"counting.ttf", std::string("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09", 10)},
        {"text.ttf", "this is not a font at all, only words\n"},
        {"cut.ttf", font.substr(0, 40)},
        {"past-the-end.ttf", pastTheEnd},
    };
    for (const auto& [name, bytes] : cases) {
        FontAtlas atlas;
        std::string problem;
        EXPECT_FALSE(buildFontAtlas(writeFile(name, bytes), 48.0f, atlas, problem)) << name;
        EXPECT_FALSE(atlas.loaded()) << name;
        EXPECT_NE(problem.find(name), std::string::npos) << problem;
    }
    FontAtlas atlas;
    std::string problem;
    EXPECT_FALSE(buildFontAtlas("/nonexistent/font.ttf", 48.0f, atlas, problem));
    EXPECT_EQ(problem, "cannot read /nonexistent/font.ttf");
}

// Everything stays inside the window, and the text grows with the window's
// height, so the display reads alike on a small and a large screen. The
// controls panel, with the pause line and a message as its title, keeps
// clear of the corner blocks, so nothing hides behind anything.
TEST(HudLayout, FitsTheWindowAndScalesWithItsHeight) {
    const FontAtlas& atlas = sansAtlas();
    const HudView view = fullView();
    ASSERT_GE(view.controls.size(), 10u);
    HudView corners = view;
    corners.controls.clear();
    corners.centre.clear();
    corners.hint.clear();
    struct Size {
        float width, height;
    };
    float lastTextSize = 0.0f;
    for (const Size size : {Size{640, 360}, Size{1024, 768}, Size{1920, 1080}}) {
        const std::vector<HudVertex> vertices = layoutHud(atlas, view, size.width, size.height);
        ASSERT_FALSE(vertices.empty());
        // The corner blocks come first in the vertices; the panel follows.
        const std::vector<HudVertex> cornerVertices =
            layoutHud(atlas, corners, size.width, size.height);
        ASSERT_GT(vertices.size(), cornerVertices.size());
        const HudRect panel = boundsOf(
            std::vector<HudVertex>(vertices.begin() + cornerVertices.size(), vertices.end()));
        EXPECT_GT(panel.top, boundsOf(cornerVertices).bottom) << size.width;
        // Rows of at least 10 pixels, also at 640 x 360.
        EXPECT_GT(panel.bottom - panel.top,
                  10.0f * static_cast<float>(view.controls.size() + view.centre.size()))
            << size.width;
        EXPECT_EQ(vertices.size() % 6, 0u);
        const HudRect bounds = boundsOf(vertices);
        EXPECT_GE(bounds.left, 0.0f) << size.width;
        EXPECT_GE(bounds.top, 0.0f) << size.width;
        EXPECT_LE(bounds.right, size.width) << size.width;
        EXPECT_LE(bounds.bottom, size.height) << size.width;
        const float textSize = hudTextSize(size.height);
        // Readable at the smallest size: letters at least 11 pixels tall.
        EXPECT_GE(textSize, 11.0f);
        EXPECT_GT(textSize, lastTextSize);
        lastTextSize = textSize;
        EXPECT_NEAR(textWidth(atlas, "Crates 14 / 18", textSize) / size.height,
                    textWidth(atlas, "Crates 14 / 18", hudTextSize(1080)) / 1080.0f, 0.01f);
    }
    EXPECT_TRUE(layoutHud(atlas, HudView(), 1024, 768).empty());
    EXPECT_TRUE(layoutHud(atlas, view, 1024, 0).empty());
    EXPECT_TRUE(layoutHud(FontAtlas(), view, 1024, 768).empty());
}

TEST(HudLayout, EachPartSitsWhereAPlayerLooksForIt) {
    const FontAtlas& atlas = sansAtlas();
    const float w = 1024, h = 768;
    auto boundsOfPart = [&](auto fill) {
        HudView view;
        fill(view);
        return boundsOf(layoutHud(atlas, view, w, h));
    };
    const HudRect status = boundsOfPart([](HudView& v) { v.status = {"Level 1", "0:00.0"}; });
    EXPECT_LT(status.right, w / 3);
    EXPECT_LT(status.bottom, h / 4);
    const HudRect label = boundsOfPart([](HudView& v) { v.label = "Replay"; });
    EXPECT_GT(label.left, w * 2 / 3);
    EXPECT_LT(label.bottom, h / 4);
    const HudRect centre = boundsOfPart([](HudView& v) { v.centre = {"Paused - P to go on"}; });
    EXPECT_NEAR((centre.left + centre.right) / 2, w / 2, 2.0f);
    EXPECT_GT(centre.top, h / 4);
    EXPECT_LT(centre.bottom, h * 3 / 4);
    const HudRect hint = boundsOfPart([](HudView& v) { v.hint = "F1 controls"; });
    EXPECT_LT(hint.right, w / 3);
    EXPECT_GT(hint.top, h * 3 / 4);
    // A longer line of text is wider.
    EXPECT_GT(textWidth(atlas, "Crates 18 / 18", 20), textWidth(atlas, "Crates 8 / 18", 20));
}

namespace {

constexpr int W = 1024;
constexpr int H = 768;

class HudDrawing : public WorldTest {
protected:
    void SetUp() override {
        WorldTest::SetUp();
        resetInput();
        resetPlayState();
        StdoutCapture quiet;
        ASSERT_TRUE(overlay.load(std::cout)) << quiet.text();
    }
    void TearDown() override {
        overlay.release();
        resetPlayState();
        WorldTest::TearDown();
    }

    // The display alone over a flat colour, read back before any swap.
    std::vector<unsigned char> drawn() {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glViewport(0, 0, W, H);
        glClearColor(0.2f, 0.5f, 0.8f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        overlay.draw(hudView(), W, H);
        std::vector<unsigned char> rgb(static_cast<size_t>(W) * H * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, W, H, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        return rgb;
    }

    TextOverlay overlay;
};

// Pixels that differ, and the box around them in window coordinates (y down).
struct Change {
    long pixels = 0;
    int left = W, top = H, right = -1, bottom = -1;
};

Change changeBetween(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    Change change;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const size_t at = (static_cast<size_t>(y) * W + x) * 3;
            if (a[at] != b[at] || a[at + 1] != b[at + 1] || a[at + 2] != b[at + 2]) {
                ++change.pixels;
                const int top = H - 1 - y;
                change.left = std::min(change.left, x);
                change.right = std::max(change.right, x);
                change.top = std::min(change.top, top);
                change.bottom = std::max(change.bottom, top);
            }
        }
    }
    return change;
}

}  // namespace

// A crate pushed below the rule's height changes the crate count's pixels,
// and only there; with the display hidden nothing at all is drawn.
TEST_F(HudDrawing, TheCrateCountsPixelsFollowTheWorldAndHiddenDrawsNothing) {
    ASSERT_NE(testGlContext(), nullptr);
    const std::vector<unsigned char> before = drawn();

    Pose pose = world->crates[0]->actor->getGlobalPose();
    pose.p.y = -60.0f;
    world->crates[0]->actor->setGlobalPose(pose, true);
    EXPECT_EQ(cratesOnRoad(*world), CRATE_COUNT - 1);
    const std::vector<unsigned char> after = drawn();
    const Change change = changeBetween(before, after);
    EXPECT_GT(change.pixels, 20);
    // The status block's second line, top left.
    EXPECT_LT(change.right, W / 3);
    EXPECT_GT(change.top, H / 40);
    EXPECT_LT(change.bottom, H / 5);

    onKey(nullptr, GLFW_KEY_H, 0, GLFW_PRESS, 0);
    onKey(nullptr, GLFW_KEY_H, 0, GLFW_RELEASE, 0);
    applyPlayKeys();
    ASSERT_FALSE(playState.hudShown);
    glClearColor(0.2f, 0.5f, 0.8f, 1.0f);
    const std::vector<unsigned char> hidden = drawn();
    std::vector<unsigned char> flat = hidden;
    for (size_t i = 0; i < flat.size(); i += 3) {
        flat[i] = hidden[0];
        flat[i + 1] = hidden[1];
        flat[i + 2] = hidden[2];
    }
    EXPECT_EQ(changeBetween(hidden, flat).pixels, 0);
    EXPECT_GT(changeBetween(hidden, after).pixels, 1000);
}

// The wireframe switch draws the scene in lines; the display stays filled
// and gives the scene its line mode back.
TEST_F(HudDrawing, DrawsFilledUnderWireframeAndLeavesTheSceneItsState) {
    const std::vector<unsigned char> filled = drawn();
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    const std::vector<unsigned char> underWireframe = drawn();
    GLint mode[2] = {0, 0};
    glGetIntegerv(GL_POLYGON_MODE, mode);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    EXPECT_EQ(mode[0], GL_LINE);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(changeBetween(filled, underWireframe).pixels, 0);
}

// Without a font the game goes on without the display: one line, and a
// draw that does nothing.
TEST(HudOverlay, WithoutAFontItSaysSoOnceAndDrawsNothing) {
    ASSERT_NE(testGlContext(), nullptr);
    const std::string config = writeFile("empty-fonts.conf",
                                         "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM "
                                         "\"fonts.dtd\">\n<fontconfig></fontconfig>\n");
    const char* previous = std::getenv("FONTCONFIG_FILE");
    const std::string kept = previous ? previous : "";
    setenv("FONTCONFIG_FILE", config.c_str(), 1);
    TextOverlay overlay;
    StdoutCapture capture;
    const bool loaded = overlay.load(std::cout);
    const std::string said = capture.text();
    if (previous) {
        setenv("FONTCONFIG_FILE", kept.c_str(), 1);
    } else {
        unsetenv("FONTCONFIG_FILE");
    }
    EXPECT_FALSE(loaded);
    EXPECT_FALSE(overlay.ready());
    EXPECT_EQ(said, "vromdash: no font found: playing without the on-screen display\n");
    overlay.draw(fullView(), 1024, 768);
    overlay.release();
    overlay.release();
}
