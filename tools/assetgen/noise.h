// Deterministic randomness: the generator must write the same bytes on every
// run, so nothing here depends on time, addresses or the C library's rand().
#pragma once

#include <cstdint>
#include <glm/vec2.hpp>
#include <glm/vec3.hpp>

// A small seeded generator (splitmix64).
struct Random {
    std::uint64_t state = 0;
    std::uint64_t next();
    // Uniform in [0, 1).
    float uniform();
    float range(float low, float high);
};

// Hash of integer lattice coordinates to [0, 1).
float latticeValue(int x, int y, int z, std::uint32_t seed);

// Smooth value noise in [0, 1]. With period > 0 the 2D noise repeats every
// `period` units in x and y, so textures made from it tile without seams.
float valueNoise2(glm::vec2 p, std::uint32_t seed, int period = 0);
float valueNoise3(glm::vec3 p, std::uint32_t seed);
// Sums of octaves (each twice the frequency, half the amplitude), in [0, 1].
float fractalNoise2(glm::vec2 p, int octaves, std::uint32_t seed, int period = 0);
float fractalNoise3(glm::vec3 p, int octaves, std::uint32_t seed);

float smoothStep(float edge0, float edge1, float x);
