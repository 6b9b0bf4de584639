// The game's sound, heard through OpenAL Soft's loopback device from drives
// through the real frame: the engine follows speed and throttle, struck
// crates knock, falling ones whoosh, mute and pause are silent, and a frame
// without a physics step adds nothing. Then the sound files (generated, and
// damaged ones), and end to end: the real game on OpenAL Soft's file
// backend, without a sound device, and a replay's track rendered twice.
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/camera.h"
#include "app/game_sound.h"
#include "app/input.h"
#include "app/play_state.h"
#include "audio/knocks.h"
#include "audio/sound_clip.h"
#include "audio/sound_player.h"
#include "tests/support/frame_fixture.h"
#include "tests/support/game_process.h"
#include "tests/support/gl_context.h"
#include "tests/support/scoped_variable.h"
#include "tests/support/temporary_folder.h"
#include "tools/assetgen/sounds.h"
#include "world/body_hashes.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t STEP_SAMPLES = static_cast<size_t>(STEP_FRAMES) * LOOPBACK_CHANNELS;
// A 16-bit sample this small is the rounding of silence, not a sound.
constexpr int AUDIBLE = 40;

std::string generatedSound(SoundName sound) {
    return sourcePath(std::string(SOUND_FOLDER) + "/" + SOUND_FILES[sound]);
}

// Steps [from, to) of a loopback track: its samples' range.
struct Span {
    size_t from;
    size_t to;
};

Span steps(size_t from, size_t to) {
    return {from * STEP_SAMPLES, to * STEP_SAMPLES};
}

double rmsOf(const std::vector<int16_t>& track, Span span) {
    double sum = 0.0;
    for (size_t i = span.from; i < span.to; ++i) {
        sum += static_cast<double>(track[i]) * track[i];
    }
    return std::sqrt(sum / static_cast<double>(span.to - span.from));
}

// The level of one channel (0 left, 1 right) over a span.
double channelRms(const std::vector<int16_t>& track, Span span, size_t channel) {
    double sum = 0.0;
    for (size_t i = span.from + channel; i < span.to; i += LOOPBACK_CHANNELS) {
        sum += static_cast<double>(track[i]) * track[i];
    }
    return std::sqrt(sum / static_cast<double>((span.to - span.from) / LOOPBACK_CHANNELS));
}

int peakOf(const std::vector<int16_t>& track, Span span) {
    int peak = 0;
    for (size_t i = span.from; i < span.to; ++i) {
        peak = std::max(peak, std::abs(static_cast<int>(track[i])));
    }
    return peak;
}

// Rising zero crossings a second of the left channel, with a little
// hysteresis so that the engine's noise does not count: the engine's pitch.
double crossingsPerSecond(const std::vector<int16_t>& track, Span span) {
    const double threshold = 0.1 * rmsOf(track, span);
    int crossings = 0;
    bool below = false;
    for (size_t i = span.from; i < span.to; i += LOOPBACK_CHANNELS) {
        if (track[i] < -threshold) {
            below = true;
        } else if (below && track[i] > threshold) {
            below = false;
            ++crossings;
        }
    }
    const double seconds = static_cast<double>(span.to - span.from) / LOOPBACK_CHANNELS /
                           static_cast<double>(LOOPBACK_RATE);
    return crossings / seconds;
}

// The steps at which a sound begins: audible after a silent step.
std::vector<size_t> onsets(const std::vector<int16_t>& track) {
    std::vector<size_t> found;
    bool sounding = false;
    for (size_t step = 0; step < track.size() / STEP_SAMPLES; ++step) {
        const bool audible = peakOf(track, steps(step, step + 1)) >= AUDIBLE;
        if (audible && !sounding) {
            found.push_back(step);
        }
        sounding = audible;
    }
    return found;
}

// A sound folder holding only these of the generated sounds: what one of
// them does can then be heard alone.
void keepOnly(const TemporaryFolder& folder, std::initializer_list<SoundName> sounds) {
    for (SoundName sound : sounds) {
        fs::copy_file(generatedSound(sound), folder / SOUND_FILES[sound]);
    }
}

class SoundFrames : public FrameTest {
protected:
    void TearDown() override {
        gameSound = nullptr;
        player.release();
        FrameTest::TearDown();
    }

