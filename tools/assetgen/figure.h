// The small figure that waves beside the road: a body and two arms, each its
// own model, in the figure's local frame.
#pragma once

#include <glm/mat4x4.hpp>
#include <glm/vec3.hpp>
#include <string>
#include <vector>

#include "tools/assetgen/mesh.h"

// Where the figure stands in its local frame: on the visible road, facing +Z.
constexpr float FIGURE_GROUND_Y = -0.28f;
constexpr float FIGURE_CENTRE_X = 1.5f;
constexpr float FIGURE_CENTRE_Z = -1.1f;
constexpr float FIGURE_SHOULDER_Y = 1.062f;
constexpr float FIGURE_SHOULDER_HALF_SPAN = 0.406f;
constexpr float FIGURE_SHOULDER_Z = -1.05f;

// The game's fixed hand transforms (before the wave turns the right arm
// about its model's z axis).
glm::mat4 figureLeftHandTransform();
glm::mat4 figureRightHandTransform();

std::vector<MeshPart> buildFigureBody();
// Modelled along -X from the model origin, the shoulder pivot.
std::vector<MeshPart> buildRightArm();
// Hanging from the left shoulder at (0.806, 1.392, -0.10) of its model.
std::vector<MeshPart> buildLeftArm();

// Writes body.obj, lh.obj, rh.obj, plinn.mtl and the textures.
bool writeFigure(const std::string& folder);
