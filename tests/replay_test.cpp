// Recordings and replays: the file format reads back what was written and
// refuses what cannot be replayed; the checked-in recordings replay to the
// hashes this build gave them, so a change that moves any body by a bit
// shows here; and a session of the real game replays to the same positions.
#include "recordings/replay.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/main_loop.h"
#include "recordings/recording.h"
#include "recordings/recording_writer.h"
#include "tests/support/game_process.h"
#include "tests/support/gl_context.h"
#include "world/body_hashes.h"
#include "world/world.h"

namespace fs = std::filesystem;

namespace {

const std::string REPLAY_TOOL = std::string(VROMDASH_BINARY_DIR) + "/vromdash-replay";

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

const std::string HEADER = "vromdash-recording 1\ngame 1.0.0\nfullscreen 0\nwindow 1024 768\n";

}  // namespace

// ---------------------------------------------------------------------------
// The file format

TEST(Recording, WhatIsWrittenReadsBackExactlyAndACutOffEndKeepsEveryWholeFrame) {
    const std::string path = scratchDirectory("recording-format") + "/game.rec";
    RecordingHeader header;
    header.gameVersion = "1.0.0";
    header.fullscreen = true;
    header.width = 1920;
    header.height = 1080;
    header.muted = true;
    InputEvent key;
    key.key = 265;
    key.scancode = 111;
    key.action = 1;
    key.mods = 4;
    InputEvent cursor;
    cursor.kind = InputEvent::Kind::Cursor;
    cursor.x = 0.1;  // no short decimal form
    cursor.y = -1.0e-310;
    InputEvent size;
    size.kind = InputEvent::Kind::WindowSize;  // minimised: no area
    const std::vector<float> times = {1.9583f, 2.1f, 1.0e-30f, 86400.123f};
    {
        RecordingWriter writer;
        ASSERT_TRUE(writer.open(path, header));
        writer.endFrame(times[0]);
        writer.add(key);
        writer.add(cursor);
        writer.endFrame(times[1]);
        writer.add(size);
        writer.endFrame(times[2]);
        writer.endFrame(times[3]);
        writer.finish();
        writer.finish();  // safe twice
    }
    Recording read;
    std::string problem;
    ASSERT_TRUE(readRecording(path, read, problem)) << problem;
    EXPECT_TRUE(read.complete);
    EXPECT_EQ(read.header.gameVersion, "1.0.0");
    EXPECT_TRUE(read.header.fullscreen);
    EXPECT_EQ(read.header.width, 1920);
    EXPECT_EQ(read.header.height, 1080);
    EXPECT_TRUE(read.header.muted);
    ASSERT_EQ(read.frames.size(), times.size());
    for (size_t i = 0; i < times.size(); ++i) {
        EXPECT_EQ(read.frames[i].now, times[i]) << "frame " << i + 1;
    }
    ASSERT_EQ(read.frames[1].events.size(), 2u);
    const InputEvent& readKey = read.frames[1].events[0];
    EXPECT_TRUE(readKey.kind == InputEvent::Kind::Key && readKey.key == 265 &&
                readKey.scancode == 111 && readKey.action == 1 && readKey.mods == 4);
    EXPECT_EQ(read.frames[1].events[1].x, 0.1);
    EXPECT_EQ(read.frames[1].events[1].y, -1.0e-310);
    ASSERT_EQ(read.frames[2].events.size(), 1u);
    EXPECT_EQ(read.frames[2].events[0].kind, InputEvent::Kind::WindowSize);
    EXPECT_EQ(read.frames[2].events[0].width, 0);

    // Killed in the middle of writing the third frame: two whole frames.
    const std::string text = fileText(path);
    const size_t third = text.find("frame ", text.find("frame ", text.find("frame ") + 1) + 1);
    ASSERT_TRUE(parseRecording(text.substr(0, third + 9), read, problem)) << problem;
    EXPECT_FALSE(read.complete);
    EXPECT_EQ(read.frames.size(), 2u);
    // Killed between two frames: the end marker is missing, nothing else.
    ASSERT_TRUE(parseRecording(text.substr(0, third), read, problem)) << problem;
    EXPECT_FALSE(read.complete);
    EXPECT_EQ(read.frames.size(), 2u);
}

