// The ground: the heightmap the physics builds its heightfield from, and the
// road model drawn over it. Both come from the route's centre line.
#pragma once

#include <string>
#include <vector>

#include "tools/assetgen/image.h"
#include "tools/assetgen/mesh.h"

// How the game maps the heightmap: image row r runs along world X, column c
// along world Z; world x = origin x + r * cell, z = origin z + c * cell,
// y = floor + red * height scale.
constexpr int HEIGHTMAP_ROWS = 512;
constexpr int HEIGHTMAP_COLUMNS = 540;  // more than 512 for room at high z
constexpr float HEIGHTMAP_ORIGIN_X = -295.0f;
constexpr float HEIGHTMAP_ORIGIN_Z = -170.0f;
constexpr float HEIGHTMAP_CELL = 0.66f;
constexpr float HEIGHTMAP_HEIGHT_SCALE = 0.315f;
constexpr float HEIGHTMAP_FLOOR_Y = -35.83f;
// Red 114 puts the road's collision surface at y = 0.08.
constexpr int PLATEAU_RED = 114;
// The plateau reaches this far beyond the asphalt, a little more than a
// cell's diagonal, so every point of the asphalt lies in a flat cell.
constexpr float PLATEAU_MARGIN = 0.95f;

// Everything drawn sits this far below its collision surface.
constexpr float VISUAL_DROP = 0.4f;
// The game draws the road model at world = ROAD_MODEL_SCALE * v + (ROAD_MODEL_OFFSET_X, 0, 0).
constexpr float ROAD_MODEL_SCALE = 300.0f;
constexpr float ROAD_MODEL_OFFSET_X = -126.0f;

inline float plateauSurfaceY() {
    return HEIGHTMAP_FLOOR_Y + PLATEAU_RED * HEIGHTMAP_HEIGHT_SCALE;
}
inline float visibleRoadY() {
    return plateauSurfaceY() - VISUAL_DROP;
}
inline float visibleFloorY() {
    return HEIGHTMAP_FLOOR_Y - VISUAL_DROP;
}

// One grey channel: PLATEAU_RED under the road and its margin, 0 elsewhere.
Bitmap buildHeightmap();

// The road model in world coordinates: asphalt, kerbs, the plateau's side
// walls and the floor far below.
std::vector<MeshPart> buildRoadParts();
std::vector<Material> roadMaterials();

// Writes heightmap.png, road3.obj, road3.mtl and the road's textures into
// `folder` (which must exist). False if a file cannot be written.
bool writeGround(const std::string& folder);
