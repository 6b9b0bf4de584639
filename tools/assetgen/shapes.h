// Building blocks for the vehicles and the figure: lofts, spheres, boxes,
// and texture atlases whose cells the parts map their coordinates into.
#pragma once

#include <glm/mat4x4.hpp>
#include <glm/vec2.hpp>
#include <glm/vec3.hpp>
#include <vector>

#include "tools/assetgen/image.h"
#include "tools/assetgen/mesh.h"

// A rectangle of an atlas image, in pixels (y down from the top row).
struct AtlasCell {
    float x0, y0, x1, y1;
    int width, height;  // of the whole image
};

// Texture coordinate of (a, b) in [0, 1]^2 inside a cell: a left to right,
// b top to bottom as the image is seen.
glm::vec2 cellUv(const AtlasCell& cell, float a, float b);
// Cell (column, row) of an atlas of square cells, inset by `inset` pixels so
// that mipmaps of one cell do not take colour from the next.
AtlasCell gridCell(int imageSize, int cellSize, int column, int row, float inset);

// A cross-section of a loft: a closed ring of points in the x-y plane at
// height z (rings of one loft have the same number of points).
struct LoftSection {
    float z;
    std::vector<glm::vec2> ring;
};

// Quads between consecutive rings. Smooth: shared vertices with averaged
// normals, u around the ring and v along the loft. Faceted: each quad flat
// with its own vertices. Normals point away from the loft's axis. With
// capped ends the first and last rings are closed by flat fans.
// `capCell`, if given, textures the caps (planar) instead of `cell`.
void addLoft(MeshPart& part, const std::vector<LoftSection>& sections, bool smooth, bool capped,
             const AtlasCell& cell, const AtlasCell* capCell = nullptr);

// A ring approximating a rounded rectangle (superellipse of exponent `power`),
// centred at (0, centreY), starting at the bottom and running counter-clockwise.
std::vector<glm::vec2> roundedRing(float halfWidth, float bottom, float top, float power,
                                   int count);
// A circle of `count` points.
std::vector<glm::vec2> circleRing(float radius, int count);

// An ellipsoid with analytic normals; u along longitude, v along latitude.
void addEllipsoid(MeshPart& part, glm::vec3 centre, glm::vec3 radii, int slices, int stacks,
                  const AtlasCell& cell);
// An axis-aligned box with flat faces, each face mapped onto the whole cell.
void addBox(MeshPart& part, glm::vec3 low, glm::vec3 high, const AtlasCell& cell);
// A capped cylinder from `from` to `to`.
void addCylinder(MeshPart& part, glm::vec3 from, glm::vec3 to, float radius, int segments,
                 const AtlasCell& cell);

// Appends `source` moved by `transform` to `target`.
void appendTransformed(MeshPart& target, MeshPart source, const glm::mat4& transform);
