#include "storage/write_all.h"

#include <cerrno>

int writeAll(int fd, const void* data, size_t size, WriteCall write) {
    const char* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t written = write(fd, bytes + done, size - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return written < 0 ? errno : ENOSPC;
        }
        done += static_cast<size_t>(written);
    }
    return 0;
}
