#include "gfx/mesh.h"

#include <cstddef>
#include <utility>

Mesh::Mesh(std::vector<Vertex> vertices, std::vector<unsigned int> indices,
           std::vector<MeshTexture> textures)
    : vertices(std::move(vertices)), indices(std::move(indices)), textures(std::move(textures)) {
    setupMesh();
}

void Mesh::setupMesh() {
    vao = GlVertexArray::generate();
    vbo = GlBuffer::generate();
    ebo = GlBuffer::generate();

    glBindVertexArray(vao.get());
    glBindBuffer(GL_ARRAY_BUFFER, vbo.get());
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(Vertex)),
                 vertices.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ebo.get());
    glBufferData(GL_ELEMENT_ARRAY_BUFFER,
                 static_cast<GLsizeiptr>(indices.size() * sizeof(unsigned int)), indices.data(),
                 GL_STATIC_DRAW);

    const GLsizei stride = sizeof(Vertex);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<void*>(offsetof(Vertex, position)));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<void*>(offsetof(Vertex, normal)));
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<void*>(offsetof(Vertex, texCoords)));
    // The element buffer stays recorded in the vertex array.
    glBindVertexArray(0);
}

void Mesh::draw(GLuint program) const {
    unsigned int diffuseNumber = 1;
    unsigned int specularNumber = 1;
    unsigned int reflectionNumber = 1;
    for (std::size_t i = 0; i < textures.size(); ++i) {
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(i));
        const std::string& type = textures[i].type;
        std::string name = type;
        if (type == "texture_diffuse") {
            name += std::to_string(diffuseNumber++);
        } else if (type == "texture_specular") {
            name += std::to_string(specularNumber++);
        } else if (type == "texture_reflection") {
            name += std::to_string(reflectionNumber++);
        }
        glUniform1i(glGetUniformLocation(program, name.c_str()), static_cast<GLint>(i));
        glBindTexture(GL_TEXTURE_2D, textures[i].id);
    }
    glActiveTexture(GL_TEXTURE0);

    if (!vao) {
        return;  // moved from: nothing of its own left to draw
    }
    glBindVertexArray(vao.get());
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indices.size()), GL_UNSIGNED_INT, nullptr);
    glBindVertexArray(0);
}

void Mesh::release() {
    vao.release();
    vbo.release();
    ebo.release();
}
