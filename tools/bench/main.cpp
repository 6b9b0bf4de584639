// Frame-time benchmark: runs the game's own frame (runFrame) on the real
// world in a 1024 x 768 window with a scripted drive and prints one figure
// per line as "name: value unit". Run it from the repository root (it reads
// Vrom2/). First the same drive at each quality preset, each in a window of
// its own (the window's multisampling belongs to the preset), in rounds that
// alternate the order so a machine's changing load falls on all alike:
// frame_median_low, _medium and _high with their split by pass, and
// low_over_high and medium_over_high. Then the high preset's full figures:
// the frame split by pass, floor_trivial (the same frames with every
// fragment stage replaced by a constant colour) and frame_over_trivial, the
// ratio of the two. Options: --frames N (default 600), --preset-frames N
// (default 300, per round), --rounds N (default 2), --scale-frames N
// (default 150), --no-split (skip the per-pass runs), --frames-only (stop
// after the frame runs). Frame figures come as wall time and as process CPU
// time (all of the renderer's threads), which holds up better on a busy
// machine.
#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/camera.h"
#include "app/input.h"
#include "app/main_loop.h"
#include "recordings/replay.h"
#include "render/environment_pass.h"
#include "render/quality.h"
#include "render/scene_pass.h"
#include "render/shadow_pass.h"
#include "tools/common/process_memory.h"
#include "world/world.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// CPU seconds of the whole process, the renderer's worker threads included.
double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const size_t at = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

double median(const std::vector<double>& values) {
    return percentile(values, 0.5);
}

void print(const char* name, double value, const char* unit) {
    std::printf("%s: %.2f %s\n", name, value, unit);
    std::fflush(stdout);
}

void printMs(const std::string& name, double seconds) {
    print(name.c_str(), seconds * 1000.0, "ms");
}

// The scripted driver: throttle always, a short steering pulse now and then,
// and Space whenever the car lies on its side or roof. It works through the
// held-key table, so applyHeldKeys inside runFrame does the driving.
void scriptKeys(int frame) {
    keys[GLFW_KEY_UP] = true;
    const int phase = frame % 240;
    keys[GLFW_KEY_LEFT] = phase >= 100 && phase < 115;
    keys[GLFW_KEY_RIGHT] = phase >= 200 && phase < 215;
    bool tipped = false;
    if (world && world->car && world->car->chassis) {
        const Quat q = world->car->chassis->getGlobalPose().q;
        tipped = rotateVector(q, vec3(0.0f, 1.0f, 0.0f)).y < 0.3f;
    }
    keys[GLFW_KEY_SPACE] = tipped;
}

// A fresh level 1, the follow camera, no keys held and a fresh frame clock.
void restart() {
    resetGameState();
    world->loadLevel(1);
}

struct RunTimes {
    std::vector<double> frame, cpu, update, shadow, environment, scene;
};

// One scripted frame `i` through runFrame on a steady 60 Hz clock, so every
// frame takes exactly one physics step whatever it really costs; its times
// are added to `times`.
void timedFrame(GLFWwindow* window, const FramePrograms& programs, int i, bool split,
                double (*stageClock)(), RunTimes& times) {
    scriptKeys(i);
    FrameStageTimes stages;
    stages.finishStages = split;
    stages.clock = stageClock;
    const float now = static_cast<float>(i) * (1.0f / 60.0f) * 1.0001f;
    const Clock::time_point start = Clock::now();
    const double cpuStart = processCpuSeconds();
    runFrame(window, programs, now, &stages);
    times.frame.push_back(secondsSince(start));
    times.cpu.push_back(processCpuSeconds() - cpuStart);
    times.update.push_back(stages.update);
    times.shadow.push_back(stages.shadow);
    times.environment.push_back(stages.environment);
    times.scene.push_back(stages.scene);
}

