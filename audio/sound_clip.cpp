#include "audio/sound_clip.h"

#include <sndfile.h>
#include <sys/stat.h>

namespace {

// A FIFO or a device would make the decoder wait or read for ever.
bool isRegularFile(const std::string& path, std::string& problem) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        problem = "missing";
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        problem = "not a regular file";
        return false;
    }
    return true;
}

bool checkFormat(const SF_INFO& info, std::string& problem) {
    if (info.channels != 1) {
        problem = "not mono (" + std::to_string(info.channels) + " channels)";
    } else if (info.samplerate < SOUND_CLIP_MIN_RATE || info.samplerate > SOUND_CLIP_MAX_RATE) {
        problem = "unusable sample rate " + std::to_string(info.samplerate);
    } else if (info.frames <= 0) {
        problem = "no samples";
    } else if (info.frames > static_cast<sf_count_t>(info.samplerate) * SOUND_CLIP_MAX_SECONDS) {
        problem = "longer than " + std::to_string(SOUND_CLIP_MAX_SECONDS) + " seconds";
    } else {
        return true;
    }
    return false;
}

bool readSamples(SNDFILE* file, const SF_INFO& info, SoundClip& clip, std::string& problem) {
    if (!checkFormat(info, problem)) {
        return false;
    }
    clip.samples.resize(static_cast<size_t>(info.frames));
    const sf_count_t read = sf_readf_short(file, clip.samples.data(), info.frames);
    if (read != info.frames) {
        problem = "cut short (" + std::to_string(read) + " of " + std::to_string(info.frames) +
                  " samples)";
        return false;
    }
    clip.sampleRate = info.samplerate;
    return true;
}

}  // namespace

bool readSoundClip(const std::string& path, SoundClip& clip, std::string& problem) {
    clip = SoundClip();
    if (!isRegularFile(path, problem)) {
        return false;
    }
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        problem = sf_strerror(nullptr);
        return false;
    }
    const bool read = readSamples(file, info, clip, problem);
    sf_close(file);
    if (!read) {
        clip = SoundClip();
    }
    return read;
}
