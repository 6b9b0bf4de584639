// vromdash-autopilot: plays a level of the game with the player's controls
// until the next level is built, and prints how it went. Frames last a fixed
// time or a seeded jitter; the game's accumulator decides, as in the game,
// which of them take a physics step. Headless apart from a hidden window for
// the GL objects the world owns; with --pictures it also renders the follow
// camera's view with the game's own passes and saves stills and the frames
// of one crate being pushed off, at the quality preset --quality names
// (default high). With --record FILE the run is written as
// a game recording that vromdash-replay plays back to the same world, and
// the world's hash after the last frame is printed to compare with it.
#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "app/camera.h"
#include "app/command_line.h"
#include "app/glfw_error.h"
#include "app/main_loop.h"
#include "app/play_state.h"
#include "recordings/recording.h"
#include "recordings/recording_writer.h"
#include "hud/text_overlay.h"
#include "tools/assetgen/image.h"
#include "tools/autopilot/autopilot.h"
#include "world/body_hashes.h"
#include "world/world.h"

namespace {

struct Options {
    unsigned seed = 0;
    int level = 1;
    double frameTime = 1.0 / 60.0;
    bool jitter = false;
    float maxMinutes = 15.0f;
    bool trace = false;
    int traceEvery = 0;      // also print the state every N steps
    float traceFrom = 0.0f;  // seconds of game time before which nothing is printed
    std::string pictures;    // folder for stills and push frames; empty: none
    int width = 480;
    int height = 360;
    int gifCrate = 2;                 // 1-based crate whose push is recorded
    int every = 3;                    // keep a picture every N steps of the push
    std::string record;               // recording to write; empty: none
    Quality quality = Quality::High;  // the preset the pictures are drawn at
};

void usage() {
    std::cout << "usage: vromdash-autopilot [--seed N] [--level N] [--max-minutes M]\n"
                 "                          [--frame-time S | --frame-jitter]\n"
                 "                          [--trace] [--trace-every N] [--trace-from S]\n"
                 "                          [--pictures DIR [--size WxH] [--gif-crate K] "
                 "[--every N]]\n"
                 "                          [--quality low|medium|high]\n"
                 "                          [--record FILE]"
              << std::endl;
}

// Seconds as a number or a fraction: 0.05 or 1/20.
bool parseSeconds(const char* text, double& seconds) {
    char* end = nullptr;
    seconds = std::strtod(text, &end);
    if (end != text && *end == '/') {
        const char* divisor = end + 1;
        const double d = std::strtod(divisor, &end);
        seconds = end != divisor && d > 0.0 ? seconds / d : -1.0;
    }
    return end != text && *end == '\0' && std::isfinite(seconds) && seconds > 0.0;
}

// 1/N when the time is one Nth of a second, else seconds.
std::string frameTimeText(double seconds) {
    char text[32];
    const double perSecond = 1.0 / seconds;
    if (std::fabs(perSecond - std::round(perSecond)) < 1e-6 * perSecond) {
        std::snprintf(text, sizeof text, "1/%.0f s", perSecond);
    } else {
        std::snprintf(text, sizeof text, "%g s", seconds);
    }
    return text;
}

bool parseOptions(int argc, char** argv, Options& o) {
    bool fixedFrameTime = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--seed" && hasValue) {
            o.seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        } else if (a == "--level" && hasValue) {
            o.level = std::atoi(argv[++i]);
            if (o.level < 1) {
                std::cout << "bad level: " << argv[i] << std::endl;
                return false;
            }
        } else if (a == "--frame-time" && hasValue) {
            fixedFrameTime = true;
            if (!parseSeconds(argv[++i], o.frameTime) || o.frameTime > 1.0) {
                std::cout << "bad frame time: " << argv[i] << std::endl;
                return false;
            }
        } else if (a == "--frame-jitter") {
            o.jitter = true;
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
        } else if (a == "--record" && hasValue) {
            o.record = argv[++i];
        } else if (a == "--quality" && hasValue) {
            const std::optional<Quality> quality = qualityNamed(argv[++i]);
            if (!quality || *quality == Quality::Auto) {
                std::cout << "bad quality: " << argv[i] << std::endl;
                return false;
            }
            o.quality = *quality;
        } else {
            return false;
        }
    }
    if (fixedFrameTime && o.jitter) {
        std::cout << "--frame-time and --frame-jitter exclude each other" << std::endl;
        return false;
    }
    // A replay starts where the game does, at level 1, and the game's level
    // keys build a layout without moving the level counter on.
    if (!o.record.empty() && o.level != 1) {
        std::cout << "--record plays level 1 only: a replay starts there" << std::endl;
        return false;
    }
    // A day of game time is far more than any run needs.
    return o.maxMinutes > 0.0f && o.maxMinutes <= 24.0f * 60.0f;
}

