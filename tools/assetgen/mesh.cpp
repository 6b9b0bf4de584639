#include "tools/assetgen/mesh.h"

#include <cstdio>
#include <glm/geometric.hpp>
#include <glm/mat3x3.hpp>
#include <glm/matrix.hpp>
#include <string>
#include <unordered_map>
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

namespace {

// A number with at most `decimals` places, without trailing zeros: the
// game's importer reads OBJ text byte by byte, so shorter files load faster.
std::string formatNumber(float value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof(text), "%.*f", decimals, static_cast<double>(value));
    std::string result = text;
    if (result.find('.') != std::string::npos) {
        result.erase(result.find_last_not_of('0') + 1);
        if (result.back() == '.') {
            result.pop_back();
        }
    }
    return result == "-0" ? "0" : result;
}

// One kind of OBJ element (v, vt or vn): each distinct text is written once
// and referred to by its number, which counts from 1 across the file.
struct ElementTable {
    std::unordered_map<std::string, size_t> numbers;
    std::string pending;  // lines of new elements not yet written

    size_t number(const std::string& keyword, const std::string& values) {
        const auto [where, added] = numbers.emplace(values, numbers.size() + 1);
        if (added) {
            pending += keyword + " " + values + "\n";
        }
        return where->second;
    }
};

}  // namespace

bool writeObj(const std::string& objPath, const std::string& mtlName,
              const std::vector<MeshPart>& parts, const std::vector<Material>& materials,
              int positionDecimals) {
    const size_t slash = objPath.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : objPath.substr(0, slash);
    if (!writeMaterials(folder + "/" + mtlName, materials)) {
        return false;
    }
    std::string text = "# Vromdash asset generator\nmtllib " + mtlName + "\n";
    ElementTable positions, uvs, normals;
    for (const MeshPart& part : parts) {
        // Each corner as "v/vt/vn", its three numbers found before any
        // element line of the part is written, so every face refers back.
        std::vector<std::string> corners(part.positions.size());
        for (size_t i = 0; i < part.positions.size(); ++i) {
            const glm::vec3& p = part.positions[i];
            const glm::vec2& t = part.uvs[i];
            const glm::vec3& n = part.normals[i];
            const size_t v = positions.number("v", formatNumber(p.x, positionDecimals) + " " +
                                                       formatNumber(p.y, positionDecimals) + " " +
                                                       formatNumber(p.z, positionDecimals));
            const size_t vt = uvs.number(
                "vt", formatNumber(t.x, UV_DECIMALS) + " " + formatNumber(t.y, UV_DECIMALS));
            const size_t vn = normals.number("vn", formatNumber(n.x, NORMAL_DECIMALS) + " " +
                                                       formatNumber(n.y, NORMAL_DECIMALS) + " " +
                                                       formatNumber(n.z, NORMAL_DECIMALS));
            corners[i] = std::to_string(v) + "/" + std::to_string(vt) + "/" + std::to_string(vn);
        }
        text += "\no " + part.name + "\n";
        for (ElementTable* table : {&positions, &uvs, &normals}) {
            text += table->pending;
            table->pending.clear();
        }
        text += "usemtl " + part.material + "\n";
        for (size_t i = 0; i + 2 < part.indices.size(); i += 3) {
            text += "f " + corners[part.indices[i]] + " " + corners[part.indices[i + 1]] + " " +
                    corners[part.indices[i + 2]] + "\n";
        }
    }
    FILE* file = std::fopen(objPath.c_str(), "wb");
    if (!file) {
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}