// Drives `frames` scripted frames from a fresh clock.
RunTimes drive(GLFWwindow* window, const FramePrograms& programs, int frames, bool split,
               double (*stageClock)() = nullptr) {
    RunTimes times;
    lastFrame = 0.0f;
    for (int i = 1; i <= frames; ++i) {
        timedFrame(window, programs, i, split, stageClock, times);
    }
    return times;
}

// The same passes with nothing in the world: clears, the sky copy, the sky
// draws and the swap. The lower bound of a frame on this renderer.
std::vector<double> floorFrames(GLFWwindow* window, const FramePrograms& programs, int frames) {
    restart();
    world->crates.clear();
    world->figures.clear();
    world->road.reset();
    world->car.reset();
    std::vector<double> times;
    const mat4 view = camera.followViewMatrix();
    const mat4 projection = screenProjection(camera.zoom);
    for (int i = 0; i < frames; ++i) {
        const Clock::time_point start = Clock::now();
        glfwPollEvents();
        prepareFrame(camera.position, view, projection);
        renderShadowPass(programs.shadow);
        renderEnvironmentPass(programs.cubemap, programs.cubemapSky);
        renderScenePass(programs, windowWidth, windowHeight);
        glfwSwapBuffers(window);
        times.push_back(secondsSince(start));
    }
    return times;
}

// The game's seven programs with every fragment stage replaced by one
// constant colour (the shadow pass keeps only the rasteriser's depth): the
// same draws, passes, sizes and multisampling at the least shading cost, so
// the real frame can be held against what the fixed work costs.
class TrivialPrograms {
public:
    TrivialPrograms() {
        char pattern[] = "/tmp/vromdash-bench-XXXXXX";
        if (mkdtemp(pattern)) {
            directory = pattern;
        }
        const std::string colour = write("colour.frag",
                                         "#version 330 core\nout vec4 FragColor;\n"
                                         "void main() { FragColor = vec4(0.5, 0.5, 0.5, 1.0); }\n");
        const std::string depth = write("depth.frag", "#version 330 core\nvoid main() {}\n");
        const auto program = [&](const char* base, const std::string& fragment, bool geometry) {
            const std::string vert = std::string("Vrom2/shader/") + base + ".vert";
            const std::string geom = std::string("Vrom2/shader/") + base + ".geom";
            ShaderProgram built = geometry
                                      ? ShaderProgram(vert.c_str(), fragment.c_str(), geom.c_str())
                                      : ShaderProgram(vert.c_str(), fragment.c_str());
            owned.push_back(std::move(built.program));
            return owned.back().get();
        };
        ids.environment = program("environment", colour, false);
        ids.sceneA = program("shader", colour, false);
        ids.sceneB = program("shader", colour, false);
        ids.sky = program("sky", colour, false);
        ids.shadow = program("shadow", depth, true);
        ids.cubemap = program("cubemap", colour, true);
        ids.cubemapSky = program("cubemapsky", colour, true);
    }
    ~TrivialPrograms() {
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }
    TrivialPrograms(const TrivialPrograms&) = delete;
    TrivialPrograms& operator=(const TrivialPrograms&) = delete;

    FramePrograms ids;

private:
    std::vector<GlProgram> owned;  // the programs ids names

    std::string write(const char* name, const char* text) const {
        const std::string path = directory + "/" + name;
        std::ofstream(path) << text;
        return path;
    }

    std::string directory = "/tmp";
};

// The real frame and its trivially shaded twin, frame by frame on the same
// drive: each real frame (runFrame) is followed by the same view drawn with
// the trivial programs and swapped, so both see the same load on the machine.
// Each pass waits for its GPU work, so the split is honest for both.
struct PairedTimes {
    RunTimes real, trivial;
};

