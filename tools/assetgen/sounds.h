// The game's sounds, synthesised from numbers: an engine loop, a wooden
// knock, a falling whoosh, a rising chord and a low falling tone, written as
// short mono 16-bit WAV files. Same bytes on every run.
#pragma once

#include <string>
#include <vector>

constexpr int SOUND_RATE = 22050;
// The engine's fundamental at pitch 1, and its loop's length: a whole
// number of periods of every part, so the loop has no seam.
constexpr float ENGINE_FUNDAMENTAL = 80.0f;
constexpr int ENGINE_LOOP_SAMPLES = SOUND_RATE / 2;

std::vector<float> engineLoop();
std::vector<float> crateKnock();
std::vector<float> fallingWhoosh();
std::vector<float> clearedChord();
std::vector<float> fallenTone();

// Samples in [-1, 1] as a 16-bit mono WAV file at SOUND_RATE.
bool writeWav(const std::string& path, const std::vector<float>& samples);

// Writes every sound below `folder` under the names the game reads.
bool writeSounds(const std::string& folder);
