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

#include "app/input_event.h"

constexpr int RECORDING_FORMAT = 3;

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
