#include "tools/assetgen/shapes.h"

#include <cmath>
#include <glm/geometric.hpp>
#include <glm/gtc/matrix_transform.hpp>

namespace {
constexpr float PI = 3.14159265f;

glm::vec2 ringCentre(const std::vector<glm::vec2>& ring) {
    glm::vec2 sum(0.0f);
    for (const glm::vec2& p : ring) {
        sum += p;
    }
    return sum / static_cast<float>(ring.size());
}

void addCap(MeshPart& part, const LoftSection& section, float outward, const AtlasCell& cell) {
    const glm::vec3 normal(0.0f, 0.0f, outward);
    const glm::vec2 centre = ringCentre(section.ring);
    float extent = 1e-6f;
    for (const glm::vec2& p : section.ring) {
        extent = std::fmax(extent, glm::length(p - centre));
    }
    auto uvOf = [&](glm::vec2 p) {
        const glm::vec2 local = (p - centre) / (2.0f * extent) + glm::vec2(0.5f);
        return cellUv(cell, local.x, 1.0f - local.y);
    };
    const std::uint32_t middle =
        addVertex(part, glm::vec3(centre, section.z), normal, uvOf(centre));
    std::vector<std::uint32_t> rim;
    for (const glm::vec2& p : section.ring) {
        rim.push_back(addVertex(part, glm::vec3(p, section.z), normal, uvOf(p)));
    }
    for (size_t i = 0; i < rim.size(); ++i) {
        addTriangle(part, middle, rim[i], rim[(i + 1) % rim.size()], normal);
    }
}
}  // namespace

glm::vec2 cellUv(const AtlasCell& cell, float a, float b) {
    const float x = cell.x0 + a * (cell.x1 - cell.x0);
    const float y = cell.y0 + b * (cell.y1 - cell.y0);
    // OBJ's v runs up from the image's bottom row; the game flips it back.
    return glm::vec2(x / cell.width, 1.0f - y / cell.height);
}

AtlasCell gridCell(int imageSize, int cellSize, int column, int row, float inset) {
    return {static_cast<float>(column * cellSize) + inset,
            static_cast<float>(row * cellSize) + inset,
            static_cast<float>((column + 1) * cellSize) - inset,
            static_cast<float>((row + 1) * cellSize) - inset,
            imageSize,
            imageSize};
}

