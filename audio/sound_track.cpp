#include "audio/sound_track.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/sound_device.h"

namespace {

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

// The rename survives a crash only once the folder is synced too.
bool syncFolder(const std::string& path) {
    const int folder = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        return false;
    }
    const bool synced = fsync(folder) == 0;
    close(folder);
    return synced;
}

}  // namespace

SoundTrack::~SoundTrack() {
    abandon();
}

bool SoundTrack::open(const std::string& target, std::string& problem) {
    abandon();
    path = target;
    std::string pattern = target + ".XXXXXX";
    descriptor = mkstemp(pattern.data());
    if (descriptor < 0) {
        problem = "cannot write " + target + ": " + std::strerror(errno);
        return false;
    }
    temporaryPath = pattern;
    // mkstemp makes it private; a track is an ordinary file.
    fchmod(descriptor, 0644);
    SF_INFO info{};
    info.samplerate = LOOPBACK_RATE;
    info.channels = LOOPBACK_CHANNELS;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    file = sf_open_fd(descriptor, SFM_WRITE, &info, SF_FALSE);
    if (!file) {
        problem = "cannot write " + target + ": " + sf_strerror(nullptr);
        abandon();
        return false;
    }
    return true;
}

bool SoundTrack::append(const std::vector<int16_t>& samples, std::string& problem) {
    if (!file) {
        problem = "the sound track is not open";
        return false;
    }
    const sf_count_t count = static_cast<sf_count_t>(samples.size()) / LOOPBACK_CHANNELS;
    if (count > 0 && sf_writef_short(file, samples.data(), count) != count) {
        problem = "cannot write " + path + ": " + sf_strerror(file);
        return false;
    }
    frames += static_cast<long>(count);
    return true;
}

bool SoundTrack::finish(std::string& problem) {
    if (!file) {
        problem = "the sound track is not open";
        return false;
    }
    const int closed = sf_close(file);
    file = nullptr;
    const bool written = closed == 0 && fsync(descriptor) == 0;
    close(descriptor);
    descriptor = -1;
    if (!written || std::rename(temporaryPath.c_str(), path.c_str()) != 0) {
        problem = "cannot write " + path + ": " + std::strerror(errno);
        abandon();
        return false;
    }
    temporaryPath.clear();
    if (!syncFolder(path)) {
        problem = "wrote " + path + " but could not sync its folder";
        return false;
    }
    return true;
}

void SoundTrack::abandon() {
    if (file) {
        sf_close(file);
        file = nullptr;
    }
    if (descriptor >= 0) {
        close(descriptor);
        descriptor = -1;
    }
    if (!temporaryPath.empty()) {
        std::remove(temporaryPath.c_str());
        temporaryPath.clear();
    }
    frames = 0;
}