    void startSound(const std::string& folder = sourcePath(SOUND_FOLDER)) {
        ASSERT_TRUE(player.start(console, true, folder)) << console.str();
        gameSound = &player;
    }

    // A fresh game with fresh sound.
    void restartWithSound(const std::string& folder = sourcePath(SOUND_FOLDER)) {
        gameSound = nullptr;
        restart();
        console.str("");
        startSound(folder);
    }

    // Frames a little longer than a step, so each one takes a step.
    void runSteps(int count) {
        for (int i = 0; i < count; ++i) {
            ASSERT_TRUE(frame(1.0 / 59.0));
        }
    }
    // Runs `count` steps; the wheels' speed over them, on average.
    float runStepsTimingSpeed(int count) {
        float sum = 0.0f;
        for (int i = 0; i < count; ++i) {
            runSteps(1);
            sum += wheelSpeed(*world->car);
        }
        return sum / static_cast<float>(count);
    }
    size_t stepsRendered() const { return player.rendered.size() / STEP_SAMPLES; }

    // The waving figure stands on the start straight; for a clean drive it
    // goes down to the floor far off the road.
    void moveFigureAway() {
        world->figures[0]->place(translate(mat4(1.0f), vec3(-100.0f, -34.0f, 0.0f)));
    }

    // Drives straight at the first crate, placed `distance` ahead of the car,
    // until it is struck; the step of the strike (counted in rendered steps).
    size_t strikeCrateAhead(float distance) {
        moveFigureAway();
        world->crates[0]->place(translate(mat4(1.0f), vec3(2.0f, 1.0f, -distance)));
        runSteps(60);
        press(GLFW_KEY_UP);
        for (int i = 0; i < 240; ++i) {
            runSteps(1);
            for (const StartedContact& contact : world->stepContacts) {
                const bool crateAndCar =
                    (contact.a == BodyKind::Crate && contact.b == BodyKind::Car) ||
                    (contact.a == BodyKind::Car && contact.b == BodyKind::Crate);
                if (crateAndCar && contact.impulse >= KNOCK_MIN_IMPULSE) {
                    release(GLFW_KEY_UP);
                    return stepsRendered() - 1;
                }
            }
        }
        ADD_FAILURE() << "the car never struck the crate";
        return 0;
    }

    SoundPlayer player;
    std::ostringstream console;
};

}  // namespace

// ---------------------------------------------------------------------------
// What is heard

TEST_F(SoundFrames, EnginePitchFollowsTheSpeedAndItsLevelTheThrottle) {
    startSound();
    moveFigureAway();
    runSteps(30);  // the car assembles and comes to rest
    EXPECT_LT(runStepsTimingSpeed(30), 0.5f);
    const Span resting = steps(30, 60);
    const double restingPitch = crossingsPerSecond(player.rendered, resting);
    const double restingLevel = rmsOf(player.rendered, resting);

    press(GLFW_KEY_UP);
    runSteps(40);
    const float middleSpeed = runStepsTimingSpeed(20);
    const double middlePitch = crossingsPerSecond(player.rendered, steps(100, 120));
    runSteps(60);
    const float speed = runStepsTimingSpeed(30);
    const Span flatOut = steps(180, 210);
    const double fastPitch = crossingsPerSecond(player.rendered, flatOut);
    const double throttleLevel = rmsOf(player.rendered, flatOut);
    EXPECT_GT(speed, ENGINE_TOP_SPEED);

    release(GLFW_KEY_UP);
    runSteps(30);
    const Span coasting = steps(225, 240);
    const double coastingPitch = crossingsPerSecond(player.rendered, coasting);
    const double coastingLevel = rmsOf(player.rendered, coasting);

    std::cout << "engine at rest: " << restingPitch << " crossings/s; at " << middleSpeed
              << " m/s: " << middlePitch << "; at " << speed << " m/s: " << fastPitch << "\n"
              << "level at rest " << restingLevel << ", throttle " << throttleLevel << ", coasting "
              << coastingLevel << "\n";
    // The pitch each speed asks for, heard in the samples (the smoothing
    // lags a little behind a car that is still gaining speed).
    for (const auto& [heard, at] :
         {std::pair(middlePitch, middleSpeed), std::pair(fastPitch, speed)}) {
        const double ratio = engineTarget(at, 1.0f).pitch / ENGINE_IDLE_PITCH;
        EXPECT_NEAR(heard / restingPitch, ratio, 0.15 * ratio) << "at " << at << " m/s";
    }
    EXPECT_GT(middleSpeed, 8.0f);
    EXPECT_LT(middleSpeed, 0.8f * ENGINE_TOP_SPEED);
    EXPECT_GT(coastingPitch, 1.5 * restingPitch) << "still fast without the throttle";
    // Throttle raises the level; letting go lowers it again at speed.
    EXPECT_GT(throttleLevel, 1.8 * restingLevel);
    EXPECT_LT(coastingLevel, 0.6 * throttleLevel);
    // The level follows the throttle over several steps, not at once: its
    // first three steps are not yet halfway up.
    EXPECT_LT(rmsOf(player.rendered, steps(60, 63)), 0.5 * (restingLevel + throttleLevel));
}

