// Deterministic randomness: the generator must write the same bytes on every
// run, so nothing here depends on time, addresses or the C library's rand().
#pragma once

#include <cstdint>
#include <glm/vec2.hpp>
#include <glm/vec3.hpp>

// Hash of integer lattice coordinates to [0, 1).
float latticeValue(int x, int y, int z, std::uint32_t seed);

// Smooth value noise in [0, 1]. With period > 0 the 2D noise repeats every
// `period` units in x and y, so textures made from it tile without seams.
float valueNoise2(glm::vec2 p, std::uint32_t seed, int period = 0);
// A sum of octaves (each twice the frequency, half the amplitude), in [0, 1].
float fractalNoise2(glm::vec2 p, int octaves, std::uint32_t seed, int period = 0);

float smoothStep(float edge0, float edge1, float x);
