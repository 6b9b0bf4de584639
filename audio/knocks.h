// Which contacts knock, and how loud: a crate struck by the car or by
// another crate. Wheels rolling onto the road, a crate landing on it and
// the car brushing the waving figure stay quiet.
#pragma once

#include <vector>

#include "audio/sound_input.h"

// Impulses (N s) below this are touches, not knocks; at the full one and
// above the knock is at its loudest. A crate weighs 1 kg; the car striking
// one head on gives about 1.3 N s for every m/s, a crate dropped 1 m onto the
// car about 6.
constexpr float KNOCK_MIN_IMPULSE = 0.5f;
constexpr float KNOCK_FULL_IMPULSE = 20.0f;
// The car's five bodies strike one crate at once; contacts closer than this
// in one step are one knock.
constexpr float KNOCK_MERGE_DISTANCE = 1.5f;

// The step's knocks: one per place, at the strongest contact there.
std::vector<SoundContact> knocksOf(const std::vector<SoundContact>& contacts);

// Gain for a knock of this impulse: a soft one is faint, never silent.
float knockGain(float impulse);
