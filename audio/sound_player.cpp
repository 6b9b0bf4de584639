#include "audio/sound_player.h"

#include <cmath>
#include <ostream>

#include "audio/knocks.h"

namespace {

// Distances (m) within which a sound plays at its full gain; beyond, it
// fades as the inverse of the distance.
constexpr float ENGINE_DISTANCE = 4.0f;
constexpr float KNOCK_DISTANCE = 4.0f;
constexpr float WHOOSH_DISTANCE = 6.0f;
constexpr float WHOOSH_GAIN = 0.8f;
constexpr float CUE_GAIN = 0.7f;

bool finite(const vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

ALint stateOf(ALuint source) {
    ALint state = AL_INITIAL;
    alGetSourcei(source, AL_SOURCE_STATE, &state);
    return state;
}

}  // namespace

bool SoundPlayer::start(std::ostream& console, bool toMemory, const std::string& folder) {
    release();
    const bool opened = toMemory ? device.openLoopback() : device.openPlayback();
    if (!opened) {
        console << "no sound device: playing without sound" << std::endl;
        return false;
    }
    loadSounds(console, folder);
    makeSources();
    return true;
}

void SoundPlayer::loadSounds(std::ostream& console, const std::string& folder) {
    std::string failed;
    for (int sound = 0; sound < SOUND_COUNT; ++sound) {
        const std::string path = folder + "/" + SOUND_FILES[sound];
        SoundClip clip;
        std::string problem;
        if (!readSoundClip(path, clip, problem)) {
            failed += (failed.empty() ? "" : "; ") + path + " (" + problem + ")";
            continue;
        }
        buffers[sound] = device.addBuffer(clip);
        if (!buffers[sound]) {
            failed += (failed.empty() ? "" : "; ") + path + " (refused by the sound library)";
        }
    }
    if (!failed.empty()) {
        console << "sound files not read, playing without them: " << failed << std::endl;
    }
}

void SoundPlayer::makeSources() {
    if (buffers[ENGINE_SOUND]) {
        engineSource = device.addSource();
    }
    if (engineSource) {
        alSourcei(engineSource, AL_BUFFER, static_cast<ALint>(buffers[ENGINE_SOUND]));
        alSourcei(engineSource, AL_LOOPING, AL_TRUE);
        alSourcef(engineSource, AL_REFERENCE_DISTANCE, ENGINE_DISTANCE);
        alSourcef(engineSource, AL_PITCH, engine.pitch);
        alSourcef(engineSource, AL_GAIN, engine.gain);
    }
    for (int i = 0; i < VOICE_COUNT; ++i) {
        const ALuint voice = device.addSource();
        if (!voice) {
            break;
        }
        voices.push_back(voice);
        voiceStarts.push_back(0);
    }
}

void SoundPlayer::update(const SoundFrame& frame) {
    if (!device.isOpen()) {
        return;
    }
    device.makeCurrent();
    setMuted(frame.muted);
    setPaused(frame.paused);
    placeListener(frame.listener);
    if (frame.stepped && !paused) {
        playStep(frame.step);
        device.render(STEP_FRAMES, rendered);
    }
}

void SoundPlayer::setMuted(bool on) {
    if (on != muted) {
        muted = on;
        alListenerf(AL_GAIN, muted ? 0.0f : 1.0f);
    }
}

// Pause holds every playing sound where it is; going on plays them on.
void SoundPlayer::setPaused(bool on) {
    if (on == paused) {
        return;
    }
    paused = on;
    if (paused) {
        heldByPause.clear();
        for (ALuint source : device.sources) {
            if (stateOf(source) == AL_PLAYING) {
                heldByPause.push_back(source);
            }
        }
        if (!heldByPause.empty()) {
            alSourcePausev(static_cast<ALsizei>(heldByPause.size()), heldByPause.data());
        }
    } else if (!heldByPause.empty()) {
        alSourcePlayv(static_cast<ALsizei>(heldByPause.size()), heldByPause.data());
        heldByPause.clear();
    }
}

void SoundPlayer::placeListener(const SoundListener& listener) {
    if (!finite(listener.position) || !finite(listener.forward) || !finite(listener.up)) {
        return;
    }
    alListener3f(AL_POSITION, listener.position.x, listener.position.y, listener.position.z);
    const ALfloat orientation[] = {listener.forward.x, listener.forward.y, listener.forward.z,
                                   listener.up.x,      listener.up.y,      listener.up.z};
    alListenerfv(AL_ORIENTATION, orientation);
}

void SoundPlayer::playStep(const SoundStep& step) {
    driveEngine(step);
    for (const SoundContact& knock : knocksOf(step.contacts)) {
        play(KNOCK_SOUND, knock.point, knockGain(knock.impulse), KNOCK_DISTANCE);
    }
    watchCrates(step.crates);
    if (step.levelCleared) {
        playCue(CLEARED_SOUND);
    }
    if (step.carFell) {
        playCue(FALLEN_SOUND);
    }
}

void SoundPlayer::driveEngine(const SoundStep& step) {
    if (!engineSource) {
        return;
    }
    engine = smoothEngine(engine, engineTarget(step.wheelSpeed, step.throttle));
    alSourcef(engineSource, AL_PITCH, engine.pitch);
    alSourcef(engineSource, AL_GAIN, engine.gain);
    if (finite(step.carPosition)) {
        alSource3f(engineSource, AL_POSITION, step.carPosition.x, step.carPosition.y,
                   step.carPosition.z);
    }
    // The engine starts with the game's first step.
    if (stateOf(engineSource) != AL_PLAYING) {
        alSourcePlay(engineSource);
    }
}

// Each crate whooshes once as it drops below the road, and again only after
// it has been put back on a road.
void SoundPlayer::watchCrates(const std::vector<vec3>& crates) {
    crateOffRoad.resize(crates.size(), false);
    for (size_t i = 0; i < crates.size(); ++i) {
        const float height = crates[i].y;
        if (!crateOffRoad[i] && height < CRATE_OFF_ROAD_HEIGHT) {
            crateOffRoad[i] = true;
            play(WHOOSH_SOUND, crates[i], WHOOSH_GAIN, WHOOSH_DISTANCE);
        } else if (crateOffRoad[i] && height > CRATE_BACK_ON_ROAD_HEIGHT) {
            crateOffRoad[i] = false;
        }
    }
}

// A voice that has finished, or else the one that started longest ago.
ALuint SoundPlayer::takeVoice() {
    size_t chosen = 0;
    for (size_t i = 0; i < voices.size(); ++i) {
        const ALint state = stateOf(voices[i]);
        if (state == AL_INITIAL || state == AL_STOPPED) {
            chosen = i;
            break;
        }
        if (voiceStarts[i] < voiceStarts[chosen]) {
            chosen = i;
        }
    }
    voiceStarts[chosen] = ++starts;
    alSourceStop(voices[chosen]);
    return voices[chosen];
}

void SoundPlayer::play(SoundName sound, const vec3& position, float gain, float referenceDistance) {
    if (!buffers[sound] || voices.empty() || !finite(position)) {
        return;
    }
    const ALuint voice = takeVoice();
    alSourcei(voice, AL_BUFFER, static_cast<ALint>(buffers[sound]));
    alSourcei(voice, AL_SOURCE_RELATIVE, AL_FALSE);
    alSource3f(voice, AL_POSITION, position.x, position.y, position.z);
    alSourcef(voice, AL_REFERENCE_DISTANCE, referenceDistance);
    alSourcef(voice, AL_GAIN, gain);
    alSourcePlay(voice);
}

// The rules' cues play at the listener, wherever the camera is.
void SoundPlayer::playCue(SoundName sound) {
    if (!buffers[sound] || voices.empty()) {
        return;
    }
    const ALuint voice = takeVoice();
    alSourcei(voice, AL_BUFFER, static_cast<ALint>(buffers[sound]));
    alSourcei(voice, AL_SOURCE_RELATIVE, AL_TRUE);
    alSource3f(voice, AL_POSITION, 0.0f, 0.0f, 0.0f);
    alSourcef(voice, AL_REFERENCE_DISTANCE, 1.0f);
    alSourcef(voice, AL_GAIN, CUE_GAIN);
    alSourcePlay(voice);
}

void SoundPlayer::release() {
    device.release();
    for (ALuint& buffer : buffers) {
        buffer = 0;
    }
    engineSource = 0;
    voices.clear();
    voiceStarts.clear();
    starts = 0;
    engine = EngineTone();
    crateOffRoad.clear();
    paused = false;
    muted = false;
    heldByPause.clear();
    rendered.clear();
}
