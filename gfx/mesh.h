// An indexed triangle mesh on the GPU with the textures its material names.
#pragma once

#include <GL/glew.h>
#include <assimp/types.h>

#include <string>
#include <vector>

#include "gfx/gl_handle.h"
#include "render/maths.h"

// One vertex of the vertex buffer; the attribute pointers rely on this layout.
struct Vertex {
    vec3 position;
    vec3 normal;
    glm::vec2 texCoords;
};
static_assert(sizeof(Vertex) == 32, "Vertex must be three tightly packed float groups");

// A texture used by a mesh. type is the sampler base name ("texture_diffuse",
// "texture_specular" or "texture_reflection"); path is the file name exactly
// as the material gives it. The texture itself belongs to the Model that
// loaded it, never to a mesh.
struct MeshTexture {
    GLuint id = 0;
    std::string type;
    aiString path;
};

// Owns its vertex array and two buffers; move-only, so no two meshes ever hold
// the same live GL names. A moved-from mesh holds none.
class Mesh {
public:
    std::vector<Vertex> vertices;
    std::vector<unsigned int> indices;
    std::vector<MeshTexture> textures;
    GlVertexArray vao;
    GlBuffer vbo;
    GlBuffer ebo;

    // Stores the lists and uploads them at once.
    Mesh(std::vector<Vertex> vertices, std::vector<unsigned int> indices,
         std::vector<MeshTexture> textures);

    void setupMesh();
    // Binds texture i to unit i under its numbered sampler name, draws the
    // triangles and leaves unit 0 active. The caller has made program current.
    void draw(GLuint program) const;
    // Deletes the vertex array and buffers; safe to call more than once.
    void release();
};
