#include "recordings/recording_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "storage/write_all.h"

namespace {

// Hexadecimal floating point: reads back to the same bits.
std::string exact(double value) {
    char text[64];
    std::snprintf(text, sizeof(text), "%a", value);
    return text;
}

}  // namespace

RecordingWriter::~RecordingWriter() {
    finish();
}

bool RecordingWriter::open(const std::string& path, const RecordingHeader& header) {
    finish();
    problem.clear();
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        problem = std::strerror(errno);
        return false;
    }
    frames = 0;
    wholeBytes = 0;
    std::string text = "vromdash-recording " + std::to_string(header.format) + "\ngame " +
                       header.gameVersion + "\nfullscreen " + (header.fullscreen ? "1" : "0") +
                       "\nwindow " + std::to_string(header.width) + " " +
                       std::to_string(header.height) + "\n";
    if (header.format >= 3) {
        text += std::string("muted ") + (header.muted ? "1" : "0") + "\n";
    }
    if (!writeAll(text)) {
        problem = std::strerror(errno);
        closeFile();
        return false;
    }
    return true;
}

void RecordingWriter::add(const InputEvent& event) {
    if (!isOpen()) {
        return;
    }
    switch (event.kind) {
        case InputEvent::Kind::Key:
            line += " key " + std::to_string(event.key) + " " + std::to_string(event.scancode) +
                    " " + std::to_string(event.action) + " " + std::to_string(event.mods);
            break;
        case InputEvent::Kind::Cursor:
            line += " cursor " + exact(event.x) + " " + exact(event.y);
            break;
        case InputEvent::Kind::Scroll:
            line += " scroll " + exact(event.x) + " " + exact(event.y);
            break;
        case InputEvent::Kind::WindowSize:
            line += " size " + std::to_string(event.width) + " " + std::to_string(event.height);
            break;
        case InputEvent::Kind::Focus:
            line += " focus " + std::to_string(event.focused);
            break;
        case InputEvent::Kind::Pad:
            line += " pad " + std::to_string(event.pad.connected ? 1 : 0);
            for (float axis : event.pad.axes) {
                line += " " + exact(axis);
            }
            line += " ";
            for (unsigned char button : event.pad.buttons) {
                line += button ? '1' : '0';
            }
            break;
    }
}

void RecordingWriter::endFrame(float now) {
    if (!isOpen()) {
        return;
    }
    const std::string text = "frame " + exact(static_cast<double>(now)) + line + "\n";
    line.clear();
    if (!writeAll(text)) {
        stop(errno);
        return;
    }
    ++frames;
}

void RecordingWriter::finish() {
    if (!isOpen()) {
        return;
    }
    if (!writeAll("end\n")) {
        stop(errno);
        return;
    }
    const int fileDescriptor = fd;
    fd = -1;
    line.clear();
    // Some file systems report a failed write only here.
    if (::close(fileDescriptor) != 0) {
        std::cout << "vromdash: recording stopped after frame " << frames << ": "
                  << std::strerror(errno) << std::endl;
    }
}

bool RecordingWriter::writeAll(const std::string& text) {
    if (const int error = ::writeAll(fd, text.data(), text.size(), ::write)) {
        errno = error;
        return false;
    }
    wholeBytes += static_cast<long long>(text.size());
    return true;
}

void RecordingWriter::stop(int error) {
    std::cout << "vromdash: recording stopped after frame " << frames << ": "
              << std::strerror(error) << std::endl;
    // A line cut in the middle would not be read anyway; taking it off
    // leaves a file that ends where the writing ended.
    if (::ftruncate(fd, static_cast<off_t>(wholeBytes)) != 0) {
        // Nothing more to do: the reader drops a last line without its end.
    }
    closeFile();
}

void RecordingWriter::closeFile() {
    if (fd >= 0) {
        ::close(fd);
    }
    fd = -1;
    line.clear();
}
