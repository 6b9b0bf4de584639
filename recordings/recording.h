// Recordings of a game: for every frame, the timer value it started at and
// the input the callbacks received in it. The frame loop is deterministic
// (one fixed physics step at most per frame, one thread), so replaying a
// recording through it gives the same game, bit for bit.
//
// The file is text, one line per frame, written as the game runs:
//   vromdash-recording 1
//   game 1.0.0
//   fullscreen 0
//   window 1024 768
//   muted 0
//   frame 0x1.2p-3 key 265 111 1 0 cursor 0x1p+9 0x1.8p+8 scroll 0x0p+0 0x1p+0 size 800 600
//   frame 0x1.3p-3 focus 0
//   frame 0x1.4p-3 pad 1 0x0p+0 0x0p+0 0x0p+0 0x0p+0 -0x1p+0 0x1p+0 000000000000000
//   ...
//   end
// Numbers that come from floating point are written in hexadecimal (%a), so
// they read back exactly. A file that stops before "end" (the game crashed or
// was killed) still holds every frame whose line is complete. Format 2 added
// the window's focus (1 gained, 0 lost) and the gamepad (connected, its six
// axes, its fifteen buttons as 0 and 1), each frame in which it changed;
// format 3 the "muted" line (the game started with its sound off). Files of
// formats 1 and 2 still read, as games that started with sound.
#pragma once

#include <string>
#include <vector>

#include "app/gamepad.h"

struct GLFWwindow;

constexpr int RECORDING_FORMAT = 3;

struct InputEvent {
    enum class Kind { Key, Cursor, Scroll, WindowSize, Focus, Pad };
    Kind kind = Kind::Key;
    int key = 0, scancode = 0, action = 0, mods = 0;  // Key
    double x = 0.0, y = 0.0;                          // Cursor position, scroll offsets
    int width = 0, height = 0;                        // WindowSize
    int focused = 0;                                  // Focus: 1 gained, 0 lost
    PadState pad;                                     // Pad

    static InputEvent keyEvent(int key, int scancode, int action, int mods);
    // A cursor position or a scroll offset.
    static InputEvent pointEvent(Kind kind, double x, double y);
    static InputEvent sizeEvent(int width, int height);
    static InputEvent focusEvent(int focused);
    static InputEvent padEvent(const PadState& pad);
};

struct RecordedFrame {
    float now = 0.0f;  // the timer value the frame started at
    std::vector<InputEvent> events;
};

struct RecordingHeader {
    int format = RECORDING_FORMAT;
    std::string gameVersion;
    bool fullscreen = false;
    int width = 1024;
    int height = 768;
    bool muted = false;  // the game started with its sound off (--mute)
};

struct Recording {
    RecordingHeader header;
    std::vector<RecordedFrame> frames;
    bool complete = false;  // the end marker was there
};

// Reads a recording from its text. False when it cannot be replayed, with
// the reason in one line in `problem`; a recording that merely stops early is
// read (complete false).
bool parseRecording(const std::string& text, Recording& recording, std::string& problem);
// The same for a file; a file that cannot be read is a problem too.
bool readRecording(const std::string& path, Recording& recording, std::string& problem);

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

// Installs the game's input callbacks (keys, cursor, scroll, size, focus) on
// the window, each of which
// first adds its event to `writer`.
void installRecordingCallbacks(GLFWwindow* window, RecordingWriter* writer);

// Hands a recorded event to the game's own callback, as GLFW would have.
void deliverEvent(GLFWwindow* window, const InputEvent& event);
// An event of the window's: its recording (when it has one) keeps it, then
// the game gets it.
void receiveEvent(GLFWwindow* window, const InputEvent& event);
