// What the heads-up display shows in one frame, as plain values: the game
// fills it in, the display only lays it out and draws it.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct HudView {
    std::vector<std::string> status;  // top left, one line each: level, crates, clock, best
    std::string label;                // top right (a replay says so here)
    std::vector<std::string> centre;  // middle of the screen: pause, messages
    std::string hint;                 // small, bottom left
    // The controls, key and what it does; empty when they are not shown.
    std::vector<std::pair<std::string, std::string>> controls;
};
