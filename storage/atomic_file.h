// Player files on disk (best times, settings): read whole, replaced
// atomically so that a crash or a full disk never leaves half a file, and a
// damaged one moved aside under a name that overwrites nothing.
#pragma once

#include <sys/types.h>

#include <string>

// The system calls that can fail while a file is replaced or moved aside.
// The defaults are the real ones; a test swaps one to make that step fail.
struct FileOperations {
    ssize_t (*write)(int fd, const void* data, size_t size);
    int (*fsync)(int fd);
    int (*rename)(const char* from, const char* to);
    // A rename that fails with EEXIST instead of replacing `to`.
    int (*renameNoReplace)(const char* from, const char* to);

    FileOperations();
};

// Writes `contents` to a new file in the folder of `path` (creating missing
// folders), syncs it, renames it over `path` and syncs the folder. On a
// failure before the rename the old file is untouched and the temporary file
// is gone; false then, with the reason in `problem`. Once renamed the new
// contents are in place and it returns true, also when syncing the folder
// fails (the rename may then be lost to a power cut, leaving the old file
// whole).
bool writeFileAtomically(const std::string& path, const std::string& contents, std::string& problem,
                         const FileOperations& operations = {});

// Renames the file at `path` to `path.damaged-YYYYMMDD-HHMMSS` (local time),
// with `-2`, `-3`... added while that name is taken, so nothing is ever
// overwritten. The new path, or "" when the file could not be moved.
std::string keepAside(const std::string& path, const FileOperations& operations = {});

enum class FileRead { Read, Missing, Failed };

// Reads a whole regular file of at most `maxBytes` bytes into `contents`.
// Missing: there is no file at `path` (a folder on the way may be missing
// or be a file). Failed: something is there but cannot
// be read (or is too large), with the reason in `problem`.
FileRead readSmallFile(const std::string& path, size_t maxBytes, std::string& contents,
                       std::string& problem);
