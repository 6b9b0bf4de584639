#include "gfx/gl_handle.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "tests/support/gl_context.h"

namespace {

// A kind that records what it is asked to delete instead of calling GL.
std::vector<GLuint> deleted;
struct Counted {
    static void destroy(GLuint id) { deleted.push_back(id); }
};
using CountedHandle = GlHandle<Counted>;

}  // namespace

TEST(GlHandle, MovesHandTheNameOverAndEachNameIsDeletedOnce) {
    deleted.clear();
    {
        CountedHandle none;
        none.release();  // no name: nothing to delete
        CountedHandle first(7);
        CountedHandle second(std::move(first));
        EXPECT_EQ(first.get(), 0u);
        EXPECT_EQ(second.get(), 7u);
        CountedHandle third(9);
        third = std::move(second);  // 9 goes, 7 comes over
        EXPECT_EQ(second.get(), 0u);
        EXPECT_EQ(third.get(), 7u);
        EXPECT_EQ(deleted, std::vector<GLuint>{9});
        third.release();
        third.release();  // then the destructor: still once
        EXPECT_FALSE(third);
    }
    EXPECT_EQ(deleted, (std::vector<GLuint>{9, 7}));
}

TEST(GlHandle, EveryKindReallyDeletesItsObject) {
    ASSERT_TRUE(testGlContext());
    GlTexture texture = GlTexture::generate();
    GlBuffer buffer = GlBuffer::generate();
    GlVertexArray vertexArray = GlVertexArray::generate();
    GlFramebuffer framebuffer = GlFramebuffer::generate();
    GlRenderbuffer renderbuffer = GlRenderbuffer::generate();
    GlProgram program(glCreateProgram());
    GlShader shader(glCreateShader(GL_VERTEX_SHADER));
    // A generated name becomes an object when it is first bound.
    glBindTexture(GL_TEXTURE_2D, texture.get());
    glBindBuffer(GL_ARRAY_BUFFER, buffer.get());
    glBindVertexArray(vertexArray.get());
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer.get());
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer.get());
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindVertexArray(0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);

    const GLuint t = texture.get(), b = buffer.get(), v = vertexArray.get();
    const GLuint f = framebuffer.get(), r = renderbuffer.get();
    const GLuint p = program.get(), s = shader.get();
    ASSERT_TRUE(glIsTexture(t) && glIsBuffer(b) && glIsVertexArray(v) && glIsFramebuffer(f) &&
                glIsRenderbuffer(r) && glIsProgram(p) && glIsShader(s));

    texture.release();
    EXPECT_FALSE(glIsTexture(t));
    {
        // Moved into owners that end here: the moved-from ones delete nothing.
        const GlBuffer b2(std::move(buffer));
        const GlVertexArray v2(std::move(vertexArray));
        const GlFramebuffer f2(std::move(framebuffer));
        const GlRenderbuffer r2(std::move(renderbuffer));
        const GlProgram p2(std::move(program));
        const GlShader s2(std::move(shader));
        EXPECT_TRUE(glIsBuffer(b) && glIsProgram(p));
    }
    EXPECT_FALSE(glIsBuffer(b));
    EXPECT_FALSE(glIsVertexArray(v));
    EXPECT_FALSE(glIsFramebuffer(f));
    EXPECT_FALSE(glIsRenderbuffer(r));
    EXPECT_FALSE(glIsProgram(p));
    EXPECT_FALSE(glIsShader(s));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
