// Player files: a replacement is all or nothing, a damaged file moved aside
// never overwrites anything, and reading refuses what is not a small file.
#include "storage/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/support/temporary_folder.h"

namespace {

ssize_t writeFailsFull(int, const void*, size_t) {
    errno = ENOSPC;
    return -1;
}

// A disk that takes one byte per call: the writer must go on until done.
ssize_t writeOneByte(int fd, const void* data, size_t size) {
    return ::write(fd, data, size > 0 ? 1 : 0);
}

int fsyncFails(int) {
    errno = EIO;
    return -1;
}

// Fails only for a folder: the file's own sync goes through.
int fsyncFailsForFolders(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
        errno = EIO;
        return -1;
    }
    return ::fsync(fd);
}

int renameFails(const char*, const char*) {
    errno = EXDEV;
    return -1;
}

int renameRefused(const char*, const char*) {
    errno = EACCES;
    return -1;
}

}  // namespace

TEST(AtomicFile, WritesCreatingItsFoldersThenReplacesLeavingNothingElse) {
    TemporaryFolder folder;
    const std::string path = folder / "a/b/file";
    const mode_t oldMask = ::umask(022);
    std::string problem;
    ASSERT_TRUE(writeFileAtomically(path, "first\n", problem)) << problem;
    EXPECT_EQ(fileBytes(path), "first\n");
    ASSERT_TRUE(writeFileAtomically(path, "second, longer\n", problem)) << problem;
    EXPECT_EQ(fileBytes(path), "second, longer\n");
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u);
    ::umask(oldMask);
    EXPECT_EQ(folderNames(folder / "a/b"), std::vector<std::string>{"file"});

    // A disk that takes a byte per call still ends with the whole file.
    FileOperations slowDisk;
    slowDisk.write = writeOneByte;
    ASSERT_TRUE(writeFileAtomically(path, "byte by byte\n", problem, slowDisk)) << problem;
    EXPECT_EQ(fileBytes(path), "byte by byte\n");
    // Once renamed the new contents are in place: a folder that cannot be
    // synced is no reason to tell the player the file was not written.
    FileOperations unsyncedFolder;
    unsyncedFolder.fsync = fsyncFailsForFolders;
    EXPECT_TRUE(writeFileAtomically(path, "renamed\n", problem, unsyncedFolder)) << problem;
    EXPECT_EQ(fileBytes(path), "renamed\n");
}

TEST(AtomicFile, AFailureBeforeTheRenameLeavesTheOldFileAndNoTemporary) {
    struct Case {
        const char* name;
        FileOperations operations;
        const char* reason;
    };
    std::vector<Case> cases(3);
    cases[0] = {"full disk", {}, "No space left on device"};
    cases[0].operations.write = writeFailsFull;
    cases[1] = {"failed sync", {}, "Input/output error"};
    cases[1].operations.fsync = fsyncFails;
    cases[2] = {"failed rename", {}, "Invalid cross-device link"};
    cases[2].operations.rename = renameFails;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TemporaryFolder folder;
        const std::string path = folder / "file";
        writeBytes(path, "old contents\n");
        std::string problem;
        EXPECT_FALSE(writeFileAtomically(path, "new contents\n", problem, c.operations));
        EXPECT_NE(problem.find(c.reason), std::string::npos) << problem;
        EXPECT_EQ(fileBytes(path), "old contents\n");
        EXPECT_EQ(folderNames(folder.path), std::vector<std::string>{"file"});
    }
}

TEST(AtomicFile, AFolderThatCannotBeMadeIsAProblemAndTouchesNothing) {
    TemporaryFolder folder;
    // Permission bits do not stop root; a file where a folder should be does.
    writeBytes(folder / "blocker", "a file\n");
    std::string problem;
    EXPECT_FALSE(writeFileAtomically(folder / "blocker/vromdash/file", "x", problem));
    EXPECT_NE(problem.find("blocker"), std::string::npos) << problem;
    EXPECT_EQ(fileBytes(folder / "blocker"), "a file\n");
    EXPECT_EQ(folderNames(folder.path), std::vector<std::string>{"blocker"});

    // The path itself is a folder: the rename fails and the temporary goes.
    std::filesystem::create_directory(folder / "taken");
    EXPECT_FALSE(writeFileAtomically(folder / "taken", "x", problem));
    EXPECT_EQ(folderNames(folder.path), (std::vector<std::string>{"blocker", "taken"}));
}

TEST(AtomicFile, KeepAsideFindsAFreeNameEveryTime) {
    TemporaryFolder folder;
    const std::string path = folder / "data";
    std::set<std::string> asides;
    for (int i = 0; i < 3; ++i) {
        writeBytes(path, "copy " + std::to_string(i) + "\n");
        const std::string aside = keepAside(path);
        ASSERT_NE(aside, "");
        EXPECT_EQ(aside.rfind(path + ".damaged-", 0), 0u) << aside;
        EXPECT_EQ(fileBytes(aside), "copy " + std::to_string(i) + "\n");
        EXPECT_EQ(fileBytes(path), "<missing>");
        asides.insert(aside);
    }
    // Within one second the names differ by their counter.
    EXPECT_EQ(asides.size(), 3u);
    EXPECT_EQ(folderNames(folder.path).size(), 3u);

    EXPECT_EQ(keepAside(folder / "nothing-here"), "");
    writeBytes(path, "stays\n");
    FileOperations refusing;
    refusing.renameNoReplace = renameRefused;
    EXPECT_EQ(keepAside(path, refusing), "");
    EXPECT_EQ(fileBytes(path), "stays\n");
}

TEST(AtomicFile, ReadingTellsMissingFromUnreadableAndNeverHangs) {
    TemporaryFolder folder;
    std::string contents, problem;
    EXPECT_EQ(readSmallFile(folder / "none", 100, contents, problem), FileRead::Missing);
    writeBytes(folder / "plain", "not a folder");
    EXPECT_EQ(readSmallFile(folder / "plain/none", 100, contents, problem), FileRead::Missing);

    writeBytes(folder / "small", "12345");
    EXPECT_EQ(readSmallFile(folder / "small", 5, contents, problem), FileRead::Read);
    EXPECT_EQ(contents, "12345");
    EXPECT_EQ(readSmallFile(folder / "small", 4, contents, problem), FileRead::Failed);
    EXPECT_EQ(contents, "");
    EXPECT_NE(problem.find("larger than 4 bytes"), std::string::npos) << problem;

    EXPECT_EQ(readSmallFile(folder.path, 100, contents, problem), FileRead::Failed);
    EXPECT_EQ(problem, "not a regular file");
    // A pipe with no writer would block a plain open.
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0644), 0);
    EXPECT_EQ(readSmallFile(folder / "pipe", 100, contents, problem), FileRead::Failed);
    EXPECT_EQ(problem, "not a regular file");
}
