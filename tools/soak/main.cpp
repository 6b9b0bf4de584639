// vromdash-soak [frames] [level-key-interval] [--record FILE]: plays the
// real game loop for a long scripted session in a small window, as a player
// would: random driving with the arrow keys, Space when the car lies on its
// side, a level key held for one frame at every interval. Every frame it
// checks that no body has a non-finite pose, and at the end that memory has
// not grown. Prints one figure per line; exits 1 on a fault. The keys reach
// the game as key events in the frame's event poll, so with --record the
// session is written as a game recording that vromdash-replay plays back to
// the same world; the world's hash after the last frame is printed then.
#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <unistd.h>

#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "app/input.h"
#include "app/main_loop.h"
#include "recordings/recording.h"
#include "recordings/recording_writer.h"
#include "tools/common/process_memory.h"
#include "world/body_hashes.h"
#include "world/world.h"

namespace {

constexpr int SOAK_WIDTH = 320;
constexpr int SOAK_HEIGHT = 240;
constexpr long MEMORY_BOUND_KIB = 10 * 1024;
#ifdef __SANITIZE_ADDRESS__
// The sanitizer's allocator holds freed memory back on purpose.
constexpr bool MEMORY_FIGURE_MEANINGFUL = false;
#else
constexpr bool MEMORY_FIGURE_MEANINGFUL = true;
#endif
constexpr int DRIVE_SEGMENT_FRAMES = 45;
// The keys the soak plays with.
constexpr int SOAK_KEYS[] = {GLFW_KEY_UP,    GLFW_KEY_DOWN, GLFW_KEY_LEFT, GLFW_KEY_RIGHT,
                             GLFW_KEY_SPACE, GLFW_KEY_1,    GLFW_KEY_2,    GLFW_KEY_3};

// A small deterministic generator, so every soak run plays the same game.
struct Random {
    uint64_t state = 0x9e3779b97f4a7c15ull;
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<uint32_t>(state >> 16);
    }
};

bool finitePose(const RigidDynamic* body) {
    if (!body) {
        return true;
    }
    const Pose pose = body->getGlobalPose();
    return std::isfinite(pose.p.x) && std::isfinite(pose.p.y) && std::isfinite(pose.p.z) &&
           std::isfinite(pose.q.x) && std::isfinite(pose.q.y) && std::isfinite(pose.q.z) &&
           std::isfinite(pose.q.w);
}

bool everyPoseFinite(const World& w) {
    bool ok = true;
    if (w.car) {
        ok = ok && finitePose(w.car->chassis) && finitePose(w.car->frontLeftWheel) &&
             finitePose(w.car->frontRightWheel) && finitePose(w.car->rearLeftWheel) &&
             finitePose(w.car->rearRightWheel);
    }
    for (const auto& crate : w.crates) {
        ok = ok && finitePose(crate->actor);
    }
    for (const auto& figure : w.figures) {
        ok = ok && finitePose(figure->actor);
    }
    return ok;
}

// Picks the arrow keys for the next stretch: mostly forward, some turning,
// now and then backwards.
void chooseDriveKeys(Random& random, bool* held) {
    held[GLFW_KEY_UP] = random.next() % 10 < 7;
    held[GLFW_KEY_DOWN] = !held[GLFW_KEY_UP] && random.next() % 2 == 0;
    const uint32_t steer = random.next() % 3;
    held[GLFW_KEY_LEFT] = steer == 1;
    held[GLFW_KEY_RIGHT] = steer == 2;
}

// Presses or releases, through the game's key callback, every soak key whose
// state differs from what the script holds; each event also goes into the
// recording when there is one.
void deliverHeldKeys(GLFWwindow* window, const bool* held, RecordingWriter& recording) {
    for (int key : SOAK_KEYS) {
        if (keys[key] == held[key]) {
            continue;
        }
        const InputEvent event =
            InputEvent::keyEvent(key, 0, held[key] ? GLFW_PRESS : GLFW_RELEASE, 0);
        recording.add(event);
        deliverEvent(window, event);
    }
}

struct Options {
    int frames = 20000;
    int levelInterval = 500;
    std::string record;
};

