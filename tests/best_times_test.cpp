// Best times: the clock's text, the file's shape and its round trip, damaged
// and unreadable files kept aside, writes that fail while the game goes on,
// and where the file lives.
#include "storage/best_times.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "storage/xdg_paths.h"
#include "tests/support/scoped_variable.h"
#include "tests/support/temporary_folder.h"

namespace {

const std::string GOOD_FILE =
    "# Vromdash best clear times, in game time (physics steps of 1/60 s)\n"
    "vromdash-best-times 1\n"
    "default 13266 3:41.1\n"
    "level-2 12000 3:20.0\n"
    "end\n";

int fsyncFails(int) {
    errno = EIO;
    return -1;
}

int renameRefused(const char*, const char*) {
    errno = EACCES;
    return -1;
}

size_t lineCount(const std::string& text) {
    return std::count(text.begin(), text.end(), '\n');
}

// The names in the folder that are damaged copies of `name`.
std::vector<std::string> asideNames(const std::string& folder, const std::string& name) {
    std::vector<std::string> found;
    for (const std::string& entry : folderNames(folder)) {
        if (entry.rfind(name + ".damaged-", 0) == 0) {
            found.push_back(entry);
        }
    }
    return found;
}

struct FileIdentity {
    ino_t inode = 0;
    long seconds = 0, nanoseconds = 0;
    bool operator==(const FileIdentity& other) const {
        return inode == other.inode && seconds == other.seconds && nanoseconds == other.nanoseconds;
    }
};

FileIdentity identity(const std::string& path) {
    struct stat status {};
    FileIdentity id;
    if (::stat(path.c_str(), &status) == 0) {
        id = {status.st_ino, static_cast<long>(status.st_mtim.tv_sec),
              static_cast<long>(status.st_mtim.tv_nsec)};
    }
    return id;
}

BestTimes loaded(const std::string& path, std::string& console) {
    BestTimes times;
    times.path = path;
    std::ostringstream out;
    times.load(out);
    console = out.str();
    return times;
}

}  // namespace

TEST(BestTimes, ClockTextTruncatesToTenthsAndMinutesGoOn) {
    EXPECT_EQ(clockText(0), "0:00.0");
    EXPECT_EQ(clockText(5), "0:00.0");  // 0.083 s: no tenth reached yet
    EXPECT_EQ(clockText(6), "0:00.1");
    EXPECT_EQ(clockText(3599), "0:59.9");
    EXPECT_EQ(clockText(3600), "1:00.0");
    EXPECT_EQ(clockText(13266), "3:41.1");
    EXPECT_EQ(clockText(60L * 60 * 75 + 6 * 3), "75:00.3");
    EXPECT_EQ(clockText(-40), "0:00.0");
}

TEST(BestTimes, LevelTwoAloneHasItsOwnLayout) {
    EXPECT_EQ(layoutKindFor(2), LayoutKind::LevelTwo);
    for (const int level : {1, 3, 4, 9, 0, -2}) {
        EXPECT_EQ(layoutKindFor(level), LayoutKind::Default) << level;
    }
}

TEST(BestTimes, ClearsWriteTheFileInItsShapeAndReadBack) {
    TemporaryFolder folder;
    BestTimes times;
    times.path = folder / "vromdash/best-times";
    std::ostringstream console;
    times.load(console);
    EXPECT_TRUE(times.offer(LayoutKind::LevelTwo, 12000, console));
    EXPECT_TRUE(times.offer(LayoutKind::Default, 14000, console));
    EXPECT_TRUE(times.offer(LayoutKind::Default, 13266, console));
    EXPECT_EQ(console.str(), "");
    EXPECT_EQ(fileBytes(times.path), GOOD_FILE);
    EXPECT_EQ(folderNames(folder / "vromdash"), std::vector<std::string>{"best-times"});

    std::string said;
    const BestTimes again = loaded(times.path, said);
    EXPECT_EQ(said, "");
    EXPECT_EQ(again.bestFor(LayoutKind::Default), 13266);
    EXPECT_EQ(again.bestFor(LayoutKind::LevelTwo), 12000);

    // One layout alone, comments and empty lines anywhere, and a clock text
    // that disagrees: only the step count counts.
    writeBytes(times.path, "vromdash-best-times 1\n\n# mine\nlevel-2 600 9:99.9\n# done\nend\n");
    const BestTimes edited = loaded(times.path, said);
    EXPECT_EQ(said, "");
    EXPECT_EQ(edited.bestFor(LayoutKind::Default), std::nullopt);
    EXPECT_EQ(edited.bestFor(LayoutKind::LevelTwo), 600);
}

