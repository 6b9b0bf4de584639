// The small figure that waves beside the road: a body and two arms, each its
// own model, in the figure's local frame.
#pragma once

#include <glm/vec3.hpp>
#include <string>
#include <vector>

#include "tools/assetgen/mesh.h"

// Where the figure stands in its local frame: on the visible road, facing +Z.
constexpr float FIGURE_GROUND_Y = -0.28f;
constexpr float FIGURE_CENTRE_X = 1.5f;
constexpr float FIGURE_CENTRE_Z = -1.1f;
// The shoulders, where the game's hand transforms put the arms' pivots:
// the right hand's model origin lands at (1.094, 1.062, -1.05), and the left
// hand's model is moved by (1.1, -0.33, -0.95).
constexpr float FIGURE_SHOULDER_Y = 1.062f;
constexpr float FIGURE_SHOULDER_HALF_SPAN = 0.406f;
constexpr float FIGURE_SHOULDER_Z = -1.05f;
constexpr glm::vec3 FIGURE_LEFT_HAND_OFFSET{1.1f, -0.33f, -0.95f};

std::vector<MeshPart> buildFigureBody();
// Modelled along -X from the model origin, the shoulder pivot.
std::vector<MeshPart> buildRightArm();
// Hanging from the left shoulder, (0.806, 1.392, -0.10) in its own model.
std::vector<MeshPart> buildLeftArm();

// Writes body.obj, lh.obj, rh.obj, plinn.mtl and the textures.
bool writeFigure(const std::string& folder);
