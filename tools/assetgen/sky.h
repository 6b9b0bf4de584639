// The two skies: six cube faces each, painted per view direction so the
// cube has no seams.
#pragma once

#include <glm/vec3.hpp>
#include <string>

#include "tools/assetgen/image.h"

constexpr int SKY_IMAGE_SIZE = 1024;
// Below 90 the writer also halves the colour resolution (4:2:0); at 80 the
// smooth gradients show no blocks and every level's six faces decode a few
// per cent faster than at 90.
constexpr int SKY_JPEG_QUALITY = 80;

// In the game's load order: +X, -X, +Y, -Y, +Z, -Z.
constexpr const char* SKY_FACE_FILES[6] = {"right.jpg",  "left.jpg", "top.jpg",
                                           "bottom.jpg", "back.jpg", "front.jpg"};

enum class SkyMood { ClearDay, Dusk };

// The unit view direction of texel (s, t) of a cube face, both in [0, 1],
// t = 0 being the face's first (top) image row, with OpenGL's cube-map
// orientation.
glm::vec3 cubeFaceDirection(int face, float s, float t);
// The sky's colour looking along a unit direction.
glm::vec3 skyColour(SkyMood mood, const glm::vec3& direction);
Bitmap renderSkyFace(SkyMood mood, int face, int size);

// Writes the six faces into `folder` (which must exist).
bool writeSky(const std::string& folder, SkyMood mood);
