// The sound library's objects for one run: a device (the sound card, or a
// loopback device that renders into memory when asked), its context, the
// buffers holding the sounds and the sources that play them. Released in
// that order reversed; release is safe twice.
#pragma once

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <cstdint>
#include <vector>

#include "audio/sound_clip.h"

// The loopback device's output: 48 kHz stereo, so one 1/60 s physics step
// is exactly 800 sample frames.
constexpr int LOOPBACK_RATE = 48000;
constexpr int LOOPBACK_CHANNELS = 2;

class SoundDevice {
public:
    ALCdevice* device = nullptr;
    ALCcontext* context = nullptr;
    bool loopback = false;
    LPALCRENDERSAMPLESSOFT renderSamples = nullptr;
    std::vector<ALuint> buffers;
    std::vector<ALuint> sources;

    SoundDevice() = default;
    ~SoundDevice();
    SoundDevice(const SoundDevice&) = delete;
    SoundDevice& operator=(const SoundDevice&) = delete;

    // The system's default output device with a context made current.
    // False (and nothing kept) when there is no device or no context.
    bool openPlayback();
    // A loopback device that plays nothing and renders only when asked,
    // in float stereo at LOOPBACK_RATE, without HRTF.
    bool openLoopback();
    bool isOpen() const { return context != nullptr; }

    // Makes this device's context the current one (a test may hold two).
    void makeCurrent() const;
    // A buffer holding the clip, or 0 when the library refuses it.
    ALuint addBuffer(const SoundClip& clip);
    // A new source, or 0 when the library has no more.
    ALuint addSource();

    // Loopback only: renders `frames` sample frames and appends them to
    // `out` as interleaved 16-bit stereo.
    void render(int frames, std::vector<int16_t>& out);

    void release();

private:
    bool makeContext(const ALCint* attributes);
};