// The engine is heard from the camera: behind the car both ears alike; in
// the free camera, turned so that the car is on one side, louder there.
TEST_F(SoundFrames, TheListenerIsTheCameraFollowOrFree) {
    startSound();
    runSteps(60);
    const Span following = steps(40, 60);
    const double left = channelRms(player.rendered, following, 0);
    const double right = channelRms(player.rendered, following, 1);
    EXPECT_NEAR(left / right, 1.0, 0.1);

    tap(GLFW_KEY_C);
    runSteps(1);
    ASSERT_TRUE(freeCamera);
    // The camera stands behind the car (+Z of it) and looks along +X: the
    // car is on its left; turned round to -X, on its right.
    double balance[2] = {};
    const float yaws[2] = {0.0f, 180.0f};
    for (int turn = 0; turn < 2; ++turn) {
        camera.yaw = yaws[turn];
        camera.updateVectors();
        const size_t from = stepsRendered();
        runSteps(20);
        const Span span = steps(from + 5, from + 20);
        balance[turn] = channelRms(player.rendered, span, 0) / channelRms(player.rendered, span, 1);
    }
    std::cout << "left/right: following " << left / right << ", free camera " << balance[0]
              << " and " << balance[1] << "\n";
    EXPECT_GT(balance[0], 1.5) << "left louder";
    EXPECT_LT(balance[1], 1.0 / 1.5) << "right louder";
}

TEST_F(SoundFrames, AStruckCrateKnocksWithinAStepAndAHarderStrikeIsLouder) {
    TemporaryFolder knockOnly;
    keepOnly(knockOnly, {KNOCK_SOUND});
    int peaks[2] = {};
    const float distances[2] = {4.0f, 10.0f};  // a longer run-up strikes harder
    for (int run = 0; run < 2; ++run) {
        restartWithSound(knockOnly.path);
        const size_t strike = strikeCrateAhead(distances[run]);
        runSteps(20);
        const std::vector<size_t> heard = onsets(player.rendered);
        ASSERT_FALSE(heard.empty()) << "no knock at all";
        EXPECT_EQ(peakOf(player.rendered, steps(0, strike)), 0) << "a sound before the strike";
        EXPECT_LE(heard.front() - strike, 1u) << "strike at step " << strike;
        peaks[run] = peakOf(player.rendered, steps(strike, strike + 10));
    }
    std::cout << "knock peaks: " << peaks[0] << " and " << peaks[1] << "\n";
    EXPECT_GT(peaks[1], 1.15 * peaks[0]);
    // The four sounds left out were named, on one line; the knock played.
    const std::string said = console.str();
    EXPECT_EQ(said.rfind("sound files not read, playing without them: ", 0), 0u) << said;
    EXPECT_EQ(said.find('\n'), said.size() - 1) << said;
    for (SoundName sound : {ENGINE_SOUND, WHOOSH_SOUND, CLEARED_SOUND, FALLEN_SOUND}) {
        EXPECT_NE(said.find(std::string(SOUND_FILES[sound]) + " (missing)"), std::string::npos)
            << said;
    }
    EXPECT_EQ(said.find(SOUND_FILES[KNOCK_SOUND]), std::string::npos) << said;
}