void addLoft(MeshPart& part, const std::vector<LoftSection>& sections, bool smooth, bool capped,
             const AtlasCell& cell, const AtlasCell* capCell) {
    const size_t stations = sections.size();
    const size_t count = sections.front().ring.size();
    auto point = [&](size_t ring, size_t index) {
        return glm::vec3(sections[ring].ring[index % count], sections[ring].z);
    };
    auto axisPoint = [&](size_t ring) {
        return glm::vec3(ringCentre(sections[ring].ring), sections[ring].z);
    };
    auto outwardOriented = [&](glm::vec3 normal, glm::vec3 position, size_t ring) {
        glm::vec3 radial = position - axisPoint(ring);
        radial.z = 0.0f;
        return glm::dot(normal, radial) < 0.0f ? -normal : normal;
    };
    if (smooth) {
        // One vertex per ring point (the seam point twice, for u = 0 and 1).
        std::vector<std::uint32_t> grid((count + 1) * stations);
        for (size_t j = 0; j < stations; ++j) {
            const size_t before = j == 0 ? 0 : j - 1;
            const size_t after = j + 1 == stations ? j : j + 1;
            for (size_t i = 0; i <= count; ++i) {
                const glm::vec3 p = point(j, i);
                const glm::vec3 aroundRing = point(j, i + 1) - point(j, i + count - 1);
                glm::vec3 alongLoft = point(after, i) - point(before, i);
                if (glm::length(alongLoft) < 1e-6f) {
                    alongLoft = glm::vec3(0.0f, 0.0f, 1.0f);
                }
                glm::vec3 normal = glm::cross(aroundRing, alongLoft);
                if (glm::length(normal) < 1e-9f) {
                    normal = p - axisPoint(j);
                }
                normal = outwardOriented(glm::normalize(normal), p, j);
                const float v = static_cast<float>(j) / static_cast<float>(stations - 1);
                grid[j * (count + 1) + i] =
                    addVertex(part, p, normal, cellUv(cell, static_cast<float>(i) / count, v));
            }
        }
        for (size_t j = 0; j + 1 < stations; ++j) {
            for (size_t i = 0; i < count; ++i) {
                addQuadByNormals(part, grid[j * (count + 1) + i], grid[j * (count + 1) + i + 1],
                                 grid[(j + 1) * (count + 1) + i + 1],
                                 grid[(j + 1) * (count + 1) + i]);
            }
        }
    } else {
        for (size_t j = 0; j + 1 < stations; ++j) {
            for (size_t i = 0; i < count; ++i) {
                const float u0 = static_cast<float>(i) / count;
                const float u1 = static_cast<float>(i + 1) / count;
                const float v0 = static_cast<float>(j) / (stations - 1);
                const float v1 = static_cast<float>(j + 1) / (stations - 1);
                // Corners of the quad; a ring that shrinks to a line or a
                // point leaves a triangle or nothing.
                const glm::vec3 all[4] = {point(j, i), point(j, i + 1), point(j + 1, i + 1),
                                          point(j + 1, i)};
                const glm::vec2 uvs[4] = {{u0, v0}, {u1, v0}, {u1, v1}, {u0, v1}};
                std::vector<int> kept;
                for (int k = 0; k < 4; ++k) {
                    if (kept.empty() || glm::length(all[k] - all[kept.back()]) > 1e-6f) {
                        kept.push_back(k);
                    }
                }
                if (kept.size() > 1 && glm::length(all[kept.back()] - all[kept.front()]) < 1e-6f) {
                    kept.pop_back();
                }
                if (kept.size() < 3) {
                    continue;
                }
                glm::vec3 centre(0.0f);
                for (int k : kept) {
                    centre += all[k];
                }
                centre /= static_cast<float>(kept.size());
                glm::vec3 normal =
                    glm::cross(all[kept[1]] - all[kept[0]], all[kept[2]] - all[kept[0]]);
                if (glm::length(normal) < 1e-9f) {
                    continue;
                }
                normal = outwardOriented(glm::normalize(normal), centre, j);
                std::vector<std::uint32_t> ids;
                for (int k : kept) {
                    ids.push_back(
                        addVertex(part, all[k], normal, cellUv(cell, uvs[k].x, uvs[k].y)));
                }
                if (ids.size() == 3) {
                    addTriangle(part, ids[0], ids[1], ids[2], normal);
                } else {
                    addQuad(part, ids[0], ids[1], ids[2], ids[3], normal);
                }
            }
        }
    }
    if (capped) {
        const float direction = sections.back().z > sections.front().z ? 1.0f : -1.0f;
        addCap(part, sections.front(), -direction, capCell ? *capCell : cell);
        addCap(part, sections.back(), direction, capCell ? *capCell : cell);
    }
}

std::vector<glm::vec2> roundedRing(float halfWidth, float bottom, float top, float power,
                                   int count) {
    std::vector<glm::vec2> ring;
    const float centreY = 0.5f * (bottom + top);
    const float halfHeight = 0.5f * (top - bottom);
    const float exponent = 2.0f / power;
    for (int i = 0; i < count; ++i) {
        const float angle = -0.5f * PI + 2.0f * PI * i / count;
        const float c = std::cos(angle), s = std::sin(angle);
        const float x = std::copysign(std::pow(std::fabs(c), exponent), c);
        const float y = std::copysign(std::pow(std::fabs(s), exponent), s);
        ring.emplace_back(halfWidth * x, centreY + halfHeight * y);
    }
    return ring;
}

std::vector<glm::vec2> circleRing(float radius, int count) {
    return roundedRing(radius, -radius, radius, 2.0f, count);
}

