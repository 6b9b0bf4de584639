#include "recordings/recording.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

bool readInt(std::istringstream& in, int low, int high, int& value) {
    std::string token;
    if (!(in >> token)) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long parsed = std::strtol(token.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed < low || parsed > high) {
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

bool readReal(std::istringstream& in, double& value) {
    std::string token;
    if (!(in >> token)) {
        return false;
    }
    char* end = nullptr;
    value = std::strtod(token.c_str(), &end);
    return *end == '\0' && !token.empty() && std::isfinite(value);
}

// "pad C A0 .. A5 BBBBBBBBBBBBBBB": connected, the axes (each within -1 and
// 1), the buttons as 0 and 1.
bool readPad(std::istringstream& in, PadState& pad) {
    int connected = 0;
    if (!readInt(in, 0, 1, connected)) {
        return false;
    }
    pad.connected = connected == 1;
    for (float& axis : pad.axes) {
        double value = 0.0;
        if (!readReal(in, value) || value < -1.0 || value > 1.0) {
            return false;
        }
        axis = static_cast<float>(value);
    }
    std::string buttons;
    if (!(in >> buttons) || buttons.size() != PAD_BUTTONS) {
        return false;
    }
    for (int i = 0; i < PAD_BUTTONS; ++i) {
        if (buttons[i] != '0' && buttons[i] != '1') {
            return false;
        }
        pad.buttons[i] = buttons[i] == '1';
    }
    return true;
}

// The events after a frame's time, to the end of its line; the focus and
// the pad came with format 2.
bool readEvents(std::istringstream& in, int format, std::vector<InputEvent>& events) {
    std::string kind;
    while (in >> kind) {
        InputEvent event;
        bool ok = false;
        if (kind == "key") {
            event.kind = InputEvent::Kind::Key;
            ok = readInt(in, -1, 1 << 20, event.key) &&
                 readInt(in, -(1 << 30), 1 << 30, event.scancode) &&
                 readInt(in, 0, 2, event.action) && readInt(in, 0, 0xff, event.mods);
        } else if (kind == "cursor" || kind == "scroll") {
            event.kind = kind == "cursor" ? InputEvent::Kind::Cursor : InputEvent::Kind::Scroll;
            ok = readReal(in, event.x) && readReal(in, event.y);
        } else if (kind == "size") {
            event.kind = InputEvent::Kind::WindowSize;
            ok = readInt(in, 0, 1 << 16, event.width) && readInt(in, 0, 1 << 16, event.height);
        } else if (kind == "focus" && format >= 2) {
            event.kind = InputEvent::Kind::Focus;
            ok = readInt(in, 0, 1, event.focused);
        } else if (kind == "pad" && format >= 2) {
            event.kind = InputEvent::Kind::Pad;
            ok = readPad(in, event.pad);
        }
        if (!ok) {
            return false;
        }
        events.push_back(event);
    }
    return true;
}

bool readFrame(const std::string& line, int format, RecordedFrame& frame) {
    std::istringstream in(line);
    std::string word;
    double now = 0.0;
    if (!(in >> word) || word != "frame" || !readReal(in, now) || std::fabs(now) > 3.0e38) {
        return false;
    }
    frame.now = static_cast<float>(now);
    return readEvents(in, format, frame.events);
}

// Visible ASCII only: the version is written back as it was read.
bool printable(const std::string& word) {
    for (char c : word) {
        if (c < 0x21 || c > 0x7e) {
            return false;
        }
    }
    return true;
}

// Header lines: four, and from format 3 the fifth for the sound.
size_t headerLines(int format) {
    return format >= 3 ? 5 : 4;
}

// The header's lines; false with the problem said.
bool readHeader(const std::vector<std::string>& lines, RecordingHeader& header,
                std::string& problem) {
    std::istringstream magic(lines.empty() ? std::string() : lines[0]);
    std::string word;
    if (!(magic >> word) || word != "vromdash-recording") {
        problem = "not a Vromdash recording";
        return false;
    }
    if (!readInt(magic, 1, 1 << 30, header.format) || !magic.eof()) {
        problem = "line 1: the format version does not parse";
        return false;
    }
    if (header.format > RECORDING_FORMAT) {
        problem = "a recording of format " + std::to_string(header.format) +
                  ", newer than this build reads (" + std::to_string(RECORDING_FORMAT) + ")";
        return false;
    }
    if (lines.size() < headerLines(header.format)) {
        problem = "the header is incomplete";
        return false;
    }
    std::istringstream game(lines[1]), screen(lines[2]), window(lines[3]);
    int fullscreen = 0;
    if (!(game >> word) || word != "game" || !(game >> header.gameVersion) || !game.eof() ||
        !printable(header.gameVersion)) {
        problem = "line 2: the game version does not parse";
    } else if (!(screen >> word) || word != "fullscreen" || !readInt(screen, 0, 1, fullscreen) ||
               !screen.eof()) {
        problem = "line 3: the full-screen answer does not parse";
    } else if (!(window >> word) || word != "window" ||
               !readInt(window, 1, 1 << 16, header.width) ||
               !readInt(window, 1, 1 << 16, header.height) || !window.eof()) {
        problem = "line 4: the window size does not parse";
    } else if (header.format >= 3) {
        std::istringstream sound(lines[4]);
        int muted = 0;
        if (!(sound >> word) || word != "muted" || !readInt(sound, 0, 1, muted) || !sound.eof()) {
            problem = "line 5: the sound's start does not parse";
        }
        header.muted = muted == 1;
    }
    header.fullscreen = fullscreen == 1;
    return problem.empty();
}

}  // namespace

bool parseRecording(const std::string& text, Recording& recording, std::string& problem) {
    recording = Recording();
    problem.clear();
    // Only whole lines count: a last line without its newline was cut off.
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (!readHeader(lines, recording.header, problem)) {
        return false;
    }
    for (size_t i = headerLines(recording.header.format); i < lines.size(); ++i) {
        if (lines[i] == "end") {
            if (i + 1 != lines.size()) {
                problem = "line " + std::to_string(i + 2) + ": text after the end marker";
                return false;
            }
            recording.complete = true;
            break;
        }
        RecordedFrame frame;
        if (!readFrame(lines[i], recording.header.format, frame)) {
            problem = "line " + std::to_string(i + 1) + ": the frame record does not parse";
            return false;
        }
        recording.frames.push_back(std::move(frame));
    }
    return true;
}

bool readRecording(const std::string& path, Recording& recording, std::string& problem) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        problem = "cannot open " + path;
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        problem = "cannot read " + path;
        return false;
    }
    if (!parseRecording(text.str(), recording, problem)) {
        problem = path + ": " + problem;
        return false;
    }
    return true;
}
