// vromdash-replay FILE [--every N] [--frames-only | --watch] [--bodies] [--sound OUT.wav]:
// replays a recording made with `vromdash --record FILE` through the real
// frame loop in a hidden window (with --watch, in a visible one at the
// recording's own pace, for someone to watch), and prints a hash of every body's pose and velocity
// every N frames (default 60) and after the last frame, then where the car
// ended. The Position lines that X printed in the game come out again. With
// --frames-only nothing is drawn (the simulation is the same); --bodies adds
// each body's own hash under every frame's hash; --sound renders the game's
// sound, 1/60 s for every physics step, into OUT.wav (48 kHz 16-bit stereo;
// the same recording gives the same file). A recording that cannot be
// replayed gives one line and exit status 2.
#include <GLFW/glfw3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "app/game_sound.h"
#include "app/main_loop.h"
#include "audio/sound_player.h"
#include "audio/sound_track.h"
#include "recordings/replay.h"
#include "recordings/replay_report.h"
#include "recordings/watch.h"
#include "world/world.h"

namespace {

struct Options {
    std::string path;
    int every = 60;
    bool draw = true;
    bool bodies = false;
    bool watch = false;
    std::string soundPath;
};

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--every") == 0 && i + 1 < argc) {
            char* end = nullptr;
            const long every = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || every < 1 || every > 1000000000) {
                return false;
            }
            options.every = static_cast<int>(every);
        } else if (std::strcmp(argv[i], "--frames-only") == 0) {
            options.draw = false;
        } else if (std::strcmp(argv[i], "--bodies") == 0) {
            options.bodies = true;
        } else if (std::strcmp(argv[i], "--watch") == 0) {
            options.watch = true;
        } else if (std::strcmp(argv[i], "--sound") == 0 && i + 1 < argc && argv[i + 1][0]) {
            options.soundPath = argv[++i];
        } else if (argv[i][0] == '-' || !options.path.empty()) {
            return false;
        } else {
            options.path = argv[i];
        }
    }
    // Watching draws every frame, and renders no sound track.
    return !options.path.empty() && (options.draw || !options.watch) &&
           (options.soundPath.empty() || !options.watch);
}

// The sound, on a loopback device, and the file its track goes to.
bool startSoundTrack(const std::string& path, SoundPlayer& player, SoundTrack& track) {
    std::string problem;
    if (!player.start(std::cout, true)) {
        std::printf("vromdash-replay: cannot render the sound\n");
        return false;
    }
    if (!track.open(path, problem)) {
        std::printf("vromdash-replay: %s\n", problem.c_str());
        return false;
    }
    gameSound = &player;
    return true;
}

// Moves the samples the frame rendered into the track.
bool keepFrameSound(SoundPlayer& player, SoundTrack& track) {
    std::string problem;
    const bool kept = track.append(player.rendered, problem);
    player.rendered.clear();
    if (!kept) {
        std::printf("vromdash-replay: %s\n", problem.c_str());
    }
    return kept;
}

bool finishSoundTrack(SoundTrack& track) {
    std::string problem;
    const long steps = track.frames / STEP_FRAMES;
    if (!track.finish(problem)) {
        std::printf("vromdash-replay: %s\n", problem.c_str());
        return false;
    }
    std::printf("sound track: %s (%ld steps)\n", track.path.c_str(), steps);
    return true;
}

// Replays every frame, printing the hashes and keeping the sound when asked.
int replay(GLFWwindow* window, const GamePrograms& programs, const Recording& recording,
           const Options& options) {
    SoundPlayer player;
    SoundTrack track;
    const bool withSound = !options.soundPath.empty();
    if (withSound && !startSoundTrack(options.soundPath, player, track)) {
        return 1;
    }
    const int last = static_cast<int>(recording.frames.size());
    const ReplayReport report{std::cout, options.every, options.bodies, last};
    bool soundKept = true;
    replayFrames(window, programs.ids(), recording, options.draw, [&](int frame) {
        if (withSound && soundKept) {
            soundKept = keepFrameSound(player, track);
        }
        report.frameDone(frame);
    });
    gameSound = nullptr;
    report.stopped(last);
    if (!recording.complete) {
        report.endedEarly();
    }
    return withSound && !(soundKept && finishSoundTrack(track)) ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::printf(
            "usage: vromdash-replay FILE [--every N] [--frames-only | --watch] [--bodies] "
            "[--sound OUT.wav]\n");
        return 2;
    }
    if (options.watch) {
        return watchRecordingFile(options.path, options.every, options.bodies, std::cout,
                                  "vromdash-replay");
    }
    Recording recording;
    std::string problem;
    if (!readRecording(options.path, recording, problem)) {
        std::printf("vromdash-replay: %s\n", problem.c_str());
        return 2;
    }

    // The recorded window's size in a hidden window: the same projection.
    fullscreen = false;
    windowWidth = static_cast<uint32_t>(recording.header.width);
    windowHeight = static_cast<uint32_t>(recording.header.height);
    GLFWwindow* window = openGameWindow(false);
    if (!window) {
        return 1;
    }
    int status = 0;
    {
        const GamePrograms programs;
        resetGameStateFor(recording.header);
        auto replayWorld = std::make_unique<World>();
        world = replayWorld.get();
        status = replay(window, programs, recording, options);
        world = nullptr;
    }
    glfwTerminate();
    return status;
}
