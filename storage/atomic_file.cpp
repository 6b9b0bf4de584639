#include "storage/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "storage/write_all.h"

namespace {

int renameWithoutReplacing(const char* from, const char* to) {
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return -1;
    }
    // A file system without the flag: a hard link never replaces either.
    if (::link(from, to) != 0) {
        return -1;
    }
    return ::unlink(from);
}

std::string reason(const char* step, int error) {
    return std::string(step) + ": " + std::strerror(error);
}

std::string folderOf(const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? "." : folder;
}

// The temporary file beside `path`, hidden, under a name nobody else holds.
int createTemporary(const std::string& path, std::string& temporary, std::string& problem) {
    const std::filesystem::path target(path);
    const std::string stem = (target.parent_path() / ("." + target.filename().string())).string();
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary =
            stem + "." + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".tmp";
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) {
            if (fd < 0) {
                problem = reason("creating a temporary file", errno);
            }
            return fd;
        }
    }
    problem = "creating a temporary file: every name is taken";
    return -1;
}

// Everything before the rename: the temporary file, complete and synced.
bool writeTemporary(int fd, const std::string& contents, const FileOperations& operations,
                    std::string& problem) {
    if (const int error = writeAll(fd, contents.data(), contents.size(), operations.write)) {
        problem = reason("writing", error);
        ::close(fd);
        return false;
    }
    if (operations.fsync(fd) != 0) {
        problem = reason("syncing", errno);
        ::close(fd);
        return false;
    }
    if (::close(fd) != 0) {
        problem = reason("closing", errno);
        return false;
    }
    return true;
}

// Makes a rename in the folder outlast a power cut, where the folder can be
// synced; the file in it is whole either way.
void syncFolder(const std::string& folder, const FileOperations& operations) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        operations.fsync(fd);
        ::close(fd);
    }
}

std::string timeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char text[32] = "00000000-000000";
    if (::localtime_r(&now, &local) != nullptr) {
        std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    }
    return text;
}

}  // namespace

FileOperations::FileOperations()
    : write(::write), fsync(::fsync), rename(::rename), renameNoReplace(renameWithoutReplacing) {}

bool writeFileAtomically(const std::string& path, const std::string& contents, std::string& problem,
                         const FileOperations& operations) {
    const std::string folder = folderOf(path);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        problem = "creating the folder " + folder + ": " + error.message();
        return false;
    }
    std::string temporary;
    const int fd = createTemporary(path, temporary, problem);
    if (fd < 0) {
        return false;
    }
    if (!writeTemporary(fd, contents, operations, problem)) {
        ::unlink(temporary.c_str());
        return false;
    }
    if (operations.rename(temporary.c_str(), path.c_str()) != 0) {
        problem = reason("renaming the temporary file", errno);
        ::unlink(temporary.c_str());
        return false;
    }
    // The new file is in place: a folder that cannot be synced is no reason
    // to tell the player it was not written.
    syncFolder(folder, operations);
    return true;
}

std::string keepAside(const std::string& path, const FileOperations& operations) {
    const std::string base = path + ".damaged-" + timeStamp();
    for (int number = 1; number < 1000; ++number) {
        const std::string aside = number == 1 ? base : base + "-" + std::to_string(number);
        if (operations.renameNoReplace(path.c_str(), aside.c_str()) == 0) {
            return aside;
        }
        if (errno != EEXIST) {
            return "";
        }
    }
    return "";
}

FileRead readSmallFile(const std::string& path, size_t maxBytes, std::string& contents,
                       std::string& problem) {
    contents.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        // Also when a folder on the way is missing or is not a folder.
        if (errno == ENOENT || errno == ENOTDIR) {
            return FileRead::Missing;
        }
        problem = reason("opening", errno);
        return FileRead::Failed;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        problem = "not a regular file";
        ::close(fd);
        return FileRead::Failed;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            problem = reason("reading", errno);
            break;
        }
        if (got == 0) {
            ::close(fd);
            return FileRead::Read;
        }
        contents.append(buffer, static_cast<size_t>(got));
        if (contents.size() > maxBytes) {
            problem = "larger than " + std::to_string(maxBytes) + " bytes";
            break;
        }
    }
    ::close(fd);
    contents.clear();
    return FileRead::Failed;
}