TEST(BestTimes, AMissingFileIsNoBestTimesSilentlyAndNothingIsWritten) {
    TemporaryFolder folder;
    std::string said;
    const BestTimes times = loaded(folder / "best-times", said);
    EXPECT_EQ(said, "");
    EXPECT_EQ(times.bestFor(LayoutKind::Default), std::nullopt);
    EXPECT_EQ(times.bestFor(LayoutKind::LevelTwo), std::nullopt);
    EXPECT_TRUE(times.writable);
    EXPECT_TRUE(folderNames(folder.path).empty());
}

TEST(BestTimes, ParserRefusesAnythingButAWholeFile) {
    const std::vector<std::string> damaged = {
        "",
        "garbage\n",
        std::string("\0\x01\xff\n", 4),
        "vromdash-best-times 2\ndefault 100 0:01.6\nend\n",
        "vromdash-best-times\nend\n",
        "default 100 0:01.6\nvromdash-best-times 1\nend\n",
        "vromdash-best-times 1\ndefault -100 0:01.6\nend\n",
        "vromdash-best-times 1\ndefault +100 0:01.6\nend\n",
        "vromdash-best-times 1\ndefault 0 0:00.0\nend\n",
        "vromdash-best-times 1\ndefault 21600001 100:00.0\nend\n",
        "vromdash-best-times 1\ndefault 99999999999999999999 x\nend\n",
        "vromdash-best-times 1\ndefault 1e3 0:16.6\nend\n",
        "vromdash-best-times 1\ndefault 100\nend\n",
        "vromdash-best-times 1\ndefault 100 0:01.6 more\nend\n",
        "vromdash-best-times 1\nlevel-3 100 0:01.6\nend\n",
        "vromdash-best-times 1\ndefault 100 0:01.6\ndefault 90 0:01.5\nend\n",
        "vromdash-best-times 1\ndefault 100 0:01.6\nend\nlevel-2 90 0:01.5\n",
        "vromdash-best-times 1\nend\nend\n",
        "vromdash-best-times 1\ndefault 100 0:01.6\nend",
    };
    for (const std::string& text : damaged) {
        BestSteps best;
        best[0] = 5;
        std::string problem;
        EXPECT_FALSE(parseBestTimes(text, best, problem)) << text;
        EXPECT_FALSE(problem.empty()) << text;
        EXPECT_EQ(best, BestSteps{}) << text;
    }
    // Every cut of a good file is told from a whole one.
    for (size_t length = 0; length < GOOD_FILE.size(); ++length) {
        BestSteps best;
        std::string problem;
        EXPECT_FALSE(parseBestTimes(GOOD_FILE.substr(0, length), best, problem)) << length;
    }
    BestSteps best;
    std::string problem;
    EXPECT_TRUE(parseBestTimes("vromdash-best-times 1\nend\n", best, problem)) << problem;
    EXPECT_TRUE(
        parseBestTimes("vromdash-best-times 1\ndefault 21600000 6000:00.0\nend\n", best, problem))
        << problem;
    EXPECT_EQ(best[0], MOST_BEST_STEPS);
}