TEST(Recording, RefusesWhatCannotBeReplayedInOneLine) {
    const struct {
        std::string text;
        std::string problem;
    } cases[] = {
        {"", "not a Vromdash recording"},
        {std::string("\x89PNG\r\n\x1a\n\0\0", 10), "not a Vromdash recording"},
        {"vromdash-recording 4\n", "a recording of format 4, newer than this build reads (3)"},
        {"vromdash-recording one\n", "line 1: the format version does not parse"},
        {"vromdash-recording 1\ngame 1.0.0\n", "the header is incomplete"},
        {"vromdash-recording 3\ngame 1\nfullscreen 0\nwindow 1 1\n", "the header is incomplete"},
        {"vromdash-recording 3\ngame 1\nfullscreen 0\nwindow 1 1\nmuted 2\n",
         "line 5: the sound's start does not parse"},
        {"vromdash-recording 3\ngame 1\nfullscreen 0\nwindow 1 1\nframe 0x1p+0\n",
         "line 5: the sound's start does not parse"},
        {"vromdash-recording 3\ngame 1\nfullscreen 0\nwindow 1 1\nmuted 0\nframe nan\n",
         "line 6: the frame record does not parse"},
        {"vromdash-recording 1\ngame\nfullscreen 0\nwindow 1 1\n",
         "line 2: the game version does not parse"},
        {std::string("vromdash-recording 1\ngame 1.\0\nfullscreen 0\nwindow 1 1\n", 54),
         "line 2: the game version does not parse"},
        {"vromdash-recording 1\ngame 1\nfullscreen y\nwindow 1 1\n",
         "line 3: the full-screen answer does not parse"},
        {"vromdash-recording 1\ngame 1\nfullscreen 0\nwindow 0 768\n",
         "line 4: the window size does not parse"},
        {HEADER + "frame 0x1p+0\nframe nan\n", "line 6: the frame record does not parse"},
        {HEADER + "frame 0x1p+0 key 265 111 7 0\n", "line 5: the frame record does not parse"},
        {HEADER + "frame 0x1p+0 cursor 1 inf\n", "line 5: the frame record does not parse"},
        {HEADER + "frame 0x1p+0 key 265\n", "line 5: the frame record does not parse"},
        {HEADER + "frame 0x1p+0 jump 1 2\n", "line 5: the frame record does not parse"},
        {HEADER + "frame 0x1p+0\nend\nframe 0x1p+1\n", "line 7: text after the end marker"},
    };
    for (const auto& bad : cases) {
        Recording recording;
        std::string problem;
        EXPECT_FALSE(parseRecording(bad.text, recording, problem)) << bad.text;
        EXPECT_EQ(problem, bad.problem) << bad.text;
    }
    Recording recording;
    std::string problem;
    EXPECT_FALSE(readRecording("/nonexistent/game.rec", recording, problem));
    EXPECT_EQ(problem, "cannot open /nonexistent/game.rec");
}

namespace {

// Lets this process write no file beyond `bytes` while it lives: a write
// that would cross the limit writes what fits, and the next fails with
// EFBIG, as a disk that fills up part-way does with ENOSPC.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &previous);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, previous.rlim_max};
        ok = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool ok = false;

private:
    rlimit previous{};
    void (*previousHandler)(int) = SIG_DFL;
};

}  // namespace