TEST_F(SoundFrames, ACrateLeavingTheRoadWhooshesOnceAndAgainOnlyInANewLevel) {
    TemporaryFolder whooshOnly;
    keepOnly(whooshOnly, {WHOOSH_SOUND});
    restartWithSound(whooshOnly.path);
    // A place beside the start where nothing is under the crate but the
    // floor far below.
    float x = 2.0f;
    float groundY = 0.0f;
    while (world->scene->raycastDown(x, 0.0f, 10.0f, groundY) && groundY > -30.0f) {
        x += 1.0f;
    }
    ASSERT_LT(groundY, -30.0f);
    auto throwCrateOff = [&] {
        world->crates[0]->place(translate(mat4(1.0f), vec3(x + 3.0f, 1.0f, 0.0f)));
        size_t below = 0;
        for (int i = 0; i < 240; ++i) {
            runSteps(1);
            if (below == 0 &&
                world->crates[0]->actor->getGlobalPose().p.y < CRATE_OFF_ROAD_HEIGHT) {
                below = stepsRendered() - 1;
            }
        }
        EXPECT_NE(below, 0u) << "the crate never fell";
        return below;
    };

    runSteps(30);
    const size_t fell = throwCrateOff();
    std::vector<size_t> heard = onsets(player.rendered);
    ASSERT_EQ(heard.size(), 1u) << "once, also while it lies on the floor below";
    EXPECT_EQ(heard[0], fell);

    tap(GLFW_KEY_1);  // the level again: the crates stand on the road
    runSteps(30);
    const size_t fellAgain = throwCrateOff();
    heard = onsets(player.rendered);
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[1], fellAgain);
}

// Each sound heard alone: a crate dropped onto another knocks when they meet
// (landing on the road stays quiet), and the cleared and fallen cues come
// once, in the step the level's rule acts on.
TEST_F(SoundFrames, CrateKnocksAndTheRulesCuesComeInTheStepOfTheirEvent) {
    // Plays `sound` alone from a fresh game; `event` runs steps until its
    // event and returns that step. Nothing is heard before it, the first
    // sound within a step of it; what was heard, in onsets.
    auto heardAlone = [&](SoundName sound, const std::function<size_t()>& event) {
        TemporaryFolder only;
        keepOnly(only, {sound});
        restartWithSound(only.path);
        moveFigureAway();
        runSteps(30);
        const size_t at = event();
        runSteps(90);
        EXPECT_EQ(peakOf(player.rendered, steps(0, at)), 0) << SOUND_FILES[sound];
        const std::vector<size_t> heard = onsets(player.rendered);
        EXPECT_FALSE(heard.empty()) << SOUND_FILES[sound];
        EXPECT_LE(heard.empty() ? at : heard.front() - at, 1u) << SOUND_FILES[sound] << " " << at;
        return heard;
    };
    auto cratesMeet = [&] {
        const vec3 below = world->crates[0]->actor->getGlobalPose().p;
        world->crates[1]->place(translate(mat4(1.0f), below + vec3(0.0f, 3.0f, 0.0f)));
        for (int i = 0; i < 120; ++i) {
            runSteps(1);
            for (const StartedContact& contact : world->stepContacts) {
                if (contact.a == BodyKind::Crate && contact.b == BodyKind::Crate &&
                    contact.impulse >= KNOCK_MIN_IMPULSE) {
                    return stepsRendered() - 1;
                }
            }
        }
        ADD_FAILURE() << "the crates never met";
        return size_t{0};
    };
    auto levelCleared = [&] {
        dropAllCrates();
        runSteps(1);
        EXPECT_EQ(world->level, 2);
        return stepsRendered() - 1;
    };
    auto carFalls = [&] {
        Pose chassis = world->car->chassis->getGlobalPose();
        chassis.p.y = -60.0f;
        world->car->chassis->setGlobalPose(chassis, true);
        runSteps(1);
        EXPECT_EQ(world->level, 1);
        return stepsRendered() - 1;
    };
    heardAlone(KNOCK_SOUND, cratesMeet);
    EXPECT_EQ(heardAlone(CLEARED_SOUND, levelCleared).size(), 1u) << "once";
    EXPECT_EQ(heardAlone(FALLEN_SOUND, carFalls).size(), 1u) << "once";
}

