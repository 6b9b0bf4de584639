// vromdash-autopilot: plays level 1 of the game with the player's controls
// until level 2 is built, and prints how it went. Headless apart from a
// hidden window for the GL objects the world owns; with --pictures it also
// renders the follow camera's view with the game's own passes and saves
// stills and the frames of one crate being pushed off.
#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "app/camera.h"
#include "app/glfw_error.h"
#include "app/main_loop.h"
#include "tools/assetgen/image.h"
#include "tools/autopilot/autopilot.h"
#include "world/world.h"

namespace {

struct Options {
    unsigned seed = 0;
    float maxMinutes = 15.0f;
    bool trace = false;
    int traceEvery = 0;      // also print the state every N frames
    float traceFrom = 0.0f;  // seconds of game time before which nothing is printed
    std::string pictures;    // folder for stills and push frames; empty: none
    int width = 480;
    int height = 360;
    int gifCrate = 2;  // 1-based crate whose push is recorded
    int every = 3;     // keep every Nth frame of the push
};

void usage() {
    std::cout << "usage: vromdash-autopilot [--seed N] [--max-minutes M]\n"
                 "                          [--trace] [--trace-every N] [--trace-from S]\n"
                 "                          [--pictures DIR [--size WxH] [--gif-crate K] "
                 "[--every N]]"
              << std::endl;
}

bool parseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--seed" && hasValue) {
            o.seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        } else if (a == "--max-minutes" && hasValue) {
            o.maxMinutes = std::strtof(argv[++i], nullptr);
        } else if (a == "--trace") {
            o.trace = true;
        } else if (a == "--trace-from" && hasValue) {
            o.traceFrom = std::strtof(argv[++i], nullptr);
        } else if (a == "--trace-every" && hasValue) {
            o.trace = true;
            o.traceEvery = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--pictures" && hasValue) {
            o.pictures = argv[++i];
        } else if (a == "--size" && hasValue) {
            if (std::sscanf(argv[++i], "%dx%d", &o.width, &o.height) != 2 || o.width < 16 ||
                o.height < 16 || o.width > 4096 || o.height > 4096) {
                std::cout << "bad size: " << argv[i] << std::endl;
                return false;
            }
        } else if (a == "--gif-crate" && hasValue) {
            o.gifCrate = std::atoi(argv[++i]);
            if (o.gifCrate < 1 || o.gifCrate > CRATE_COUNT) {
                std::cout << "bad crate number: " << argv[i] << std::endl;
                return false;
            }
        } else if (a == "--every" && hasValue) {
            o.every = std::max(1, std::atoi(argv[++i]));
        } else {
            return false;
        }
    }
    // A day of game time is far more than any run needs.
    return o.maxMinutes > 0.0f && o.maxMinutes <= 24.0f * 60.0f;
}

GLFWwindow* openWindow(const Options& o) {
    if (!glfwInit()) {
        std::cout << withGlfwReason("Could not initialise GLFW (is a display available?)")
                  << std::endl;
        return nullptr;
    }
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    glfwWindowHint(GLFW_SAMPLES, o.pictures.empty() ? 0 : 4);
    GLFWwindow* window =
        glfwCreateWindow(o.width, o.height, "Vromdash autopilot", nullptr, nullptr);
    if (!window) {
        std::cout << withGlfwReason("Could not create the window with an OpenGL 3.3 core context")
                  << std::endl;
        glfwTerminate();
        return nullptr;
    }
    glfwMakeContextCurrent(window);
    glewExperimental = GL_TRUE;
    const GLenum glewStatus = glewInit();
    if (glewStatus != GLEW_OK) {
        std::cout << withGlewReason("Could not load the OpenGL entry points (glewInit failed)",
                                    glewStatus)
                  << std::endl;
        glfwTerminate();
        return nullptr;
    }
    glGetError();
    windowWidth = static_cast<uint32_t>(o.width);
    windowHeight = static_cast<uint32_t>(o.height);
    glViewport(0, 0, o.width, o.height);
    glEnable(GL_MULTISAMPLE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    return window;
}

// Draws the follow camera's view with the game's passes and saves the back
// buffer (read before the swap; GL's rows run bottom-up).
bool saveView(GLFWwindow* window, const FramePrograms& programs, const Options& o,
              const std::string& path) {
    if (!world || !world->car) {
        return false;
    }
    camera.followCar(world->car->modelMatrix);
    renderFrame(programs, camera.position, camera.followViewMatrix(), screenProjection(camera.zoom),
                windowWidth, windowHeight);
    Bitmap image = makeBitmap(o.width, o.height, 3);
    std::vector<std::uint8_t> raw(static_cast<size_t>(o.width) * o.height * 3);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, o.width, o.height, GL_RGB, GL_UNSIGNED_BYTE, raw.data());
    const size_t row = static_cast<size_t>(o.width) * 3;
    for (int y = 0; y < o.height; ++y) {
        std::memcpy(&image.pixels[static_cast<size_t>(y) * row],
                    &raw[static_cast<size_t>(o.height - 1 - y) * row], row);
    }
    glfwSwapBuffers(window);
    const bool ok = writePng(path, image);
    if (!ok) {
        std::cout << "Could not write " << path << std::endl;
    }
    return ok;
}