// The file stops taking bytes at every possible place in turn: the writer
// says once which frame was the last whole one and why, leaves exactly the
// whole lines before it, and takes the rest of the game without a word.
TEST(Recording, AFileThatFillsUpPartWayStopsAfterItsLastWholeFrameAndSaysSo) {
    const std::string path = scratchDirectory("recording-full") + "/game.rec";
    RecordingHeader header;
    header.gameVersion = "1.0.0";
    const InputEvent key = InputEvent::keyEvent(265, 111, 1, 0);
    const InputEvent cursor = InputEvent::pointEvent(InputEvent::Kind::Cursor, 0.1, 700.5);
    constexpr int FRAMES = 5;
    auto play = [&](RecordingWriter& writer) {
        for (int frame = 1; frame <= FRAMES; ++frame) {
            for (int i = 0; i < frame; ++i) {
                writer.add(i % 2 ? cursor : key);
            }
            writer.endFrame(static_cast<float>(frame) / 60.0f);
        }
        writer.finish();
    };
    // Where each whole line ends, from a file that has room for everything.
    {
        RecordingWriter writer;
        ASSERT_TRUE(writer.open(path, header));
        play(writer);
    }
    const std::string whole = fileText(path);
    ASSERT_EQ(whole.compare(whole.size() - 4, 4, "end\n"), 0);
    std::vector<std::size_t> lineEnds;  // lineEnds[k]: the header and k frames
    for (std::size_t at = whole.find('\n'); at != std::string::npos;
         at = whole.find('\n', at + 1)) {
        lineEnds.push_back(at + 1);
    }
    lineEnds.erase(lineEnds.begin(), lineEnds.begin() + 4);  // header lines 1 to 4
    ASSERT_EQ(lineEnds.size(), static_cast<std::size_t>(FRAMES + 2));

    for (std::size_t limit = lineEnds[0]; limit < whole.size(); ++limit) {
        SCOPED_TRACE("room for " + std::to_string(limit) + " bytes");
        int wholeFrames = 0;
        while (lineEnds[wholeFrames + 1] <= limit) {
            ++wholeFrames;
        }
        StdoutCapture capture;
        {
            RecordingWriter writer;
            const FileSizeLimit room(limit);
            ASSERT_TRUE(room.ok);
            ASSERT_TRUE(writer.open(path, header));
            play(writer);
            EXPECT_FALSE(writer.isOpen());
            EXPECT_EQ(writer.framesWritten(), wholeFrames);
            play(writer);  // what the game goes on to do: no more lines, no more words
        }
        EXPECT_EQ(capture.text(), "vromdash: recording stopped after frame " +
                                      std::to_string(wholeFrames) + ": " + std::strerror(EFBIG) +
                                      "\n");
        // Whole lines only; the reader takes them as a recording that ended
        // early.
        const std::string kept = fileText(path);
        EXPECT_EQ(kept, whole.substr(0, lineEnds[wholeFrames]));
        Recording read;
        std::string problem;
        ASSERT_TRUE(parseRecording(kept, read, problem)) << problem;
        EXPECT_FALSE(read.complete);
        EXPECT_EQ(read.frames.size(), static_cast<std::size_t>(wholeFrames));
    }
}

TEST(Recording, AFileThatTakesNotEvenTheHeaderIsNotOpened) {
    RecordingHeader header;
    header.gameVersion = "1.0.0";
    StdoutCapture capture;
    RecordingWriter writer;
    // The device that is always full, and a folder that is a regular file.
    EXPECT_FALSE(writer.open("/dev/full", header));
    EXPECT_FALSE(writer.isOpen());
    EXPECT_EQ(writer.openProblem(), std::strerror(ENOSPC));
    const std::string dir = scratchDirectory("recording-nowhere");
    writeText(dir + "/file", "x");
    EXPECT_FALSE(writer.open(dir + "/file/game.rec", header));
    EXPECT_FALSE(writer.isOpen());
    EXPECT_EQ(writer.openProblem(), std::strerror(ENOTDIR));
    writer.endFrame(1.0f);
    writer.finish();
    // The caller says it could not start the recording.
    EXPECT_EQ(capture.text(), "");
}

// ---------------------------------------------------------------------------
// Replays