TEST_F(SoundFrames, MuteAndPauseAreSilentAndTheSoundComesBack) {
    startSound();
    press(GLFW_KEY_UP);
    runSteps(30);
    EXPECT_GT(peakOf(player.rendered, steps(20, 30)), 1000);

    // Muted: the gain falls to nothing within the first step.
    tap(GLFW_KEY_M);
    runSteps(30);
    EXPECT_EQ(peakOf(player.rendered, steps(31, 60)), 0);
    tap(GLFW_KEY_M);
    runSteps(10);
    EXPECT_GT(peakOf(player.rendered, steps(61, 70)), 1000);

    // Paused: no steps, so nothing is rendered; and what a sound card
    // would play meanwhile is silence.
    tap(GLFW_KEY_P);
    for (int i = 0; i < 10; ++i) {
        EXPECT_FALSE(frame(1.0 / 59.0));
    }
    EXPECT_EQ(stepsRendered(), 70u);
    std::vector<int16_t> meanwhile;
    player.device.render(STEP_FRAMES * 10, meanwhile);
    EXPECT_EQ(peakOf(meanwhile, {0, meanwhile.size()}), 0);
    tap(GLFW_KEY_P);
    runSteps(10);
    EXPECT_GT(peakOf(player.rendered, steps(70, 80)), 1000);
}

// At 64 frames a second some frames take no physics step; the same game
// with a frame of no time after every frame takes the same steps and must
// sound the same, bit for bit: only steps make sound.
TEST_F(SoundFrames, AFrameWithoutAStepAddsNoSound) {
    struct Drive {
        std::vector<int16_t> track;
        uint64_t hash = 0;
        int framesWithoutStep = 0;
        int knocks = 0;
    };
    auto drive = [&](bool extraFrames) {
        Drive result;
        restartWithSound();
        moveFigureAway();
        world->crates[0]->place(translate(mat4(1.0f), vec3(2.0f, 1.0f, -8.0f)));
        for (int i = 0; i < 300; ++i) {
            if (i == 60) {
                press(GLFW_KEY_UP);
            }
            const size_t before = player.rendered.size();
            const bool stepped = frame(1.0 / 64.0);
            EXPECT_EQ(player.rendered.size(), before + (stepped ? STEP_SAMPLES : 0));
            result.framesWithoutStep += stepped ? 0 : 1;
            for (const StartedContact& contact : world->stepContacts) {
                const bool crate = contact.a == BodyKind::Crate || contact.b == BodyKind::Crate;
                const bool car = contact.a == BodyKind::Car || contact.b == BodyKind::Car;
                result.knocks += crate && car && contact.impulse >= KNOCK_MIN_IMPULSE ? 1 : 0;
            }
            if (extraFrames) {
                const size_t afterStep = player.rendered.size();
                EXPECT_FALSE(frame(0.0));
                EXPECT_EQ(player.rendered.size(), afterStep);
            }
        }
        result.track = player.rendered;
        result.hash = worldHash(*world);
        return result;
    };
    const Drive plain = drive(false);
    const Drive withExtraFrames = drive(true);
    EXPECT_GT(plain.framesWithoutStep, 5);
    EXPECT_GT(plain.knocks, 0) << "the drive strikes the crate";
    ASSERT_EQ(withExtraFrames.hash, plain.hash) << "the same steps were taken";
    ASSERT_EQ(withExtraFrames.track.size(), plain.track.size());
    EXPECT_TRUE(withExtraFrames.track == plain.track);
}

// ---------------------------------------------------------------------------
// The sound files

namespace {

// A canonical 16-bit PCM WAV of silence-free samples, for damaging.
std::string wavBytes(int channels, int rate, int frames) {
    auto le = [](uint32_t value, int bytes) {
        std::string out;
        for (int i = 0; i < bytes; ++i) {
            out += static_cast<char>((value >> (8 * i)) & 0xff);
        }
        return out;
    };
    const uint32_t data = static_cast<uint32_t>(frames * channels * 2);
    std::string bytes =
        "RIFF" + le(36 + data, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) +
        le(static_cast<uint32_t>(channels), 2) + le(static_cast<uint32_t>(rate), 4) +
        le(static_cast<uint32_t>(rate * channels * 2), 4) +
        le(static_cast<uint32_t>(channels * 2), 2) + le(16, 2) + "data" + le(data, 4);
    for (int i = 0; i < frames * channels; ++i) {
        bytes += le(static_cast<uint32_t>((i * 977) % 20000), 2);
    }
    return bytes;
}

}  // namespace

