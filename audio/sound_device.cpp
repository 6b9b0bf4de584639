#include "audio/sound_device.h"

#include <algorithm>
#include <cmath>

SoundDevice::~SoundDevice() {
    release();
}

bool SoundDevice::makeContext(const ALCint* attributes) {
    context = alcCreateContext(device, attributes);
    if (!context || alcMakeContextCurrent(context) != ALC_TRUE) {
        release();
        return false;
    }
    return true;
}

bool SoundDevice::openPlayback() {
    release();
    device = alcOpenDevice(nullptr);
    if (!device) {
        return false;
    }
    return makeContext(nullptr);
}

bool SoundDevice::openLoopback() {
    release();
    if (alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback") != ALC_TRUE) {
        return false;
    }
    auto openDevice = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(
        alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
    auto formatSupported = reinterpret_cast<LPALCISRENDERFORMATSUPPORTEDSOFT>(
        alcGetProcAddress(nullptr, "alcIsRenderFormatSupportedSOFT"));
    renderSamples = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(
        alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
    if (!openDevice || !formatSupported || !renderSamples) {
        return false;
    }
    device = openDevice(nullptr);
    if (!device ||
        formatSupported(device, LOOPBACK_RATE, ALC_STEREO_SOFT, ALC_FLOAT_SOFT) != ALC_TRUE) {
        release();
        return false;
    }
    loopback = true;
    // HRTF would depend on the player's files; the rendered track must not.
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT,
                                 ALC_STEREO_SOFT,
                                 ALC_FORMAT_TYPE_SOFT,
                                 ALC_FLOAT_SOFT,
                                 ALC_FREQUENCY,
                                 LOOPBACK_RATE,
                                 ALC_HRTF_SOFT,
                                 ALC_FALSE,
                                 0};
    return makeContext(attributes);
}

void SoundDevice::makeCurrent() const {
    if (context && alcGetCurrentContext() != context) {
        alcMakeContextCurrent(context);
    }
}

ALuint SoundDevice::addBuffer(const SoundClip& clip) {
    if (!context || clip.samples.empty()) {
        return 0;
    }
    makeCurrent();
    alGetError();
    ALuint buffer = 0;
    alGenBuffers(1, &buffer);
    if (alGetError() != AL_NO_ERROR) {
        return 0;
    }
    buffers.push_back(buffer);
    alBufferData(buffer, AL_FORMAT_MONO16, clip.samples.data(),
                 static_cast<ALsizei>(clip.samples.size() * sizeof(int16_t)), clip.sampleRate);
    return alGetError() == AL_NO_ERROR ? buffer : 0;
}

ALuint SoundDevice::addSource() {
    if (!context) {
        return 0;
    }
    makeCurrent();
    alGetError();
    ALuint source = 0;
    alGenSources(1, &source);
    if (alGetError() != AL_NO_ERROR) {
        return 0;
    }
    sources.push_back(source);
    return source;
}

void SoundDevice::render(int frames, std::vector<int16_t>& out) {
    if (!loopback || !device || !renderSamples || frames <= 0) {
        return;
    }
    makeCurrent();
    std::vector<float> mixed(static_cast<size_t>(frames) * LOOPBACK_CHANNELS);
    renderSamples(device, mixed.data(), frames);
    // Our own rounding rather than the library's dither: the same mix gives
    // the same bytes.
    for (float sample : mixed) {
        const float clamped = std::clamp(std::isfinite(sample) ? sample : 0.0f, -1.0f, 1.0f);
        out.push_back(static_cast<int16_t>(std::lrint(clamped * 32767.0f)));
    }
}

void SoundDevice::release() {
    if (context) {
        alcMakeContextCurrent(context);
        if (!sources.empty()) {
            alSourceStopv(static_cast<ALsizei>(sources.size()), sources.data());
            alDeleteSources(static_cast<ALsizei>(sources.size()), sources.data());
        }
        if (!buffers.empty()) {
            alDeleteBuffers(static_cast<ALsizei>(buffers.size()), buffers.data());
        }
        alcMakeContextCurrent(nullptr);
        alcDestroyContext(context);
    }
    sources.clear();
    buffers.clear();
    context = nullptr;
    if (device) {
        alcCloseDevice(device);
    }
    device = nullptr;
    loopback = false;
    renderSamples = nullptr;
}
