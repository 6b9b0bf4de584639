// The entry: the command line says whether to answer and stop, watch a
// recording, or play (recording the game when asked). It is the one place
// that sees both the game and the recordings, so neither needs the other.
#include <iostream>

#include "app/command_line.h"
#include "app/main_loop.h"
#include "recordings/game_recorder.h"
#include "recordings/watch.h"

int main(int argc, char** argv) {
    const CommandLine commandLine = parseCommandLine(argc, argv);
    if (commandLine.action != StartAction::Play) {
        return answerWithoutPlaying(commandLine, std::cout);
    }
    if (!commandLine.watchPath.empty()) {
        // Watched at the quality this player's game would play at.
        return watchRecordingFile(fromStartDirectory(commandLine.watchPath), 60, false, std::cout,
                                  "vromdash", commandLine.quality, settingsQuality());
    }
    if (commandLine.recordPath.empty()) {
        return playGame(commandLine);
    }
    GameRecorder recorder;
    GameHooks hooks;
    hooks.windowOpened = [&] {
        return recorder.start(fromStartDirectory(commandLine.recordPath), commandLine.muted);
    };
    hooks.frameEnded = [&](float now) { recorder.endFrame(now); };
    hooks.gameEnded = [&] { recorder.finish(); };
    return playGame(commandLine, hooks);
}