void renderTrivialTwin(GLFWwindow* window, const FramePrograms& trivial, RunTimes& times) {
    const mat4 view = camera.followViewMatrix();
    const mat4 projection = screenProjection(camera.zoom);
    Clock::time_point start = Clock::now();
    const Clock::time_point frameStart = start;
    auto lap = [&start](std::vector<double>& stage) {
        glFinish();
        stage.push_back(secondsSince(start));
        start = Clock::now();
    };
    prepareFrame(camera.position, view, projection);
    renderShadowPass(trivial.shadow);
    lap(times.shadow);
    renderEnvironmentPass(trivial.cubemap, trivial.cubemapSky);
    lap(times.environment);
    renderScenePass(trivial, windowWidth, windowHeight);
    glfwSwapBuffers(window);
    lap(times.scene);
    times.frame.push_back(secondsSince(frameStart));
}

PairedTimes drivePaired(GLFWwindow* window, const FramePrograms& programs,
                        const FramePrograms& trivial, int frames) {
    PairedTimes times;
    lastFrame = 0.0f;
    for (int i = 1; i <= frames; ++i) {
        timedFrame(window, programs, i, true, nullptr, times.real);
        renderTrivialTwin(window, trivial, times.trivial);
    }
    return times;
}

// Each pass of the real frame against its trivially shaded twin.
void printPaired(const PairedTimes& paired) {
    printMs("paired_frame_median", median(paired.real.frame));
    printMs("floor_trivial", median(paired.trivial.frame));
    print("frame_over_trivial", median(paired.real.frame) / median(paired.trivial.frame), "x");
    const struct {
        const char* name;
        const std::vector<double>* real;
        const std::vector<double>* trivial;
    } passes[] = {{"shadow_pass", &paired.real.shadow, &paired.trivial.shadow},
                  {"environment_pass", &paired.real.environment, &paired.trivial.environment},
                  {"scene_pass_swap", &paired.real.scene, &paired.trivial.scene}};
    for (const auto& pass : passes) {
        printMs(std::string("paired_") + pass.name + "_median", median(*pass.real));
        printMs(std::string("trivial_") + pass.name + "_median", median(*pass.trivial));
    }
}

// `count` crate positions: the game's 18, then more spread along the road
// between consecutive crates (the crates follow the loop in order), kept only
// where the ground is the road's plateau.
std::vector<vec3> cratesAlongTheRoad(size_t count) {
    std::vector<vec3> positions(std::begin(CRATE_POSITIONS), std::end(CRATE_POSITIONS));
    const int segments = CRATE_COUNT;
    for (int pass = 1; positions.size() < count && pass < 64; ++pass) {
        for (int s = 0; s < segments && positions.size() < count; ++s) {
            const vec3 a = CRATE_POSITIONS[s];
            const vec3 b = CRATE_POSITIONS[(s + 1) % segments];
            // Golden-ratio steps spread the points evenly over each segment.
            const double step = pass * 0.6180339887;
            const float t = static_cast<float>(step - static_cast<int>(step));
            const vec3 p = a + (b - a) * t;
            float ground = 0.0f;
            if (world->scene->raycastDown(p.x, p.z, 50.0f, ground) && ground > -1.0f) {
                positions.push_back(vec3(p.x, 1.0f, p.z));
            }
        }
    }
    return positions;
}

double loadLevelSeconds(int repeats) {
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
        const Clock::time_point start = Clock::now();
        world->loadLevel(1);
        times.push_back(secondsSince(start));
    }
    return median(times);
}

// Frame figures of one run (wall time, and the median in process CPU time);
// with `stages`, the four stages as well, in the run's stage clock. The prefix
// names the run ("", "split_", "cpu_split_").
void printRun(const std::string& prefix, const RunTimes& run, bool stages) {
    printMs(prefix + "frame_median", median(run.frame));
    printMs(prefix + "frame_p95", percentile(run.frame, 0.95));
    printMs(prefix + "frame_cpu_median", median(run.cpu));
    if (!stages) {
        return;
    }
    const struct {
        const char* name;
        const std::vector<double>* values;
    } parts[] = {{"physics", &run.update},
                 {"shadow_pass", &run.shadow},
                 {"environment_pass", &run.environment},
                 {"scene_pass_swap", &run.scene}};
    for (const auto& part : parts) {
        printMs(prefix + part.name + "_median", median(*part.values));
        printMs(prefix + part.name + "_p95", percentile(*part.values, 0.95));
    }
}

