// One owner type for every OpenGL object name the game makes. Each kind of
// object has its own glDelete* call; writing the release and the move by
// hand in every class that holds a name let them drift apart (some checked
// for zero, some did not, some forgot to zero the source of a move). Here it
// is written once: a GlHandle holds one name, 0 means none, it deletes the
// name once with its kind's call and hands it over on a move.
#pragma once

#include <GL/glew.h>

#include <utility>

// Each kind says how a name is made (where glGen* makes them) and deleted.
namespace gl_kind {
struct Buffer {
    static void generate(GLuint* id) { glGenBuffers(1, id); }
    static void destroy(GLuint id) { glDeleteBuffers(1, &id); }
};
struct VertexArray {
    static void generate(GLuint* id) { glGenVertexArrays(1, id); }
    static void destroy(GLuint id) { glDeleteVertexArrays(1, &id); }
};
struct Texture {
    static void generate(GLuint* id) { glGenTextures(1, id); }
    static void destroy(GLuint id) { glDeleteTextures(1, &id); }
};
struct Framebuffer {
    static void generate(GLuint* id) { glGenFramebuffers(1, id); }
    static void destroy(GLuint id) { glDeleteFramebuffers(1, &id); }
};
struct Renderbuffer {
    static void generate(GLuint* id) { glGenRenderbuffers(1, id); }
    static void destroy(GLuint id) { glDeleteRenderbuffers(1, &id); }
};
// Programs and shaders come from glCreateProgram / glCreateShader and are
// adopted with the explicit constructor.
struct Program {
    static void destroy(GLuint id) { glDeleteProgram(id); }
};
struct Shader {
    static void destroy(GLuint id) { glDeleteShader(id); }
};
}  // namespace gl_kind

// Move-only owner of one GL name of Kind. get() lends the name to GL calls
// and draw operations, which never own it.
template <typename Kind>
class GlHandle {
public:
    GlHandle() = default;
    // Adopts a name made elsewhere (glCreateProgram, glCreateShader).
    explicit GlHandle(GLuint id) : id_(id) {}
    // A fresh name of this kind (glGen*).
    static GlHandle generate() {
        GLuint id = 0;
        Kind::generate(&id);
        return GlHandle(id);
    }
    ~GlHandle() { release(); }
    GlHandle(const GlHandle&) = delete;
    GlHandle& operator=(const GlHandle&) = delete;
    GlHandle(GlHandle&& other) noexcept : id_(std::exchange(other.id_, 0)) {}
    GlHandle& operator=(GlHandle&& other) noexcept {
        if (this != &other) {
            release();
            id_ = std::exchange(other.id_, 0);
        }
        return *this;
    }

    GLuint get() const { return id_; }
    explicit operator bool() const { return id_ != 0; }
    // Deletes the object now and holds none; safe to call more than once.
    void release() {
        if (id_ != 0) {
            Kind::destroy(std::exchange(id_, 0));
        }
    }

private:
    GLuint id_ = 0;
};

using GlBuffer = GlHandle<gl_kind::Buffer>;
using GlVertexArray = GlHandle<gl_kind::VertexArray>;
using GlTexture = GlHandle<gl_kind::Texture>;
using GlFramebuffer = GlHandle<gl_kind::Framebuffer>;
using GlRenderbuffer = GlHandle<gl_kind::Renderbuffer>;
using GlProgram = GlHandle<gl_kind::Program>;
using GlShader = GlHandle<gl_kind::Shader>;
