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
    GLuint t = 0, b = 0, v = 0, f = 0, r = 0, p = 0, s = 0;
    {
        const GlTexture texture = GlTexture::generate();
        const GlBuffer buffer = GlBuffer::generate();
        const GlVertexArray vertexArray = GlVertexArray::generate();
        const GlFramebuffer framebuffer = GlFramebuffer::generate();
        const GlRenderbuffer renderbuffer = GlRenderbuffer::generate();
        const GlProgram program(glCreateProgram());
        const GlShader shader(glCreateShader(GL_VERTEX_SHADER));
        // A generated name becomes an object when it is first bound.
        glBindTexture(GL_TEXTURE_2D, t = texture.get());
        glBindBuffer(GL_ARRAY_BUFFER, b = buffer.get());
        glBindVertexArray(v = vertexArray.get());
        glBindFramebuffer(GL_FRAMEBUFFER, f = framebuffer.get());
        glBindRenderbuffer(GL_RENDERBUFFER, r = renderbuffer.get());
        p = program.get();
        s = shader.get();
        glBindTexture(GL_TEXTURE_2D, 0);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindVertexArray(0);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
        ASSERT_TRUE(glIsTexture(t) && glIsBuffer(b) && glIsVertexArray(v) && glIsFramebuffer(f) &&
                    glIsRenderbuffer(r) && glIsProgram(p) && glIsShader(s));
    }
    EXPECT_FALSE(glIsTexture(t) || glIsBuffer(b) || glIsVertexArray(v) || glIsFramebuffer(f) ||
                 glIsRenderbuffer(r) || glIsProgram(p) || glIsShader(s));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