void addEllipsoid(MeshPart& part, glm::vec3 centre, glm::vec3 radii, int slices, int stacks,
                  const AtlasCell& cell) {
    std::vector<std::uint32_t> grid;
    for (int j = 0; j <= stacks; ++j) {
        const float latitude = -0.5f * PI + PI * j / stacks;
        for (int i = 0; i <= slices; ++i) {
            // Longitude 0 faces +Z, where a face texture puts its middle.
            const float longitude = -PI + 2.0f * PI * i / slices;
            const glm::vec3 unit(std::cos(latitude) * std::sin(longitude), std::sin(latitude),
                                 std::cos(latitude) * std::cos(longitude));
            const glm::vec3 normal = glm::normalize(unit / radii);
            grid.push_back(addVertex(part, centre + unit * radii, normal,
                                     cellUv(cell, static_cast<float>(i) / slices,
                                            1.0f - static_cast<float>(j) / stacks)));
        }
    }
    for (int j = 0; j < stacks; ++j) {
        for (int i = 0; i < slices; ++i) {
            const std::uint32_t a = grid[j * (slices + 1) + i];
            const std::uint32_t b = grid[j * (slices + 1) + i + 1];
            const std::uint32_t c = grid[(j + 1) * (slices + 1) + i + 1];
            const std::uint32_t d = grid[(j + 1) * (slices + 1) + i];
            if (j > 0) {
                addTriangleByNormals(part, a, b, c);
            }
            if (j + 1 < stacks) {
                addTriangleByNormals(part, a, c, d);
            }
        }
    }
}

void addBox(MeshPart& part, glm::vec3 low, glm::vec3 high, const AtlasCell& cell) {
    for (int axis = 0; axis < 3; ++axis) {
        for (float side : {-1.0f, 1.0f}) {
            glm::vec3 normal(0.0f);
            normal[axis] = side;
            const int u = (axis + 1) % 3, v = (axis + 2) % 3;
            std::uint32_t corners[4];
            const float us[4] = {0, 1, 1, 0}, vs[4] = {0, 0, 1, 1};
            for (int k = 0; k < 4; ++k) {
                glm::vec3 p;
                p[axis] = side < 0 ? low[axis] : high[axis];
                p[u] = us[k] < 0.5f ? low[u] : high[u];
                p[v] = vs[k] < 0.5f ? low[v] : high[v];
                corners[k] = addVertex(part, p, normal, cellUv(cell, us[k], 1.0f - vs[k]));
            }
            addQuad(part, corners[0], corners[1], corners[2], corners[3], normal);
        }
    }
}

void addCylinder(MeshPart& part, glm::vec3 from, glm::vec3 to, float radius, int segments,
                 const AtlasCell& cell) {
    const float length = glm::length(to - from);
    MeshPart local;
    addLoft(local, {{0.0f, circleRing(radius, segments)}, {length, circleRing(radius, segments)}},
            true, true, cell);
    // Local +Z onto the cylinder's axis.
    const glm::vec3 axis = (to - from) / length;
    glm::vec3 helper = std::fabs(axis.y) < 0.9f ? glm::vec3(0, 1, 0) : glm::vec3(1, 0, 0);
    const glm::vec3 x = glm::normalize(glm::cross(helper, axis));
    const glm::vec3 y = glm::cross(axis, x);
    glm::mat4 frame(1.0f);
    frame[0] = glm::vec4(x, 0.0f);
    frame[1] = glm::vec4(y, 0.0f);
    frame[2] = glm::vec4(axis, 0.0f);
    frame[3] = glm::vec4(from, 1.0f);
    appendTransformed(part, local, frame);
}

void appendTransformed(MeshPart& target, MeshPart source, const glm::mat4& transform) {
    transformPart(source, transform);
    const std::uint32_t base = static_cast<std::uint32_t>(target.positions.size());
    target.positions.insert(target.positions.end(), source.positions.begin(),
                            source.positions.end());
    target.normals.insert(target.normals.end(), source.normals.begin(), source.normals.end());
    target.uvs.insert(target.uvs.end(), source.uvs.begin(), source.uvs.end());
    for (std::uint32_t index : source.indices) {
        target.indices.push_back(base + index);
    }
}
