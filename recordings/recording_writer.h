// The writer of a recording (format in recordings/recording.h).
#pragma once

#include <string>

#include "recordings/recording.h"

// Writes a recording as the game runs: a frame's line goes out, whole, when
// the frame ends, so a crash keeps every frame before it. When the file
// cannot take a line (disk full, I/O error) the writer says so once on
// standard output, cuts the file back to its last whole line, and stops;
// the game plays on, and the file replays as one that ended early.
class RecordingWriter {
public:
    RecordingWriter() = default;
    ~RecordingWriter();
    RecordingWriter(const RecordingWriter&) = delete;
    RecordingWriter& operator=(const RecordingWriter&) = delete;

    // Creates the file and writes the header; false if it cannot, with the
    // system's reason in openProblem().
    bool open(const std::string& path, const RecordingHeader& header);
    const std::string& openProblem() const { return problem; }
    bool isOpen() const { return fd >= 0; }
    // Frames whose lines are wholly in the file.
    int framesWritten() const { return frames; }
    // Input the callbacks received in the current frame.
    void add(const InputEvent& event);
    // Writes the frame that started at `now` with its input.
    void endFrame(float now);
    // The end marker, then closes; safe to call more than once.
    void finish();

private:
    // False, with errno set, if not all of it went out.
    bool writeAll(const std::string& text);
    // Reports why, drops any part of a line, and closes.
    void stop(int error);
    void closeFile();

    int fd = -1;
    long long wholeBytes = 0;  // the file's length up to its last whole line
    int frames = 0;
    std::string line;
    std::string problem;  // why the last open failed
};
