// Resident memory of this process, for the tools and tests that watch it.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

// Resident set size in KiB (VmRSS of /proc/self/status), or -1 if unknown.
inline long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            std::istringstream fields(line.substr(6));
            long kib = 0;
            fields >> kib;
            return kib;
        }
    }
    return -1;
}
