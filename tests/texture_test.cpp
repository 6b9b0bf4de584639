#include "gfx/texture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gfx/image.h"
#include "tests/support/gl_context.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace {

// Level 0 of a 2D texture as tightly packed RGBA.
std::vector<unsigned char> readTexture(GLuint texture, int& width, int& height) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    std::vector<unsigned char> texels(static_cast<std::size_t>(width * height * 4));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
    return texels;
}

GLint boundTexture2D() {
    GLint bound = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    return bound;
}

}  // namespace

TEST(Texture, MissingFileGivesAFreshPlaceholderSilently) {
    ASSERT_TRUE(testGlContext());
    const std::string dir = scratchDirectory("texture_missing");
    StdoutCapture capture;
    const GlTexture first = loadTextureFromFile("nowhere.png", dir);
    const GlTexture second = loadTextureFromFile("nowhere.png", dir);
    EXPECT_EQ(capture.text(), "");
    EXPECT_NE(first.get(), 0u);
    EXPECT_NE(first.get(), second.get());
    EXPECT_TRUE(glIsTexture(first.get()));
    EXPECT_EQ(boundTexture2D(), 0);

    int width = 0;
    int height = 0;
    const std::vector<unsigned char> texels = readTexture(first.get(), width, height);
    ASSERT_EQ(width, 1);
    ASSERT_EQ(height, 1);
    EXPECT_EQ(texels[0], texels[1]);
    EXPECT_EQ(texels[1], texels[2]);
    EXPECT_GT(texels[0], 0) << "a neutral grey, not black";
    EXPECT_LT(texels[0], 255);
}

TEST(Texture, RowsOfAnyWidthUploadExactlyAndStateIsRestored) {
    ASSERT_TRUE(testGlContext());
    const std::string dir = scratchDirectory("texture_width6");
    const int width = 6;
    const int height = 3;
    std::vector<unsigned char> rgb(width * height * 3);
    for (std::size_t i = 0; i < rgb.size(); ++i) {
        rgb[i] = static_cast<unsigned char>(i * 13 % 256);
    }
    ASSERT_TRUE(
        stbi_write_png((dir + "/six.png").c_str(), width, height, 3, rgb.data(), width * 3));

    StdoutCapture capture;
    const GlTexture texture = loadTextureFromFile("six.png", dir);
    EXPECT_EQ(capture.text(), "");
    EXPECT_EQ(boundTexture2D(), 0);
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 4);

    int w = 0;
    int h = 0;
    const std::vector<unsigned char> texels = readTexture(texture.get(), w, h);
    ASSERT_EQ(w, width);
    ASSERT_EQ(h, height);
    // The first image row is the first texture row.
    for (int p = 0; p < width * height; ++p) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(texels[p * 4 + c], rgb[p * 3 + c]) << "texel " << p << " channel " << c;
        }
    }

    glBindTexture(GL_TEXTURE_2D, texture.get());
    GLint minFilter = 0;
    GLint wrapS = 0;
    GLint level1Width = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrapS);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &level1Width);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(wrapS, GL_REPEAT);
    EXPECT_EQ(level1Width, 3) << "mipmaps are generated";
}

TEST(Texture, GreyBecomesEqualRgbAndAlphaIsDropped) {
    ASSERT_TRUE(testGlContext());
    const std::string dir = scratchDirectory("texture_channels");
    const unsigned char grey[4] = {10, 80, 160, 250};
    ASSERT_TRUE(stbi_write_png((dir + "/grey.png").c_str(), 4, 1, 1, grey, 4));
    const unsigned char rgba[8] = {200, 100, 50, 0, 20, 40, 60, 128};
    ASSERT_TRUE(stbi_write_png((dir + "/alpha.png").c_str(), 2, 1, 4, rgba, 8));

    const GlTexture greyTexture = loadTextureFromFile("grey.png", dir);
    const GlTexture alphaTexture = loadTextureFromFile("alpha.png", dir);
    int w = 0;
    int h = 0;
    const std::vector<unsigned char> greyTexels = readTexture(greyTexture.get(), w, h);
    ASSERT_EQ(w, 4);
    for (int p = 0; p < 4; ++p) {
        EXPECT_EQ(greyTexels[p * 4 + 0], grey[p]);
        EXPECT_EQ(greyTexels[p * 4 + 1], grey[p]);
        EXPECT_EQ(greyTexels[p * 4 + 2], grey[p]);
    }
    const std::vector<unsigned char> alphaTexels = readTexture(alphaTexture.get(), w, h);
    ASSERT_EQ(w, 2);
    for (int p = 0; p < 2; ++p) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(alphaTexels[p * 4 + c], rgba[p * 4 + c]);
        }
        EXPECT_EQ(alphaTexels[p * 4 + 3], 255) << "an RGB texture reads back opaque";
    }
    glBindTexture(GL_TEXTURE_2D, alphaTexture.get());
    GLint alphaBits = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &alphaBits);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(alphaBits, 0);
}

TEST(Image, DecodesWithTheForcedChannelCountOrNothing) {
    const std::string dir = scratchDirectory("image_decode");
    const unsigned char grey[6] = {0, 50, 100, 150, 200, 250};
    ASSERT_TRUE(stbi_write_png((dir + "/grey.png").c_str(), 3, 2, 1, grey, 3));

    Image rgba(dir + "/grey.png", IMAGE_RGBA);
    ASSERT_TRUE(rgba.loaded());
    EXPECT_EQ(rgba.width, 3);
    EXPECT_EQ(rgba.height, 2);
    EXPECT_EQ(rgba.channels, 4);
    EXPECT_EQ(rgba.pixels[4 * 4 + 0], 200) << "row 1, column 1: red of the grey value";
    EXPECT_EQ(rgba.pixels[4 * 4 + 3], 255);

    // Ownership moves; the source is left empty and freeing twice is harmless.
    Image moved(std::move(rgba));
    EXPECT_FALSE(rgba.loaded());
    EXPECT_EQ(rgba.width, 0);
    EXPECT_TRUE(moved.loaded());
    moved.release();
    moved.release();
    EXPECT_FALSE(moved.loaded());

    const Image missing(dir + "/missing.png", IMAGE_RGB);
    EXPECT_FALSE(missing.loaded());
    EXPECT_EQ(missing.width, 0);
    EXPECT_EQ(missing.height, 0);
    EXPECT_EQ(missing.channels, 0);
}
