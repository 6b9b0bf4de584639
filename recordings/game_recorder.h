// Records the game being played (`vromdash --record FILE`): the file is
// opened once the window is, since its header holds the window's size; then
// the recorder hears every input event the game receives and writes each
// frame's line as the frame ends, and the end marker when the game stops.
#pragma once

#include <string>

#include "recordings/recording_writer.h"

class GameRecorder {
public:
    GameRecorder() = default;
    ~GameRecorder();
    GameRecorder(const GameRecorder&) = delete;
    GameRecorder& operator=(const GameRecorder&) = delete;

    // Creates the file with the running game's header and starts listening
    // to its input. False, with the reason on standard output, when the file
    // cannot be written.
    bool start(const std::string& path, bool muted);
    // The frame that started at `now` has run.
    void endFrame(float now);
    // Stops listening and ends the file; safe to call more than once.
    void finish();

    RecordingWriter writer;
    bool listening = false;  // the input listener is this recorder's
};
