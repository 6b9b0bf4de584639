// libFuzzer target: any bytes as a game recording, read the way
// vromdash-replay reads one. What the reader accepts must be replayable (a
// header this build knows, a window with area, finite frame times) and must
// survive being written out by RecordingWriter and read again unchanged;
// what it refuses must come with a one-line reason.
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "recordings/recording.h"
#include "recordings/recording_writer.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::printf("recording_fuzzer: %s: %s\n", what, detail.c_str());
    std::fflush(stdout);
    std::abort();
}

// Bit for bit: the writer's hexadecimal numbers must read back exactly, the
// sign of a zero included.
bool sameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool samePad(const PadState& a, const PadState& b) {
    return a.connected == b.connected && std::memcmp(a.axes, b.axes, sizeof a.axes) == 0 &&
           std::memcmp(a.buttons, b.buttons, sizeof a.buttons) == 0;
}

bool sameEvent(const InputEvent& a, const InputEvent& b) {
    return a.kind == b.kind && a.key == b.key && a.scancode == b.scancode && a.action == b.action &&
           a.mods == b.mods && sameBits(a.x, b.x) && sameBits(a.y, b.y) && a.width == b.width &&
           a.height == b.height && a.focused == b.focused && samePad(a.pad, b.pad);
}

void checkAccepted(const Recording& recording) {
    const RecordingHeader& header = recording.header;
    if (header.format < 1 || header.format > RECORDING_FORMAT) {
        fail("format out of range", std::to_string(header.format));
    }
    if (header.width < 1 || header.height < 1) {
        fail("window without area",
             std::to_string(header.width) + "x" + std::to_string(header.height));
    }
    // The writer puts the version in as one word; the reader must have
    // taken one.
    if (header.gameVersion.empty() ||
        header.gameVersion.find_first_of(" \t\n\r\v\f") != std::string::npos) {
        fail("game version is not one word", header.gameVersion);
    }
    for (const RecordedFrame& frame : recording.frames) {
        if (!std::isfinite(frame.now)) {
            fail("frame time not finite", std::to_string(frame.now));
        }
        for (const InputEvent& event : frame.events) {
            const bool finite = std::isfinite(event.x) && std::isfinite(event.y);
            if (!finite || event.width < 0 || event.height < 0) {
                fail("event out of range", std::to_string(event.key));
            }
        }
    }
}

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes the recording as the game would, reads it back, and demands the
// same header, frames and events, now complete.
void checkRoundTrip(const Recording& recording) {
    static const std::string path = "/tmp/vromdash-fuzz-recording-" + std::to_string(getpid());
    {
        RecordingWriter writer;
        if (!writer.open(path, recording.header)) {
            return;
        }
        for (const RecordedFrame& frame : recording.frames) {
            for (const InputEvent& event : frame.events) {
                writer.add(event);
            }
            writer.endFrame(frame.now);
        }
        writer.finish();
    }
    Recording again;
    std::string problem;
    if (!parseRecording(readWhole(path), again, problem)) {
        fail("its own output refused", problem);
    }
    const RecordingHeader& a = recording.header;
    const RecordingHeader& b = again.header;
    if (a.format != b.format || a.gameVersion != b.gameVersion || a.fullscreen != b.fullscreen ||
        a.width != b.width || a.height != b.height || a.muted != b.muted) {
        fail("header changed on the way round", b.gameVersion);
    }
    if (!again.complete) {
        fail("written recording not complete", path);
    }
    if (again.frames.size() != recording.frames.size()) {
        fail("frame count changed on the way round", std::to_string(again.frames.size()));
    }
    for (size_t i = 0; i < recording.frames.size(); ++i) {
        const RecordedFrame& x = recording.frames[i];
        const RecordedFrame& y = again.frames[i];
        if (!sameBits(x.now, y.now) || x.events.size() != y.events.size()) {
            fail("frame changed on the way round", std::to_string(i + 1));
        }
        for (size_t e = 0; e < x.events.size(); ++e) {
            if (!sameEvent(x.events[e], y.events[e])) {
                fail("event changed on the way round", std::to_string(i + 1));
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Recording recording;
    std::string problem;
    if (!parseRecording(text, recording, problem)) {
        // vromdash-replay prints the reason as one line.
        if (problem.empty() || problem.find('\n') != std::string::npos) {
            fail("refused without a one-line reason", problem);
        }
        return 0;
    }
    if (!problem.empty()) {
        fail("accepted with a problem", problem);
    }
    checkAccepted(recording);
    checkRoundTrip(recording);
    return 0;
}
