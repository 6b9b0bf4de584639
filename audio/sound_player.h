// The game's sound: an engine that follows the car, knocks where crates are
// struck, a whoosh for a crate leaving the road and a cue for each rule.
// Everything it plays is started by a physics step, never by a frame or the
// clock, so a game sounds the same at any frame rate; on a loopback device
// each step also renders exactly one step's samples into memory.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "audio/engine_tone.h"
#include "audio/sound_device.h"
#include "audio/sound_input.h"
#include "audio/sound_names.h"

// One 1/60 s physics step of loopback output, in sample frames.
constexpr int STEP_FRAMES = LOOPBACK_RATE / 60;
// A crate whose origin is below this has left the road (its surface is at
// about 0.1); one that is back above the second height (a rebuilt level
// puts it there) may whoosh again.
constexpr float CRATE_OFF_ROAD_HEIGHT = -2.0f;
constexpr float CRATE_BACK_ON_ROAD_HEIGHT = -1.0f;
// One-shot sounds playing at once; a new one beyond takes the oldest's voice.
constexpr int VOICE_COUNT = 16;

class SoundPlayer {
public:
    SoundDevice device;
    ALuint buffers[SOUND_COUNT] = {};
    ALuint engineSource = 0;
    std::vector<ALuint> voices;
    std::vector<long> voiceStarts;  // when each voice last started, counted in starts
    long starts = 0;
    EngineTone engine;
    std::vector<bool> crateOffRoad;  // per crate: its whoosh has played
    bool paused = false;
    bool muted = false;
    std::vector<ALuint> heldByPause;
    // Loopback only: every step's output so far, interleaved 16-bit stereo.
    std::vector<int16_t> rendered;

    SoundPlayer() = default;
    SoundPlayer(const SoundPlayer&) = delete;
    SoundPlayer& operator=(const SoundPlayer&) = delete;

    // Opens the sound card (or a loopback device with `toMemory`) and reads
    // the sounds from `folder`. Without a device: one console line, false,
    // and update does nothing. A sound file that cannot be read costs one
    // line naming it; the other sounds play.
    bool start(std::ostream& console, bool toMemory = false,
               const std::string& folder = SOUND_FOLDER);
    bool isOn() const { return device.isOpen(); }

    // The frame's listener and switches, then, when it took a step, what
    // the step did (and, on a loopback device, the step's samples).
    void update(const SoundFrame& frame);

    // Safe twice; the device releases itself when the player goes.
    void release();

private:
    void loadSounds(std::ostream& console, const std::string& folder);
    void makeSources();
    void setMuted(bool on);
    void setPaused(bool on);
    void placeListener(const SoundListener& listener);
    void playStep(const SoundStep& step);
    void driveEngine(const SoundStep& step);
    void watchCrates(const std::vector<vec3>& crates);
    ALuint takeVoice();
    void play(SoundName sound, const vec3& position, float gain, float referenceDistance);
    void playCue(SoundName sound);
};
