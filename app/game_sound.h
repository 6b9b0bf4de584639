// The game's sound in the frame loop: after the frame's step, the sound is
// handed what it hears of the world, the camera and the keys.
#pragma once

#include "audio/sound_input.h"
#include "render/maths.h"

class SoundPlayer;

// The run's sound, set by whoever owns it (the game, or the replay tool
// rendering a recording's sound); null: the game is silent.
extern SoundPlayer* gameSound;

// What the sound hears of this frame: the listener at the camera that
// `view` looks through, the switches, and the step when one was taken.
SoundFrame soundFrame(bool stepped, const mat4& view);

// Hands this frame to the game's sound; nothing without one.
void updateSound(bool stepped, const mat4& view);
