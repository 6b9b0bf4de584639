// The game around the simulation for one run: pause, the display's
// switches, the messages the rules leave, and the best times. The simulation
// never reads it, so a game replays the same with or without a display.
#pragma once

#include <iosfwd>
#include <string>

#include "hud/hud_view.h"
#include "storage/best_times.h"

// How long a message stays, and how long the hint for the controls shows at
// the start, in physics steps (game time: the same at any frame rate).
constexpr long MESSAGE_STEPS = 180;
constexpr long CONTROLS_HINT_STEPS = 360;

struct PlayState {
    bool paused = false;
    bool muted = false;
    bool hudShown = true;
    bool controlsShown = false;
    long gameSteps = 0;  // physics steps since the game started
    std::string message;
    long messageUntil = 0;  // shown while gameSteps is below this
    // Without a path (a replay, a test) a new best is kept in memory only.
    BestTimes bestTimes;
};

extern PlayState playState;

// P, H, F1 and M taps (each tap flips its switch once), and a focus lost in
// the frame's events and not given back, which pauses: these act whether
// the game is paused or not.
void applyPlayKeys();

// A paused frame: the presses seen in it are dropped, no step is taken and
// no frame time is owed. Returns false (no step), for the frame loop.
bool holdPaused();

// After the frame's step: the game clock, and the messages and best times
// the rules' events leave.
void followRules(bool stepped);

// What the display shows this frame.
HudView hudView();

// Reads the player's best times from their file, where new ones are then
// kept (the game and the autopilot; a replay keeps nothing).
void keepBestTimes(std::ostream& console);

// A new run's state; the best times are kept.
void resetPlayState();