// Two positional numbers as before; --record FILE anywhere.
bool parseOptions(int argc, char** argv, Options& o) {
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--record") == 0 && i + 1 < argc) {
            o.record = argv[++i];
        } else if (argv[i][0] == '-' && argv[i][1] == '-') {
            return false;
        } else if (positional == 0) {
            o.frames = std::max(1, std::atoi(argv[i]));
            ++positional;
        } else if (positional == 1) {
            o.levelInterval = std::max(1, std::atoi(argv[i]));
            ++positional;
        } else {
            return false;
        }
    }
    return true;
}

bool carOnItsSide() {
    const RigidDynamic* chassis = world && world->car ? world->car->chassis : nullptr;
    return chassis && rotateVector(chassis->getGlobalPose().q, vec3(0, 1, 0)).y < 0.3f;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::cout << "usage: vromdash-soak [frames] [level-key-interval] [--record FILE]"
                  << std::endl;
        return 2;
    }
    const int frames = options.frames;
    const int levelInterval = options.levelInterval;

    GLFWwindow* window = openGameWindow();
    if (!window) {
        return 1;
    }
    glfwSetWindowSize(window, SOAK_WIDTH, SOAK_HEIGHT);
    windowWidth = SOAK_WIDTH;
    windowHeight = SOAK_HEIGHT;
    RecordingWriter recording;
    if (!options.record.empty()) {
        RecordingHeader header;
        header.gameVersion = gameVersion();
        header.fullscreen = fullscreen;
        header.width = SOAK_WIDTH;
        header.height = SOAK_HEIGHT;
        if (!recording.open(options.record, header)) {
            std::cout << "vromdash-soak: cannot write the recording " << options.record
                      << std::endl;
            glfwTerminate();
            return 1;
        }
        // The window's own events, if any come, are recorded as the game's.
        setInputListener([&](const InputEvent& event) { recording.add(event); });
    }
    int status = 0;
    {
        const GamePrograms programs;
        auto owned = std::make_unique<World>();
        world = owned.get();

        Random random;
        // Game time runs at 60 frames a second, whatever the wall clock does.
        float now = 0.0f;
        lastFrame = 0.0f;
        glfwSetTime(0.0);
        long memoryAfterWarmUp = -1;
        long peakGrowth = 0;
        int nonFiniteFrames = 0;
        // The keys the script holds; they reach the game in the event poll.
        bool held[KEY_COUNT] = {};
        FrameSource source;
        source.pollEvents = [&] {
            glfwPollEvents();
            deliverHeldKeys(window, held, recording);
        };
        for (int frame = 1; frame <= frames; ++frame) {
            if (frame % DRIVE_SEGMENT_FRAMES == 0) {
                chooseDriveKeys(random, held);
            }
            held[GLFW_KEY_SPACE] = carOnItsSide();
            // Keys 1, 2, 3 in turn, each held for one frame.
            const int levelKey =
                frame % levelInterval == 0 ? GLFW_KEY_1 + (frame / levelInterval) % 3 : -1;
            if (levelKey >= 0) {
                held[levelKey] = true;
            }
            now += 1.0f / 60.0f;
            runFrame(window, programs.ids(), now, nullptr, &source);
            recording.endFrame(now);
            if (levelKey >= 0) {
                held[levelKey] = false;
            }
            if (!everyPoseFinite(*world)) {
                ++nonFiniteFrames;
            }
            // The allocator and the driver settle during the first rebuilds.
            if (frame == std::min(frames, 5 * levelInterval)) {
                memoryAfterWarmUp = residentKiB();
            } else if (memoryAfterWarmUp > 0) {
                peakGrowth = std::max(peakGrowth, residentKiB() - memoryAfterWarmUp);
            }
        }
        const uint64_t finalHash = worldHash(*world);
        world = nullptr;
        setInputListener(nullptr);
        recording.finish();
        std::cout << "frames: " << frames << " frames" << std::endl;
        std::cout << "level_reached: " << owned->level << " level" << std::endl;
        std::cout << "non_finite_frames: " << nonFiniteFrames << " frames" << std::endl;
        std::cout << "memory_growth_after_warm_up: " << peakGrowth / 1024.0 << " MiB" << std::endl;
        if (!options.record.empty()) {
            std::printf("final hash %016" PRIx64 "\n", finalHash);
            std::fflush(stdout);
        }
        if (nonFiniteFrames > 0 || (MEMORY_FIGURE_MEANINGFUL && peakGrowth > MEMORY_BOUND_KIB)) {
            status = 1;
        }
    }
    glfwTerminate();
    return status;
}