GLFWwindow* openWindow(const Options& o) {
    if (!glfwInit()) {
        std::cout << withGlfwReason(GLFW_INIT_FAILED) << std::endl;
        return nullptr;
    }
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    glfwWindowHint(GLFW_SAMPLES, o.pictures.empty() ? 0 : presetFor(o.quality).windowSamples);
    GLFWwindow* window =
        glfwCreateWindow(o.width, o.height, "Vromdash autopilot", nullptr, nullptr);
    if (!window) {
        std::cout << withGlfwReason(WINDOW_FAILED) << std::endl;
        glfwTerminate();
        return nullptr;
    }
    glfwMakeContextCurrent(window);
    glewExperimental = GL_TRUE;
    const GLenum glewStatus = glewInit();
    if (glewStatus != GLEW_OK) {
        std::cout << withGlewReason(GLEW_INIT_FAILED, glewStatus) << std::endl;
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
// The follow camera's view, with the heads-up display over it when an
// overlay is given.
bool saveView(GLFWwindow* window, const FramePrograms& programs, const Options& o,
              const std::string& path, const TextOverlay* overlay = nullptr) {
    if (!world || !world->car) {
        return false;
    }
    camera.followCar(world->car->modelMatrix);
    renderFrame(programs, camera.position, camera.followViewMatrix(), screenProjection(camera.zoom),
                windowWidth, windowHeight);
    if (overlay) {
        overlay->draw(hudView(), windowWidth, windowHeight);
    }
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
        "yaw %5.2f aim (%.1f, %.1f) edge %.2f crate %.1f/%.1f frame %.3f owed %.2f%s\n",
        gameSeconds(record.steps), driveModeName(pilot.mode), pilot.plan.crate + 1, pilot.plan.side,
        static_cast<double>(pilot.speed), static_cast<double>(pilot.wantedSpeed),
        static_cast<double>(p.x), static_cast<double>(p.y), static_cast<double>(p.z),
        static_cast<double>(heading * 57.29578f), static_cast<double>(pilot.yawRate),
        static_cast<double>(pilot.aimPoint.x), static_cast<double>(pilot.aimPoint.y),
        static_cast<double>(pilot.edgeMargin), static_cast<double>(pilot.plan.crateLateral),
        static_cast<double>(pilot.plan.halfWidth), static_cast<double>(deltaTime),
        physicsAccumulator, pilot.guarded ? " guard" : "");
}

std::string seconds(long steps) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", gameSeconds(steps));
    return text;
}

// What saves the level still and the push frames during a --pictures run:
// the still once the car has settled, the push from when the chosen crate
// becomes the target until a little after it went over the edge.
struct PictureTaker {
    GLFWwindow* window = nullptr;
    const GamePrograms* programs = nullptr;
    const Options* options = nullptr;
    bool recording = false;
    bool recorded = false;
    int afterFall = 0;  // steps since the crate went over
    int pushFrame = 0;
};

// Called after every frame that took a step, so that pictures follow game
// time whatever the frame time.
void takePictures(PictureTaker& t, const Autopilot& pilot, const PlayRecord& record,
                  const FrameEvents& events) {
    const Options& o = *t.options;
    if (record.steps == pilot.settings.startDelaySteps) {
        saveView(t.window, t.programs->ids(), o, o.pictures + "/level1.png");
    }
    const int crate = o.gifCrate - 1;
    if (!t.recorded && !t.recording && pilot.plan.crate == crate) {
        t.recording = true;
    }
    if (!t.recording) {
        return;
    }
    const bool gone = !crateOnRoad(world->crates[crate]->actor->getGlobalPose().p);
    t.afterFall = gone ? t.afterFall + 1 : 0;
    if (record.steps % o.every == 0) {
        char name[64];
        std::snprintf(name, sizeof name, "/push-%04d.png", t.pushFrame++);
        saveView(t.window, t.programs->ids(), o, o.pictures + name);
    }
    if (t.afterFall > 45 || events.levelRebuilt) {
        t.recording = false;
        t.recorded = true;
    }
}

