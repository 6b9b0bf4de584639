// The game's sounds and their files below the sound folder; the asset
// generator writes them under these names.
#pragma once

enum SoundName {
    ENGINE_SOUND,
    KNOCK_SOUND,
    WHOOSH_SOUND,
    CLEARED_SOUND,
    FALLEN_SOUND,
    SOUND_COUNT
};

constexpr const char* SOUND_FILES[SOUND_COUNT] = {"engine.wav", "knock.wav", "whoosh.wav",
                                                  "cleared.wav", "fallen.wav"};

constexpr const char* SOUND_FOLDER = "Vrom2/sound";