void printTrace(const Autopilot& pilot, const PlayRecord& record) {
    const vec3 p = chassisPosition();
    const float heading =
        world && world->car ? headingOf(world->car->chassis->getGlobalPose().q) : 0.0f;
    std::printf(
        "%8.2f %-8s target %2d side %+d speed %5.2f/%5.2f at (%.1f, %.1f, %.1f) heading %4.0f "
        "yaw %5.2f aim (%.1f, %.1f) edge %.2f crate %.1f/%.1f%s\n",
        static_cast<double>(record.frames * FRAME_TIME), driveModeName(pilot.mode),
        pilot.plan.crate + 1, pilot.plan.side, static_cast<double>(pilot.speed),
        static_cast<double>(pilot.wantedSpeed), static_cast<double>(p.x), static_cast<double>(p.y),
        static_cast<double>(p.z), static_cast<double>(heading * 57.29578f),
        static_cast<double>(pilot.yawRate), static_cast<double>(pilot.aimPoint.x),
        static_cast<double>(pilot.aimPoint.y), static_cast<double>(pilot.edgeMargin),
        static_cast<double>(pilot.plan.crateLateral), static_cast<double>(pilot.plan.halfWidth),
        pilot.guarded ? " guard" : "");
}

std::string seconds(long frames) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(frames) * FRAME_TIME);
    return text;
}

int play(GLFWwindow* window, const Options& o) {
    std::unique_ptr<GamePrograms> programs;
    if (!o.pictures.empty()) {
        std::error_code error;
        std::filesystem::create_directories(o.pictures, error);
        programs = std::make_unique<GamePrograms>();
    }
    physicsAccumulator = 0.0;
    auto owned = std::make_unique<World>();
    world = owned.get();

    Autopilot pilot;
    pilot.settings = settingsForSeed(o.seed);
    PlayRecord record;
    const long maxFrames = static_cast<long>(o.maxMinutes * 60.0f / FRAME_TIME);
    DriveMode lastMode = pilot.mode;
    int lastTarget = -1;

    // Pictures: the level-1 still once the car has settled, the push frames
    // from when the chosen crate becomes the target until a little after it
    // went over the edge, the level-2 still once the new car has settled.
    const int gifCrate = o.gifCrate - 1;
    bool recording = false;
    bool recorded = false;
    int afterFall = 0;
    int pushFrame = 0;

    bool cleared = false;
    while (record.frames < maxFrames && !cleared) {
        const FrameEvents events = playFrame(pilot, record);
        for (int crate : events.cratesFallen) {
            std::cout << "crate " << crate + 1 << " off at " << seconds(record.frames) << " s"
                      << std::endl;
        }
        if (events.levelRebuilt) {
            std::cout << "fell off the road at " << seconds(record.frames)
                      << " s: the level starts over" << std::endl;
        }
        cleared = events.levelCleared;
        if (o.trace && record.frames * FRAME_TIME >= o.traceFrom &&
            (pilot.mode != lastMode || pilot.plan.crate != lastTarget ||
             (o.traceEvery > 0 && record.frames % o.traceEvery == 0))) {
            printTrace(pilot, record);
            lastMode = pilot.mode;
            lastTarget = pilot.plan.crate;
        }
        if (o.pictures.empty() || cleared) {
            continue;
        }
        if (record.frames == pilot.settings.startDelayFrames) {
            saveView(window, programs->ids(), o, o.pictures + "/level1.png");
        }
        if (!recorded && !recording && pilot.plan.crate == gifCrate) {
            recording = true;
        }
        if (recording) {
            const bool gone = !crateOnRoad(world->crates[gifCrate]->actor->getGlobalPose().p);
            afterFall = gone ? afterFall + 1 : 0;
            if (record.frames % o.every == 0) {
                char name[64];
                std::snprintf(name, sizeof name, "/push-%04d.png", pushFrame++);
                saveView(window, programs->ids(), o, o.pictures + name);
            }
            if (afterFall > 45 || events.levelRebuilt) {
                recording = false;
                recorded = true;
            }
        }
    }
    const long playedFrames = record.frames;
    if (cleared && !o.pictures.empty()) {
        // The new level's car settles on its wheels with no key held.
        for (int frame = 0; frame < 50; ++frame) {
            pressControls(Controls());
            stepWorld(static_cast<double>(FRAME_TIME));
        }
        saveView(window, programs->ids(), o, o.pictures + "/level2.png");
    }

    std::cout << "seed " << o.seed << ": " << record.falls << " fall"
              << (record.falls == 1 ? "" : "s") << " off the road" << std::endl;
    std::cout << "order:";
    for (size_t i = 0; i < record.clearedOrder.size(); ++i) {
        std::cout << " " << record.clearedOrder[i] + 1;
    }
    std::cout << std::endl;
    const size_t fallen =
        cleared ? static_cast<size_t>(CRATE_COUNT)
                : static_cast<size_t>(std::count(record.fallen.begin(), record.fallen.end(), true));
    std::cout << "cleared: " << fallen << "/" << CRATE_COUNT << " in " << seconds(playedFrames)
              << " s game time" << std::endl;

    world = nullptr;
    owned.reset();
    programs.reset();
    return cleared ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        usage();
        return 1;
    }
    GLFWwindow* window = openWindow(options);
    if (!window) {
        return 1;
    }
    const int status = play(window, options);
    glfwTerminate();
    return status;
}
