#include "tools/assetgen/mesh.h"

#include <cstdio>
#include <glm/geometric.hpp>
#include <glm/mat3x3.hpp>
#include <glm/matrix.hpp>
#include <utility>

std::uint32_t addVertex(MeshPart& part, glm::vec3 position, glm::vec3 normal, glm::vec2 uv) {
    part.positions.push_back(position);
    part.normals.push_back(glm::normalize(normal));
    part.uvs.push_back(uv);
    return static_cast<std::uint32_t>(part.positions.size() - 1);
}

void addTriangle(MeshPart& part, std::uint32_t a, std::uint32_t b, std::uint32_t c,
                 glm::vec3 facing) {
    const glm::vec3 n =
        glm::cross(part.positions[b] - part.positions[a], part.positions[c] - part.positions[a]);
    if (glm::dot(n, facing) < 0.0f) {
        std::swap(b, c);
    }
    part.indices.push_back(a);
    part.indices.push_back(b);
    part.indices.push_back(c);
}

void addQuad(MeshPart& part, std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
             glm::vec3 facing) {
    addTriangle(part, a, b, c, facing);
    addTriangle(part, a, c, d, facing);
}

void addTriangleByNormals(MeshPart& part, std::uint32_t a, std::uint32_t b, std::uint32_t c) {
    addTriangle(part, a, b, c, part.normals[a] + part.normals[b] + part.normals[c]);
}

void addQuadByNormals(MeshPart& part, std::uint32_t a, std::uint32_t b, std::uint32_t c,
                      std::uint32_t d) {
    addTriangleByNormals(part, a, b, c);
    addTriangleByNormals(part, a, c, d);
}

void transformPart(MeshPart& part, const glm::mat4& transform) {
    const glm::mat3 normalMatrix = glm::transpose(glm::inverse(glm::mat3(transform)));
    for (size_t i = 0; i < part.positions.size(); ++i) {
        part.positions[i] = glm::vec3(transform * glm::vec4(part.positions[i], 1.0f));
        part.normals[i] = glm::normalize(normalMatrix * part.normals[i]);
    }
    // A mirror turns every triangle over; keep them counter-clockwise.
    if (glm::determinant(glm::mat3(transform)) < 0.0f) {
        for (size_t i = 0; i + 2 < part.indices.size(); i += 3) {
            std::swap(part.indices[i + 1], part.indices[i + 2]);
        }
    }
}

static bool writeMaterials(const std::string& path, const std::vector<Material>& materials) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return false;
    }
    std::fprintf(file, "# Vromdash asset generator\n");
    for (const Material& m : materials) {
        std::fprintf(file, "\nnewmtl %s\n", m.name.c_str());
        std::fprintf(file, "Ka 1 1 1\n");
        std::fprintf(file, "Kd %.4f %.4f %.4f\n", m.diffuse.r, m.diffuse.g, m.diffuse.b);
        std::fprintf(file, "Ks %.4f %.4f %.4f\n", m.specular.r, m.specular.g, m.specular.b);
        std::fprintf(file, "Ns %.1f\n", m.shininess);
        std::fprintf(file, "illum 2\n");
        if (!m.diffuseMap.empty()) {
            std::fprintf(file, "map_Kd %s\n", m.diffuseMap.c_str());
        }
        if (!m.specularMap.empty()) {
            std::fprintf(file, "map_Ks %s\n", m.specularMap.c_str());
        }
        if (!m.reflectionMap.empty()) {
            std::fprintf(file, "map_Ka %s\n", m.reflectionMap.c_str());
        }
    }
    return std::fclose(file) == 0;
}

bool writeObj(const std::string& objPath, const std::string& mtlName,
              const std::vector<MeshPart>& parts, const std::vector<Material>& materials) {
    const size_t slash = objPath.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : objPath.substr(0, slash);
    if (!writeMaterials(folder + "/" + mtlName, materials)) {
        return false;
    }
    FILE* file = std::fopen(objPath.c_str(), "wb");
    if (!file) {
        return false;
    }
    std::fprintf(file, "# Vromdash asset generator\nmtllib %s\n", mtlName.c_str());
    size_t base = 1;  // OBJ indices count from 1 across the whole file
    for (const MeshPart& part : parts) {
        std::fprintf(file, "\no %s\n", part.name.c_str());
        for (const glm::vec3& p : part.positions) {
            std::fprintf(file, "v %.7g %.7g %.7g\n", p.x, p.y, p.z);
        }
        for (const glm::vec2& t : part.uvs) {
            std::fprintf(file, "vt %.6g %.6g\n", t.x, t.y);
        }
        for (const glm::vec3& n : part.normals) {
            std::fprintf(file, "vn %.5f %.5f %.5f\n", n.x, n.y, n.z);
        }
        std::fprintf(file, "usemtl %s\n", part.material.c_str());
        for (size_t i = 0; i + 2 < part.indices.size(); i += 3) {
            const size_t a = base + part.indices[i];
            const size_t b = base + part.indices[i + 1];
            const size_t c = base + part.indices[i + 2];
            std::fprintf(file, "f %zu/%zu/%zu %zu/%zu/%zu %zu/%zu/%zu\n", a, a, a, b, b, b, c, c,
                         c);
        }
        base += part.positions.size();
    }
    return std::fclose(file) == 0;
}