TEST(BestTimes, ADamagedFileCostsOneLineAndIsKeptThroughLaterBests) {
    const std::vector<std::string> damaged = {
        "garbage\n",
        GOOD_FILE.substr(0, GOOD_FILE.size() / 2),
        "vromdash-best-times 7\nend\n",
        "vromdash-best-times 1\ndefault -13266 3:41.1\nend\n",
        "vromdash-best-times 1\ndefault 13266 3:41.1\ndefault 13000 3:36.6\nend\n",
    };
    for (const std::string& text : damaged) {
        SCOPED_TRACE(text);
        TemporaryFolder folder;
        const std::string path = folder / "best-times";
        writeBytes(path, text);
        std::string said;
        BestTimes times = loaded(path, said);
        EXPECT_EQ(lineCount(said), 1u);
        EXPECT_EQ(said.rfind("vromdash: best times in " + path + " are damaged (", 0), 0u) << said;
        EXPECT_EQ(times.bestFor(LayoutKind::Default), std::nullopt);
        EXPECT_EQ(times.bestFor(LayoutKind::LevelTwo), std::nullopt);
        const std::vector<std::string> asides = asideNames(folder.path, "best-times");
        ASSERT_EQ(asides.size(), 1u);
        EXPECT_NE(said.find("kept as " + folder.path + "/" + asides[0]), std::string::npos) << said;
        EXPECT_EQ(fileBytes(path), "<missing>");

        std::ostringstream later;
        EXPECT_TRUE(times.offer(LayoutKind::Default, 9000, later));
        EXPECT_EQ(later.str(), "");
        EXPECT_EQ(fileBytes(folder / asides[0]), text);
        EXPECT_EQ(asideNames(folder.path, "best-times"), asides);
        EXPECT_EQ(loaded(path, said).bestFor(LayoutKind::Default), 9000);
    }
}

TEST(BestTimes, AFileThatCannotBeReadIsMovedAsideToo) {
    TemporaryFolder folder;
    const std::string path = folder / "best-times";
    std::filesystem::create_directory(path);
    writeBytes(path + "/inside", "kept\n");
    std::string said;
    BestTimes times = loaded(path, said);
    EXPECT_EQ(lineCount(said), 1u);
    EXPECT_EQ(said.rfind("vromdash: best times in " + path + " cannot be read (", 0), 0u) << said;
    const std::vector<std::string> asides = asideNames(folder.path, "best-times");
    ASSERT_EQ(asides.size(), 1u);
    EXPECT_EQ(fileBytes(folder / asides[0] + "/inside"), "kept\n");

    std::ostringstream later;
    EXPECT_TRUE(times.offer(LayoutKind::LevelTwo, 7000, later));
    EXPECT_EQ(later.str(), "");
    EXPECT_EQ(loaded(path, said).bestFor(LayoutKind::LevelTwo), 7000);
}

TEST(BestTimes, ADamagedFileThatCannotBeMovedIsNeverOverwritten) {
    TemporaryFolder folder;
    const std::string path = folder / "best-times";
    writeBytes(path, "garbage\n");
    BestTimes times;
    times.path = path;
    times.files.renameNoReplace = renameRefused;
    std::ostringstream console;
    times.load(console);
    EXPECT_EQ(lineCount(console.str()), 1u);
    EXPECT_NE(console.str().find("stays as it is"), std::string::npos) << console.str();
    EXPECT_FALSE(times.writable);

    std::ostringstream later;
    EXPECT_TRUE(times.offer(LayoutKind::Default, 5000, later));
    EXPECT_EQ(times.bestFor(LayoutKind::Default), 5000);
    EXPECT_EQ(fileBytes(path), "garbage\n");
    EXPECT_EQ(folderNames(folder.path), std::vector<std::string>{"best-times"});
}

TEST(BestTimes, AWriteThatFailsBeforeTheRenameKeepsTheOldFileAndTheGameGoesOn) {
    TemporaryFolder folder;
    const std::string path = folder / "best-times";
    writeBytes(path, GOOD_FILE);
    std::string said;
    BestTimes times = loaded(path, said);
    times.files.fsync = fsyncFails;
    std::ostringstream console;
    EXPECT_TRUE(times.offer(LayoutKind::Default, 13000, console));
    EXPECT_EQ(console.str(), "vromdash: cannot keep best times in " + path +
                                 " (syncing: Input/output error); this one lasts only this run\n");
    EXPECT_EQ(times.bestFor(LayoutKind::Default), 13000);
    EXPECT_EQ(fileBytes(path), GOOD_FILE);
    EXPECT_EQ(folderNames(folder.path), std::vector<std::string>{"best-times"});
    // The kept best still decides what is an improvement.
    EXPECT_FALSE(times.offer(LayoutKind::Default, 13100, console));
}

