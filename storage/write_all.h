// The one write loop for files the game writes: a write may take only part
// of what it is given, or be interrupted, so it goes on until all is out.
#pragma once

#include <sys/types.h>

#include <cstddef>

using WriteCall = ssize_t (*)(int fd, const void* data, size_t size);

// Writes all `size` bytes to `fd` through `write` (the system's, or a test's
// that fails). 0 when all went out, else the error: the call's errno, or
// ENOSPC for a write that took nothing (the device is full).
int writeAll(int fd, const void* data, size_t size, WriteCall write);