namespace {

struct Checkpoint {
    int frame = 0;
    std::string hash;                 // the world's
    std::vector<std::string> bodies;  // "chassis 0123...", one per body
};

// The checkpoints of `vromdash-replay FILE --every N --bodies` output.
std::vector<Checkpoint> readCheckpoints(const std::string& text) {
    std::vector<Checkpoint> checkpoints;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("frame ", 0) == 0) {
            Checkpoint checkpoint;
            std::istringstream words(line.substr(6));
            std::string word;
            words >> checkpoint.frame >> word >> checkpoint.hash;
            checkpoints.push_back(checkpoint);
        } else if (line.rfind("  ", 0) == 0 && !checkpoints.empty()) {
            checkpoints.back().bodies.push_back(line.substr(2));
        }
    }
    return checkpoints;
}

std::string hex(uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof(text), "%016llx", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

namespace {

// Replays each recording under tests/recordings in this process, in a world
// at `preset`, drawing every frame with `programs` when `draw` is set, and
// checks each stored checkpoint's hash. A failure names the first frame
// where the runs part and the bodies that differ. Returns how many
// recordings it replayed.
int replayCheckedInRecordings(GLFWwindow* window, const FramePrograms& programs, bool draw,
                              const QualityPreset& preset) {
    int replayed = 0;
    for (const auto& entry : fs::directory_iterator(sourcePath("tests/recordings"))) {
        if (entry.path().extension() != ".rec") {
            continue;
        }
        const std::string name = entry.path().stem().string();
        SCOPED_TRACE(name);
        Recording recording;
        std::string problem;
        const std::vector<Checkpoint> expected =
            readCheckpoints(fileText(sourcePath("tests/recordings/" + name + ".hashes")));
        if (!readRecording(entry.path().string(), recording, problem) || expected.empty()) {
            ADD_FAILURE() << name << ": " << (expected.empty() ? "no stored hashes" : problem);
            continue;
        }

        resetGameState();
        auto replayWorld = std::make_unique<World>(preset);
        world = replayWorld.get();
        size_t next = 0;
        bool parted = false;
        replayFrames(window, programs, recording, draw, [&](int frame) {
            if (parted || next >= expected.size() || expected[next].frame != frame) {
                return;
            }
            const Checkpoint& stored = expected[next++];
            if (hex(worldHash(*world)) == stored.hash) {
                return;
            }
            parted = true;
            std::string differing;
            const std::vector<BodyHash> bodies = bodyHashes(*world);
            for (size_t i = 0; i < bodies.size(); ++i) {
                const std::string now = bodies[i].body + " " + hex(bodies[i].hash);
                if (i >= stored.bodies.size() || stored.bodies[i] != now) {
                    differing += (differing.empty() ? " " : ", ") + bodies[i].body;
                }
            }
            if (differing.empty()) {
                differing = " none, so the level counter does";
            }
            ADD_FAILURE() << name << " parts from its stored run at frame " << frame << " (level "
                          << world->level << "); bodies that differ:" << differing
                          << " (a change to the simulation? remake the .hashes file)";
        });
        if (!parted) {
            EXPECT_EQ(next, expected.size()) << "checkpoints replayed";
        }
        world = nullptr;
        ++replayed;
    }
    return replayed;
}

}  // namespace

// Each recording under tests/recordings replays, in this process and without
// drawing, to the hashes stored beside it (made with
// `vromdash-replay NAME.rec --every 10 --bodies --frames-only`).
TEST(Replay, CheckedInRecordingsReplayToTheirStoredHashes) {
    GLFWwindow* window = testGlContext();
    ASSERT_NE(window, nullptr);
    EXPECT_GE(replayCheckedInRecordings(window, FramePrograms{}, false, presetFor(Quality::High)),
              2);
}

// The quality preset changes only the drawing: with every pass drawn at
// each preset, the recordings still reach their stored hashes.
class ReplayAtPreset : public testing::TestWithParam<Quality> {};

TEST_P(ReplayAtPreset, CheckedInRecordingsDrawnReplayToTheirStoredHashes) {
    GLFWwindow* window = testGlContext();
    ASSERT_NE(window, nullptr);
    const GamePrograms programs;
    EXPECT_GE(replayCheckedInRecordings(window, programs.ids(), true, presetFor(GetParam())), 2);
}

INSTANTIATE_TEST_SUITE_P(EveryPreset, ReplayAtPreset,
                         testing::Values(Quality::Low, Quality::Medium, Quality::High),
                         [](const testing::TestParamInfo<Quality>& info) {
                             return std::string(qualityName(info.param));
                         });

TEST(ReplayTool, RefusesBadRecordingsAndSaysWhereOneEndedEarly) {
    const std::string dir = scratchDirectory("replay-tool");
    auto replay = [](const std::string& arguments) {
        return commandOutput("'" + REPLAY_TOOL + "' " + arguments + " 2>&1; echo \"exit $?\"");
    };
    EXPECT_EQ(replay("'" + dir + "/missing.rec'"),
              "vromdash-replay: cannot open " + dir + "/missing.rec\nexit 2\n");
    writeText(dir + "/garbage.rec", "GIF89a\x01\x02 not a recording\n");
    EXPECT_EQ(replay("'" + dir + "/garbage.rec'"),
              "vromdash-replay: " + dir + "/garbage.rec: not a Vromdash recording\nexit 2\n");
    writeText(dir + "/newer.rec", "vromdash-recording 9\ngame 9.0.0\n");
    EXPECT_EQ(replay("'" + dir + "/newer.rec'"),
              "vromdash-replay: " + dir +
                  "/newer.rec: a recording of format 9, newer than this build reads (3)\nexit 2\n");
    EXPECT_NE(replay("--every 0 x.rec").find("usage: vromdash-replay"), std::string::npos);

    // The game was killed during its fourth frame: three frames replay.
    writeText(dir + "/killed.rec",
              HEADER + "frame 0x1p-1\nframe 0x1.2p-1 key 265 111 1 0\nframe 0x1.4p-1\nframe 0x1.");
    const std::string early = replay("'" + dir + "/killed.rec' --frames-only");
    EXPECT_NE(early.find("frame 3 hash "), std::string::npos) << early;
    EXPECT_NE(early.find("recording ended early after frame 3\nexit 0\n"), std::string::npos)
        << early;
}

// The real game, recorded while it is driven with real key events, then
// replayed twice: the replay prints the positions the game printed for X,
// and both replays agree to the last bit.
TEST(Play, ARecordedGameReplaysToItsPositionsBitForBit) {
    const std::string recordingPath = scratchDirectory("recorded-game") + "/game.rec";
    GameStart start;
    start.arguments = {"--windowed", "--record", recordingPath};
    GameProcess game(start);
    const std::string window = game.findWindow();
    ASSERT_FALSE(window.empty()) << game.report();
    // Keys sent while the game still loads all arrive in its first frame: the
    // first answer to X says its frames run, so the keys below span frames.
    ASSERT_TRUE(answersX(game, window)) << game.report();
    ASSERT_TRUE(pressKey(window, "Up"));
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(tapKey(window, "x"));
        EXPECT_TRUE(holdKey(window, "Left", 0.5));
    }
    EXPECT_TRUE(releaseKey(window, "Up"));
    EXPECT_TRUE(tapKey(window, "x"));
    EXPECT_EQ(game.quitWithEscape(window), 0) << game.report();
    const std::vector<std::string> played = linesStartingWith(game.output(), "Position: ");
    ASSERT_FALSE(played.empty()) << game.report();

    // Every frame's hash: however slowly the busy machine ran the game, the
    // X answered and the Escape came in frames of their own.
    const std::string replay = "'" + REPLAY_TOOL + "' '" + recordingPath + "' --every 1";
    const std::string first = commandOutput(replay);
    const std::string second = commandOutput(replay);
    EXPECT_EQ(linesStartingWith(first, "Position: "), played) << first;
    const std::vector<std::string> hashes = linesStartingWith(first, "frame ");
    EXPECT_GE(hashes.size(), 2u) << first;
    EXPECT_EQ(linesStartingWith(second, "frame "), hashes);
    EXPECT_EQ(first.find("ended early"), std::string::npos) << first;
}