// loadLevel time, crate-count scaling, the empty-world floor and memory after
// many rebuilds.
void measureLevelsAndScaling(GLFWwindow* window, const FramePrograms& ids, int scaleFrames,
                             double frameMedian) {
    restart();
    printMs("load_level_warm_median", loadLevelSeconds(5));

    for (size_t count : {size_t(18), size_t(90), size_t(180)}) {
        world->cratePositions = cratesAlongTheRoad(count);
        const std::string name = "crates_" + std::to_string(world->cratePositions.size());
        printMs(name + "_load_level_median", loadLevelSeconds(3));
        restart();
        printMs(name + "_frame_median", median(drive(window, ids, scaleFrames, false).frame));
    }
    world->cratePositions.assign(std::begin(CRATE_POSITIONS), std::end(CRATE_POSITIONS));

    const double floor = median(floorFrames(window, ids, scaleFrames));
    printMs("floor_median", floor);
    print("frame_over_floor", frameMedian / floor, "x");

    restart();
    print("resident_before_rebuilds", static_cast<double>(residentKiB()) / 1024.0, "MiB");
    for (int i = 0; i < 50; ++i) {
        world->loadLevel(1 + i % 2);
    }
    print("resident_after_50_rebuilds", static_cast<double>(residentKiB()) / 1024.0, "MiB");
}

// The drive at one quality preset, from every round: the frames as they run,
// and (from the first round) with each pass waited for, in process CPU time
// (which a busy machine disturbs least).
struct PresetTimes {
    Quality quality = Quality::High;
    int windowSamples = 0;  // as the window got them
    RunTimes run;
    RunTimes split;
};

void append(std::vector<double>& to, const std::vector<double>& from) {
    to.insert(to.end(), from.begin(), from.end());
}

void append(RunTimes& to, const RunTimes& from) {
    append(to.frame, from.frame);
    append(to.cpu, from.cpu);
    append(to.update, from.update);
    append(to.shadow, from.shadow);
    append(to.environment, from.environment);
    append(to.scene, from.scene);
}

// One round at one preset, in a window, programs and world of its own, as
// the game makes them at that preset; all are gone afterwards.
bool drivePreset(PresetTimes& times, int frames, bool split) {
    const QualityPreset& preset = presetFor(times.quality);
    GLFWwindow* window = openGameWindow(true, preset.windowSamples);
    if (!window) {
        return false;
    }
    {
        const GamePrograms programs;
        auto presetWorld = std::make_unique<World>(preset);
        world = presetWorld.get();
        glGetIntegerv(GL_SAMPLES, &times.windowSamples);
        restart();
        append(times.run, drive(window, programs.ids(), frames, false));
        if (split) {
            restart();
            append(times.split, drive(window, programs.ids(), frames, true, processCpuSeconds));
        }
        world = nullptr;
    }
    glfwDestroyWindow(window);
    return true;
}

// `rounds` rounds over the presets, every other one in reverse order, so a
// load that rises or falls during the run weighs on each preset alike.
bool measurePresets(std::vector<PresetTimes>& presets, int frames, int rounds, bool split) {
    for (int round = 0; round < rounds; ++round) {
        for (size_t k = 0; k < presets.size(); ++k) {
            PresetTimes& times = presets[round % 2 == 0 ? k : presets.size() - 1 - k];
            if (!drivePreset(times, frames, split && round == 0)) {
                return false;
            }
        }
    }
    return true;
}

