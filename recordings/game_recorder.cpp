#include "recordings/game_recorder.h"

#include <iostream>

#include "app/command_line.h"
#include "app/input.h"
#include "app/window_state.h"

GameRecorder::~GameRecorder() {
    finish();
}

bool GameRecorder::start(const std::string& path, bool muted) {
    RecordingHeader header;
    header.gameVersion = gameVersion();
    header.fullscreen = fullscreen;
    header.muted = muted;
    header.width = static_cast<int>(windowWidth);
    header.height = static_cast<int>(windowHeight);
    if (!writer.open(path, header)) {
        std::cout << "vromdash: cannot write the recording " << path << ": " << writer.openProblem()
                  << std::endl;
        return false;
    }
    setInputListener([this](const InputEvent& event) { writer.add(event); });
    listening = true;
    return true;
}

void GameRecorder::endFrame(float now) {
    writer.endFrame(now);
}

void GameRecorder::finish() {
    if (listening) {
        setInputListener(nullptr);
        listening = false;
    }
    writer.finish();
}