TEST(BestTimes, AFolderThatCannotBeWrittenCostsALinePerNewBest) {
    TemporaryFolder folder;
    writeBytes(folder / "data", "a file where the data folder should be\n");
    const ScopedVariable data("XDG_DATA_HOME", (folder / "data").c_str());
    std::string said;
    BestTimes times = loaded(bestTimesPath(), said);
    EXPECT_EQ(said, "");

    std::ostringstream console;
    EXPECT_TRUE(times.offer(LayoutKind::Default, 13000, console));
    EXPECT_EQ(lineCount(console.str()), 1u);
    EXPECT_EQ(console.str().rfind("vromdash: cannot keep best times in " + folder.path +
                                      "/data/vromdash/best-times (creating the folder ",
                                  0),
              0u)
        << console.str();
    EXPECT_TRUE(times.offer(LayoutKind::Default, 12000, console));
    EXPECT_EQ(lineCount(console.str()), 2u);
    EXPECT_EQ(times.bestFor(LayoutKind::Default), 12000);
    EXPECT_EQ(fileBytes(folder / "data"), "a file where the data folder should be\n");
}

TEST(BestTimes, OnlyAnImprovementWrites) {
    TemporaryFolder folder;
    std::string said;
    BestTimes times = loaded(folder / "best-times", said);
    std::ostringstream console;
    for (const long nonsense : {0L, -5L, MOST_BEST_STEPS + 1}) {
        EXPECT_FALSE(times.offer(LayoutKind::Default, nonsense, console)) << nonsense;
    }
    EXPECT_TRUE(folderNames(folder.path).empty());

    ASSERT_TRUE(times.offer(LayoutKind::Default, 13266, console));
    const std::string bytes = fileBytes(times.path);
    const FileIdentity before = identity(times.path);
    EXPECT_FALSE(times.offer(LayoutKind::Default, 13266, console));
    EXPECT_FALSE(times.offer(LayoutKind::Default, 20000, console));
    EXPECT_EQ(fileBytes(times.path), bytes);
    EXPECT_TRUE(identity(times.path) == before);
    EXPECT_EQ(times.bestFor(LayoutKind::Default), 13266);

    // Another layout's first clear is a best of its own.
    EXPECT_TRUE(times.offer(LayoutKind::LevelTwo, 20000, console));
    EXPECT_FALSE(identity(times.path) == before);
    EXPECT_EQ(console.str(), "");
}

TEST(BestTimes, FoldersFollowTheXdgVariablesAndFallBackToHome) {
    const ScopedVariable home("HOME", "/home/player");
    {
        const ScopedVariable data("XDG_DATA_HOME", "/srv/data/");
        const ScopedVariable config("XDG_CONFIG_HOME", "/srv/config");
        EXPECT_EQ(dataDirectory(), "/srv/data/vromdash");
        EXPECT_EQ(configDirectory(), "/srv/config/vromdash");
        EXPECT_EQ(bestTimesPath(), "/srv/data/vromdash/best-times");
    }
    for (const char* ignored : {static_cast<const char*>(nullptr), "", "relative/data"}) {
        const ScopedVariable data("XDG_DATA_HOME", ignored);
        const ScopedVariable config("XDG_CONFIG_HOME", ignored);
        EXPECT_EQ(dataDirectory(), "/home/player/.local/share/vromdash");
        EXPECT_EQ(configDirectory(), "/home/player/.config/vromdash");
    }
}

TEST(BestTimes, WithoutAnyFolderBestTimesLastTheRun) {
    const ScopedVariable home("HOME", nullptr);
    const ScopedVariable data("XDG_DATA_HOME", "not/absolute");
    EXPECT_EQ(dataDirectory(), "");
    EXPECT_EQ(bestTimesPath(), "");
    std::string said;
    BestTimes times = loaded(bestTimesPath(), said);
    EXPECT_EQ(lineCount(said), 1u);
    EXPECT_EQ(said.rfind("vromdash: no folder for best times", 0), 0u) << said;
    std::ostringstream console;
    EXPECT_TRUE(times.offer(LayoutKind::Default, 500, console));
    EXPECT_FALSE(times.offer(LayoutKind::Default, 600, console));
    EXPECT_EQ(console.str(), "");
}