void printPresets(const std::vector<PresetTimes>& presets, int frames, int rounds) {
    std::printf("preset_frames: %d frames in each of %d rounds\n", frames, rounds);
    double high = 0.0;
    for (const PresetTimes& times : presets) {
        const std::string name = qualityName(times.quality);
        const double frame = median(times.run.frame);
        high = times.quality == Quality::High ? frame : high;
        std::printf("window_samples_%s: %d samples\n", name.c_str(), times.windowSamples);
        printMs("frame_median_" + name, frame);
        printMs("frame_p95_" + name, percentile(times.run.frame, 0.95));
        printMs("frame_cpu_median_" + name, median(times.run.cpu));
        const struct {
            const char* name;
            const std::vector<double>* values;
        } parts[] = {{"physics", &times.split.update},
                     {"shadow_pass", &times.split.shadow},
                     {"environment_pass", &times.split.environment},
                     {"scene_pass_swap", &times.split.scene}};
        for (const auto& part : parts) {
            if (!part.values->empty()) {
                printMs("cpu_split_" + std::string(part.name) + "_median_" + name,
                        median(*part.values));
            }
        }
    }
    for (const PresetTimes& times : presets) {
        if (times.quality != Quality::High && high > 0.0) {
            print((std::string(qualityName(times.quality)) + "_over_high").c_str(),
                  median(times.run.frame) / high, "x");
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    int frames = 600;
    int scaleFrames = 150;
    int presetFrames = 300;
    int rounds = 2;
    bool split = true;
    bool framesOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
            frames = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--preset-frames") == 0 && i + 1 < argc) {
            presetFrames = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--scale-frames") == 0 && i + 1 < argc) {
            scaleFrames = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--no-split") == 0) {
            split = false;
        } else if (std::strcmp(argv[i], "--frames-only") == 0) {
            framesOnly = true;
        } else {
            std::printf(
                "usage: vromdash-bench [--frames N] [--preset-frames N] [--rounds N] "
                "[--scale-frames N] [--no-split] [--frames-only]\n");
            return 2;
        }
    }

    fullscreen = false;
    std::vector<PresetTimes> presets(3);
    presets[0].quality = Quality::Low;
    presets[1].quality = Quality::Medium;
    presets[2].quality = Quality::High;
    if (!measurePresets(presets, presetFrames, rounds, split)) {
        return 1;
    }

    const Clock::time_point startup = Clock::now();
    GLFWwindow* window = openGameWindow();
    if (!window) {
        return 1;
    }
    const double windowSeconds = secondsSince(startup);
    {
        Clock::time_point start = Clock::now();
        const GamePrograms programs;
        glFinish();
        const double programSeconds = secondsSince(start);
        start = Clock::now();
        auto gameWorld = std::make_unique<World>();
        world = gameWorld.get();
        const double worldSeconds = secondsSince(start);
        const FramePrograms ids = programs.ids();
        start = Clock::now();
        drive(window, ids, 1, false);
        glFinish();
        const double firstFrameSeconds = secondsSince(start);

        std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
        GLint samples = 0;
        glGetIntegerv(GL_SAMPLES, &samples);
        std::printf("window_samples: %d samples\n", samples);
        printPresets(presets, presetFrames, rounds);
        printMs("startup_window", windowSeconds);
        printMs("startup_programs", programSeconds);
        printMs("startup_world", worldSeconds);
        printMs("startup_first_frame", firstFrameSeconds);
        printMs("startup_to_first_frame", programSeconds + worldSeconds + firstFrameSeconds);

        restart();
        const RunTimes run = drive(window, ids, frames, false);
        std::printf("frames: %d frames\n", frames);
        printRun("", run, false);
        {
            // The frame against the same frame shaded trivially, in one run.
            const TrivialPrograms trivial;
            restart();
            printPaired(drivePaired(window, ids, trivial.ids, frames));
        }
        if (split) {
            restart();
            // Per stage, with glFinish after each: wall time, then process CPU
            // time (steadier on a busy machine; the renderer's threads count).
            printRun("split_", drive(window, ids, frames, true), true);
            restart();
            printRun("cpu_split_", drive(window, ids, frames, true, processCpuSeconds), true);
        }

        if (!framesOnly) {
            measureLevelsAndScaling(window, ids, scaleFrames, median(run.frame));
        }
        world = nullptr;
    }
    glfwTerminate();
    return 0;
}
