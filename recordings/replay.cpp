#include "recordings/replay.h"

#include "app/input.h"
#include "app/play_state.h"

void resetGameStateFor(const RecordingHeader& header) {
    resetGameState();
    playState.muted = header.muted;
}

void replayFrames(GLFWwindow* window, const FramePrograms& programs, const Recording& recording,
                  bool draw, const std::function<void(int frame)>& afterFrame) {
    int number = 0;
    for (const RecordedFrame& frame : recording.frames) {
        FrameSource source;
        source.draw = draw;
        source.pollEvents = [&] {
            for (const InputEvent& event : frame.events) {
                deliverEvent(window, event);
            }
        };
        runFrame(window, programs, frame.now, nullptr, &source);
        afterFrame(++number);
    }
}
