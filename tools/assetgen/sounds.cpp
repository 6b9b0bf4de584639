#include "tools/assetgen/sounds.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "audio/sound_names.h"
#include "tools/assetgen/noise.h"

namespace {

constexpr double TWO_PI = 6.283185307179586;

int samplesFor(double seconds) {
    return static_cast<int>(seconds * SOUND_RATE);
}

double timeOf(int i) {
    return static_cast<double>(i) / SOUND_RATE;
}

// White noise in [-1, 1], the same for the same seed.
float whiteNoise(int i, std::uint32_t seed) {
    return latticeValue(i, 0, 0, seed) * 2.0f - 1.0f;
}

// Scales the loudest sample to `peak`.
void normalise(std::vector<float>& samples, float peak) {
    float loudest = 0.0f;
    for (float s : samples) {
        loudest = std::max(loudest, std::fabs(s));
    }
    if (loudest > 0.0f) {
        for (float& s : samples) {
            s *= peak / loudest;
        }
    }
}

// Short linear ramps at both ends, so a one-shot neither starts nor stops
// with a click.
void fadeEnds(std::vector<float>& samples, double inSeconds, double outSeconds) {
    const int in = std::max(1, samplesFor(inSeconds));
    const int out = std::max(1, samplesFor(outSeconds));
    const int n = static_cast<int>(samples.size());
    for (int i = 0; i < n; ++i) {
        const float up = std::min(1.0f, static_cast<float>(i) / in);
        const float down = std::min(1.0f, static_cast<float>(n - 1 - i) / out);
        samples[static_cast<size_t>(i)] *= up * down;
    }
}

// Noise through a one-pole low-pass, run round the loop twice so that the
// filter's state at the end meets its state at the start: no seam.
std::vector<float> loopedRumble(int n, float smoothing, std::uint32_t seed) {
    std::vector<float> rumble(static_cast<size_t>(n));
    float state = 0.0f;
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < n; ++i) {
            state += (whiteNoise(i, seed) - state) * smoothing;
            rumble[static_cast<size_t>(i)] = state;
        }
    }
    return rumble;
}

// Turns a loop round so that it begins where it rises through zero: the
// engine then starts without a click, and the loop stays seamless.
void startAtZero(std::vector<float>& loop) {
    const size_t n = loop.size();
    for (size_t i = 1; i < n; ++i) {
        if (loop[i - 1] < 0.0f && loop[i] >= 0.0f) {
            const size_t start = std::fabs(loop[i - 1]) < std::fabs(loop[i]) ? i - 1 : i;
            std::rotate(loop.begin(), loop.begin() + static_cast<std::ptrdiff_t>(start),
                        loop.end());
            return;
        }
    }
}

void putLe(std::ofstream& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.put(static_cast<char>((value >> (8 * i)) & 0xff));
    }
}

}  // namespace

std::vector<float> engineLoop() {
    // Harmonics of the firing frequency, falling off, with a throb at half
    // of it: an engine rather than an organ.
    const float amplitudes[] = {1.0f, 0.6f, 0.45f, 0.3f, 0.2f, 0.12f, 0.08f, 0.05f};
    const int n = ENGINE_LOOP_SAMPLES;
    const std::vector<float> rumble = loopedRumble(n, 0.2f, 23u);
    std::vector<float> samples(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double t = timeOf(i);
        double tone = 0.0;
        for (int k = 1; k <= 8; ++k) {
            tone += amplitudes[k - 1] * std::sin(TWO_PI * k * ENGINE_FUNDAMENTAL * t + 0.7 * k);
        }
        const double throb = 1.0 + 0.25 * std::sin(TWO_PI * 0.5 * ENGINE_FUNDAMENTAL * t);
        samples[static_cast<size_t>(i)] =
            static_cast<float>(throb * (tone + 0.5 * rumble[static_cast<size_t>(i)]));
    }
    normalise(samples, 0.8f);
    startAtZero(samples);
    return samples;
}

std::vector<float> crateKnock() {
    // A few quickly damped modes of a wooden box and a click of noise.
    const struct {
        double frequency, amplitude, decay;
    } modes[] = {{190.0, 1.0, 0.045},
                 {410.0, 0.6, 0.030},
                 {730.0, 0.4, 0.020},
                 {1220.0, 0.25, 0.012},
                 {2100.0, 0.15, 0.006}};
    std::vector<float> samples(static_cast<size_t>(samplesFor(0.3)));
    for (size_t i = 0; i < samples.size(); ++i) {
        const double t = timeOf(static_cast<int>(i));
        double s = 0.5 * whiteNoise(static_cast<int>(i), 41u) * std::exp(-t / 0.002);
        for (const auto& mode : modes) {
            s += mode.amplitude * std::exp(-t / mode.decay) * std::sin(TWO_PI * mode.frequency * t);
        }
        samples[i] = static_cast<float>(s);
    }
    normalise(samples, 0.9f);
    fadeEnds(samples, 0.0005, 0.01);
    return samples;
}