void printSummary(const Options& o, const PlayRecord& record, bool cleared) {
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
    const std::string frames =
        o.jitter ? "jitter 1/144..1/5 s" : "frame time " + frameTimeText(o.frameTime);
    std::cout << "cleared: " << fallen << "/" << CRATE_COUNT << " in " << seconds(record.steps)
              << " s, falls " << record.falls << ", " << frames << ", level " << o.level << ", "
              << record.frames << " frames" << std::endl;
}

int play(GLFWwindow* window, const Options& o) {
    std::unique_ptr<GamePrograms> programs;
    if (!o.pictures.empty()) {
        std::error_code error;
        std::filesystem::create_directories(o.pictures, error);
        programs = std::make_unique<GamePrograms>();
    }
    RecordingWriter recording;
    if (!o.record.empty()) {
        RecordingHeader header;
        header.gameVersion = gameVersion();
        header.width = o.width;
        header.height = o.height;
        if (!recording.open(o.record, header)) {
            std::cout << "cannot write the recording " << o.record << std::endl;
            return 1;
        }
    }
    FrameClock clock = o.jitter ? jitterFrameClock(o.seed) : fixedFrameClock(o.frameTime);
    startPlay(clock);
    auto owned = std::make_unique<World>(presetFor(o.quality));
    world = owned.get();
    // Its clears count like a player's: the same frame keeps the best time.
    keepBestTimes(std::cout);
    if (o.level != world->level) {
        world->loadLevel(o.level);
        world->level = o.level;
    }

    Autopilot pilot;
    pilot.settings = settingsForSeed(o.seed);
    PlayRecord record;
    const long maxSteps = std::lround(o.maxMinutes * 60.0 / gameSeconds(1));
    DriveMode lastMode = pilot.mode;
    int lastTarget = -1;
    PictureTaker pictures{window, programs.get(), &o};

    bool cleared = false;
    while (record.steps < maxSteps && !cleared) {
        const FrameEvents events =
            playFrame(pilot, record, clock, recording.isOpen() ? &recording : nullptr);
        for (int crate : events.cratesFallen) {
            std::cout << "crate " << crate + 1 << " off at " << seconds(record.steps) << " s"
                      << std::endl;
        }
        if (events.levelRebuilt) {
            std::cout << "fell off the road at " << seconds(record.steps)
                      << " s: the level starts over" << std::endl;
        }
        cleared = events.levelCleared;
        const bool stepped = record.lastFrameSteps > 0;
        if (o.trace && gameSeconds(record.steps) >= o.traceFrom &&
            (pilot.mode != lastMode || pilot.plan.crate != lastTarget ||
             (stepped && o.traceEvery > 0 && record.steps % o.traceEvery == 0))) {
            printTrace(pilot, record);
            lastMode = pilot.mode;
            lastTarget = pilot.plan.crate;
        }
        if (programs && stepped && !cleared) {
            takePictures(pictures, pilot, record, events);
        }
    }
    // Taken before the pictures' extra steps: the recording ends here.
    const uint64_t finalHash = worldHash(*world);
    recording.finish();
    if (cleared && programs) {
        // The new level's car settles on its wheels with no key held.
        for (int step = 0; step < 50; ++step) {
            pressControls(Controls());
            stepWorld(gameSeconds(1), glfwGetTime());
        }
        saveView(window, programs->ids(), o,
                 o.pictures + "/level" + std::to_string(o.level + 1) + ".png");
        // The same start as the player sees it: the display says how the
        // last level went.
        TextOverlay overlay;
        if (overlay.load(std::cout)) {
            saveView(window, programs->ids(), o, o.pictures + "/display.png", &overlay);
        }
    }
    printSummary(o, record, cleared);
    if (!o.record.empty()) {
        std::printf("final hash %016" PRIx64 "\n", finalHash);
        std::fflush(stdout);
    }

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
