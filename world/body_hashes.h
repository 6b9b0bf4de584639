// Fingerprints of the simulation: a hash of every body's pose and velocity,
// so that two runs of the game can be told apart to the last bit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class World;

struct BodyHash {
    std::string body;  // "chassis", "wheel 1" .. "wheel 4", "crate 1" .., "figure 1" ..
    uint64_t hash = 0;
};

// The car's five bodies, then every crate and every figure, in list order.
std::vector<BodyHash> bodyHashes(const World& world);

// One hash of the level counter and every body.
uint64_t worldHash(const World& world);

// "frame N hash H" and, with `bodies`, one indented line per body: what the
// replay tool prints.
std::string hashReport(const World& world, int frame, bool bodies);
