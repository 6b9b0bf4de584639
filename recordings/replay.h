// Replays a recording through the real frame loop: the recorded timer values
// instead of the clock, and the recorded input handed to the game's own
// callbacks in place of the window's events.
#pragma once

#include <functional>

#include "app/main_loop.h"
#include "recordings/recording.h"
#include "render/scene_pass.h"

struct GLFWwindow;

// resetGameState (app/main_loop.h), then what the player chose as the
// recorded game started (its sound off): the state a replay of that
// recording starts from.
void resetGameStateFor(const RecordingHeader& header);

// Plays every frame of the recording in order on the current world; after
// each, `afterFrame` gets the frame's number (from 1). Without `draw` the
// passes and the swap are skipped; the simulation is the same.
void replayFrames(GLFWwindow* window, const FramePrograms& programs, const Recording& recording,
                  bool draw, const std::function<void(int frame)>& afterFrame);