TEST(SoundFiles, TheGeneratedSoundsAreShortMonoClipsMadeTheSameEveryTime) {
    TemporaryFolder again;
    ASSERT_TRUE(writeSounds(again.path));
    for (int sound = 0; sound < SOUND_COUNT; ++sound) {
        const std::string path = generatedSound(static_cast<SoundName>(sound));
        EXPECT_EQ(fileBytes(again / SOUND_FILES[sound]), fileBytes(path)) << path;
        SoundClip clip;
        std::string problem;
        ASSERT_TRUE(readSoundClip(path, clip, problem)) << path << ": " << problem;
        EXPECT_EQ(clip.sampleRate, SOUND_RATE);
        const size_t n = clip.samples.size();
        EXPECT_LE(n, static_cast<size_t>(2 * SOUND_RATE)) << path;
        std::cout << SOUND_FILES[sound] << ": " << fs::file_size(path) << " bytes, "
                  << static_cast<double>(n) / SOUND_RATE << " s\n";
        int peak = 0;
        int largestStep = 0;
        for (size_t i = 0; i < n; ++i) {
            peak = std::max(peak, std::abs(static_cast<int>(clip.samples[i])));
            if (i > 0) {
                largestStep =
                    std::max(largestStep, std::abs(clip.samples[i] - clip.samples[i - 1]));
            }
        }
        EXPECT_GT(peak, 16000) << path;
        // Each starts at rest, so it begins without a click.
        EXPECT_LT(std::abs(clip.samples.front()), 330) << path;
        if (sound == ENGINE_SOUND) {
            // A loop: from its end back to its start is no bigger a step
            // than any inside it.
            EXPECT_LE(std::abs(clip.samples.front() - clip.samples.back()), largestStep);
        } else {
            EXPECT_LT(std::abs(clip.samples.back()), 330) << path;
        }
    }
}