std::vector<float> fallingWhoosh() {
    // Noise through a band-pass whose centre falls from 1800 to 250 Hz,
    // swelling in and dying away.
    const double length = 1.2;
    std::vector<float> samples(static_cast<size_t>(samplesFor(length)));
    double low = 0.0, band = 0.0;
    const double damping = 0.7;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double t = timeOf(static_cast<int>(i));
        const double centre = 1800.0 * std::pow(250.0 / 1800.0, t / length);
        const double f = 2.0 * std::sin(M_PI * centre / SOUND_RATE);
        const double high = whiteNoise(static_cast<int>(i), 57u) - low - damping * band;
        band += f * high;
        low += f * band;
        const double swell = std::sin(0.5 * M_PI * std::min(1.0, t / 0.25));
        const double fade = std::pow(1.0 - t / length, 1.5);
        samples[i] = static_cast<float>(band * swell * fade);
    }
    normalise(samples, 0.7f);
    fadeEnds(samples, 0.005, 0.02);
    return samples;
}

std::vector<float> clearedChord() {
    // C, E, G and the octave, one after another, ringing on together.
    const double notes[] = {523.25, 659.25, 783.99, 1046.50};
    std::vector<float> samples(static_cast<size_t>(samplesFor(1.0)));
    for (size_t i = 0; i < samples.size(); ++i) {
        const double t = timeOf(static_cast<int>(i));
        double s = 0.0;
        for (int k = 0; k < 4; ++k) {
            const double local = t - 0.08 * k;
            if (local < 0.0) {
                continue;
            }
            const double envelope = std::min(1.0, local / 0.005) * std::exp(-local / 0.35);
            const double phase = TWO_PI * notes[k] * local;
            s += envelope *
                 (std::sin(phase) + 0.3 * std::sin(2 * phase) + 0.1 * std::sin(3 * phase));
        }
        samples[i] = static_cast<float>(s);
    }
    normalise(samples, 0.7f);
    fadeEnds(samples, 0.002, 0.05);
    return samples;
}

std::vector<float> fallenTone() {
    // A tone gliding down from 180 to 55 Hz as it fades.
    const double length = 1.0;
    std::vector<float> samples(static_cast<size_t>(samplesFor(length)));
    double phase = 0.0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double t = timeOf(static_cast<int>(i));
        const double frequency = 180.0 * std::pow(55.0 / 180.0, t / length);
        phase += TWO_PI * frequency / SOUND_RATE;
        const double envelope = std::min(1.0, t / 0.01) * std::pow(1.0 - t / length, 1.2);
        samples[i] = static_cast<float>(
            envelope * (std::sin(phase) + 0.4 * std::sin(2 * phase) + 0.2 * std::sin(3 * phase)));
    }
    normalise(samples, 0.7f);
    fadeEnds(samples, 0.002, 0.02);
    return samples;
}

bool writeWav(const std::string& path, const std::vector<float>& samples) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    putLe(out, 36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    putLe(out, 16, 4);              // format chunk size
    putLe(out, 1, 2);               // PCM
    putLe(out, 1, 2);               // mono
    putLe(out, SOUND_RATE, 4);      // samples a second
    putLe(out, SOUND_RATE * 2, 4);  // bytes a second
    putLe(out, 2, 2);               // bytes a sample frame
    putLe(out, 16, 2);              // bits a sample
    out.write("data", 4);
    putLe(out, dataBytes, 4);
    for (float sample : samples) {
        const float clamped = std::clamp(sample, -1.0f, 1.0f);
        const auto value = static_cast<std::int16_t>(std::lrint(clamped * 32767.0f));
        putLe(out, static_cast<std::uint16_t>(value), 2);
    }
    out.close();
    return !out.fail();
}

bool writeSounds(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        std::cout << "Cannot create folder " << folder << std::endl;
        return false;
    }
    const std::vector<float> sounds[SOUND_COUNT] = {engineLoop(), crateKnock(), fallingWhoosh(),
                                                    clearedChord(), fallenTone()};
    bool ok = true;
    for (int sound = 0; sound < SOUND_COUNT; ++sound) {
        const std::string path = folder + "/" + SOUND_FILES[sound];
        if (!writeWav(path, sounds[sound])) {
            std::cout << "Cannot write " << path << std::endl;
            ok = false;
        }
    }
    return ok;
}
