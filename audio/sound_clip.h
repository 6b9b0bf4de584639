// One sound as the game keeps it: mono 16-bit samples at the file's rate,
// read with libsndfile.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The game's sounds are short mono clips; anything longer is not one.
constexpr int SOUND_CLIP_MAX_SECONDS = 10;
constexpr int SOUND_CLIP_MIN_RATE = 8000;
constexpr int SOUND_CLIP_MAX_RATE = 192000;

struct SoundClip {
    std::vector<int16_t> samples;
    int sampleRate = 0;
};

// Reads the sound file at `path`. A file that is missing, not a regular
// file, damaged, empty, not mono, too long or at an unusable rate gives
// false with the reason in `problem`; `clip` is then empty.
bool readSoundClip(const std::string& path, SoundClip& clip, std::string& problem);