TEST(SoundFiles, DamagedOrUnfitFilesAreRefusedWithAReason) {
    TemporaryFolder folder;
    fs::create_directory(folder / "folder.wav");
    writeBytes(folder / "empty.wav", "");
    std::string noise;
    for (int i = 0; i < 4096; ++i) {
        noise += static_cast<char>((i * 7919 + 13) % 251);
    }
    writeBytes(folder / "noise.wav", noise);
    writeBytes(folder / "png.wav", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    writeBytes(folder / "no-samples.wav", wavBytes(1, 22050, 0));
    writeBytes(folder / "cut-header.wav", wavBytes(1, 22050, 100).substr(0, 30));
    writeBytes(folder / "stereo.wav", wavBytes(2, 22050, 100));
    writeBytes(folder / "slow.wav", wavBytes(1, 1000, 100));
    writeBytes(folder / "long.wav", wavBytes(1, 8000, 8000 * (SOUND_CLIP_MAX_SECONDS + 1)));
    const struct {
        const char* name;
        const char* problem;  // the start of the reason
    } cases[] = {
        {"missing.wav", "missing"},
        {"folder.wav", "not a regular file"},
        {"empty.wav", ""},
        {"noise.wav", ""},
        {"png.wav", ""},
        {"no-samples.wav", "no samples"},
        {"cut-header.wav", ""},
        {"stereo.wav", "not mono (2 channels)"},
        {"slow.wav", "unusable sample rate 1000"},
        {"long.wav", "longer than 10 seconds"},
    };
    for (const auto& c : cases) {
        SoundClip clip;
        clip.samples = {1, 2, 3};
        std::string problem;
        EXPECT_FALSE(readSoundClip(folder / c.name, clip, problem)) << c.name;
        EXPECT_FALSE(problem.empty()) << c.name;
        EXPECT_EQ(problem.rfind(c.problem, 0), 0u) << c.name << ": " << problem;
        EXPECT_TRUE(clip.samples.empty()) << c.name;
    }
    // The same bytes whole are fine.
    writeBytes(folder / "whole.wav", wavBytes(1, 22050, 100));
    SoundClip clip;
    std::string problem;
    ASSERT_TRUE(readSoundClip(folder / "whole.wav", clip, problem)) << problem;
    EXPECT_EQ(clip.samples.size(), 100u);
}

// A damaged engine sound costs one line naming it; the game plays on and
// the other sounds are heard.
TEST(SoundFiles, ADamagedSoundCostsOneLineAndTheOthersPlay) {
    TemporaryFolder folder;
    for (SoundName sound : {KNOCK_SOUND, WHOOSH_SOUND, CLEARED_SOUND, FALLEN_SOUND}) {
        fs::copy_file(generatedSound(sound), folder / SOUND_FILES[sound]);
    }
    writeBytes(folder / SOUND_FILES[ENGINE_SOUND],
               fileBytes(generatedSound(ENGINE_SOUND)).substr(0, 40));
    SoundPlayer player;
    std::ostringstream console;
    ASSERT_TRUE(player.start(console, true, folder.path));
    const std::string said = console.str();
    EXPECT_EQ(
        said.rfind("sound files not read, playing without them: " + (folder / "engine.wav") + " (",
                   0),
        0u)
        << said;
    EXPECT_EQ(said.find('\n'), said.size() - 1) << said;

    SoundFrame frame;
    frame.stepped = true;
    for (int step = 0; step < 30; ++step) {
        frame.step.levelCleared = step == 10;
        player.update(frame);
    }
    ASSERT_EQ(player.rendered.size(), 30 * STEP_SAMPLES);
    EXPECT_EQ(onsets(player.rendered), std::vector<size_t>{10}) << "the cue, and no engine";
    player.release();
    player.release();  // safe twice
    EXPECT_FALSE(player.isOn());
    player.update(frame);  // and does nothing
    EXPECT_TRUE(player.rendered.empty());
}

// ---------------------------------------------------------------------------
// End to end

namespace {

// The loudest sample in a sound file of any layout, 0 to 1; -1 when it
// cannot be read.
double loudestIn(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        return -1.0;
    }
    std::vector<float> samples(static_cast<size_t>(info.frames * info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    double peak = 0.0;
    for (float s : samples) {
        peak = std::max(peak, static_cast<double>(std::fabs(s)));
    }
    return info.frames > 0 ? peak : -1.0;
}

// The game with OpenAL Soft writing what it plays to a file instead of a
// sound card: Up is held, X asks where the car went. The car's z and the
// file's loudest sample.
std::pair<float, double> playOnTheFileBackend(const std::vector<std::string>& arguments) {
    const std::string folder = scratchDirectory("sound-file-backend");
    const std::string heard = folder + "/heard.wav";
    fs::remove(heard);
    writeBytes(folder + "/alsoft.conf", "[wave]\nfile=" + heard + "\n");
    const ScopedVariable drivers("ALSOFT_DRIVERS", "wave");
    const std::string conf = folder + "/alsoft.conf";
    const ScopedVariable config("ALSOFT_CONF", conf.c_str());
    GameStart start;
    start.arguments = arguments;
    GameProcess game(start);
    const std::string window = game.findWindow();
    EXPECT_FALSE(window.empty()) << game.report();
    float z = 0.0f;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    pressKey(window, "Up");
    while (z > -2.0f && game.running() && std::chrono::steady_clock::now() < deadline) {
        tapKey(window, "x");
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const std::string output = game.output();
        const size_t line = output.rfind("Position: ");
        if (line != std::string::npos) {
            std::istringstream fields(output.substr(line + 10));
            float x = 0.0f, y = 0.0f;
            fields >> x >> y >> z;
        }
    }
    releaseKey(window, "Up");
    EXPECT_EQ(game.quitWithEscape(window), 0) << game.report();
    EXPECT_EQ(game.output().find("no sound device"), std::string::npos) << game.report();
    return {z, loudestIn(heard)};
}

}  // namespace

TEST(Game, WithUpHeldTheSoundCardHearsTheEngineAndWithMuteNothing) {
    const auto [z, loudest] = playOnTheFileBackend({"--windowed"});
    std::cout << "loudest sample on the file backend: " << loudest << "\n";
    EXPECT_LE(z, -2.0f) << "the car drove";
    EXPECT_GT(loudest, 0.05);
    const std::string recorded = scratchDirectory("sound-muted-game") + "/muted.rec";
    const auto [mutedZ, mutedLoudest] =
        playOnTheFileBackend({"--windowed", "--mute", "--record", recorded});
    EXPECT_LE(mutedZ, -2.0f) << "the car drove";
    EXPECT_EQ(mutedLoudest, 0.0) << "a file of silence";
    // Its recording says the game began muted, and its sound track is the
    // silence the player heard.
    EXPECT_NE(fileBytes(recorded).find("\nwindow 1024 768\nmuted 1\nframe "), std::string::npos);
    const std::string track = recorded + ".wav";
    const std::string replayed =
        commandOutput("'" + std::string(VROMDASH_BINARY_DIR) + "/vromdash-replay' '" + recorded +
                      "' --frames-only --sound '" + track + "' 2>&1; echo \"exit $?\"");
    ASSERT_NE(replayed.find("exit 0\n"), std::string::npos) << replayed;
    EXPECT_GT(fs::file_size(track), 44u);
    EXPECT_EQ(loudestIn(track), 0.0) << "a track of silence";
}

TEST(Game, WithoutASoundDeviceItSaysSoOnceAndPlaysOn) {
    // A driver list naming no real driver: OpenAL Soft finds no device.
    const ScopedVariable drivers("ALSOFT_DRIVERS", "no-such-driver");
    GameStart start;
    start.arguments = {"--windowed"};
    GameProcess game(start);
    const std::string window = game.findWindow();
    ASSERT_FALSE(window.empty()) << game.report();
    EXPECT_TRUE(answersX(game, window)) << game.report();
    EXPECT_EQ(game.quitWithEscape(window), 0) << game.report();
    const std::string output = game.output();
    const std::string line = "no sound device: playing without sound\n";
    const size_t said = output.find(line);
    EXPECT_NE(said, std::string::npos) << output;
    EXPECT_EQ(output.find(line, said + 1), std::string::npos) << "once: " << output;
}

TEST(ReplayTool, RendersARecordingsSoundTheSameTwice) {
    const std::string folder = scratchDirectory("replay-sound");
    const std::string tool = std::string(VROMDASH_BINARY_DIR) + "/vromdash-replay";
    const std::string recording = sourcePath("tests/recordings/drive.rec");
    auto render = [&](const std::string& out) {
        fs::remove(out);
        return commandOutput("'" + tool + "' '" + recording + "' --frames-only --sound '" + out +
                             "' 2>&1; echo \"exit $?\"");
    };
    const std::string first = render(folder + "/first.wav");
    const std::string second = render(folder + "/second.wav");
    ASSERT_NE(first.find("exit 0\n"), std::string::npos) << first;
    const size_t said = first.find("sound track: " + folder + "/first.wav (");
    ASSERT_NE(said, std::string::npos) << first;
    const long steps = std::atol(first.c_str() + first.find('(', said) + 1);
    EXPECT_GT(steps, 30);
    EXPECT_EQ(fs::file_size(folder + "/first.wav"),
              44u + static_cast<uintmax_t>(steps) * STEP_FRAMES * LOOPBACK_CHANNELS * 2);
    EXPECT_GT(loudestIn(folder + "/first.wav"), 0.05);
    EXPECT_EQ(fileBytes(folder + "/second.wav"), fileBytes(folder + "/first.wav"));
    // The hashes are those of a replay without sound.
    EXPECT_EQ(first.substr(0, first.find("sound track")),
              commandOutput("'" + tool + "' '" + recording + "' --frames-only 2>&1"));

    // A track that cannot be written costs one line, and leaves nothing.
    const std::string refused = render(folder + "/no-such-folder/track.wav");
    EXPECT_NE(refused.find("vromdash-replay: cannot write " + folder + "/no-such-folder/track.wav"),
              std::string::npos)
        << refused;
    EXPECT_NE(refused.find("exit 1\n"), std::string::npos) << refused;
    EXPECT_FALSE(fs::exists(folder + "/no-such-folder"));
}
