// A rendered sound track written to a WAV file as it grows: 16-bit stereo at
// the loopback rate, into a temporary file beside the target that takes the
// target's name only when the track is finished and synced. A track that is
// never finished leaves nothing behind.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

class SoundTrack {
public:
    std::string path;
    std::string temporaryPath;
    int descriptor = -1;
    SNDFILE* file = nullptr;
    long frames = 0;  // stereo sample frames written

    SoundTrack() = default;
    ~SoundTrack();
    SoundTrack(const SoundTrack&) = delete;
    SoundTrack& operator=(const SoundTrack&) = delete;

    bool open(const std::string& target, std::string& problem);
    // Appends interleaved stereo samples.
    bool append(const std::vector<int16_t>& samples, std::string& problem);
    // Completes the header, syncs the file and renames it into place.
    bool finish(std::string& problem);
    // Drops an unfinished track and its temporary file; safe twice.
    void abandon();
};
