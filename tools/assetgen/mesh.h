// Triangle meshes built in code and written as Wavefront OBJ + MTL, the
// format the game's model loader reads.
#pragma once

#include <cstdint>
#include <glm/mat4x4.hpp>
#include <glm/vec2.hpp>
#include <glm/vec3.hpp>
#include <string>
#include <vector>

// One named part with one material. Every vertex has a position, a normal
// and a texture coordinate (v = 1 is the image's top row, as OBJ expects).
struct MeshPart {
    std::string name;
    std::string material;
    std::vector<glm::vec3> positions;
    std::vector<glm::vec3> normals;
    std::vector<glm::vec2> uvs;
    std::vector<std::uint32_t> indices;
};

struct Material {
    std::string name;
    glm::vec3 diffuse{1.0f};
    glm::vec3 specular{0.2f};
    float shininess = 16.0f;
    // Texture files, relative to the material file's folder.
    std::string diffuseMap;
    std::string specularMap;
    std::string reflectionMap;  // written as the ambient map, where the game reads it
};

std::uint32_t addVertex(MeshPart& part, glm::vec3 position, glm::vec3 normal, glm::vec2 uv);
// Adds triangle (a, b, c), reversed if needed so that it is counter-clockwise
// seen from the side `facing` points to.
void addTriangle(MeshPart& part, std::uint32_t a, std::uint32_t b, std::uint32_t c,
                 glm::vec3 facing);
// The quad a-b-c-d (in order around its rim) as two triangles facing `facing`.
void addQuad(MeshPart& part, std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
             glm::vec3 facing);
// Triangles whose own orientation is taken from their vertices' normals.
void addTriangleByNormals(MeshPart& part, std::uint32_t a, std::uint32_t b, std::uint32_t c);
void addQuadByNormals(MeshPart& part, std::uint32_t a, std::uint32_t b, std::uint32_t c,
                      std::uint32_t d);

// Moves every vertex of a part (normals follow the rotation part).
void transformPart(MeshPart& part, const glm::mat4& transform);

// Places after the point written for texture coordinates and normals, and
// by default for positions: 1e-4 is a tenth of a millimetre in world units,
// a fortieth of a texel in a 256 atlas, and keeps normals unit to 1e-4.
constexpr int UV_DECIMALS = 4;
constexpr int NORMAL_DECIMALS = 4;
constexpr int POSITION_DECIMALS = 4;

// Writes `objPath` and, next to it, the material file `mtlName`. Identical
// positions, texture coordinates and normals are written once. Returns
// false when either file cannot be written.
bool writeObj(const std::string& objPath, const std::string& mtlName,
              const std::vector<MeshPart>& parts, const std::vector<Material>& materials,
              int positionDecimals = POSITION_DECIMALS);
