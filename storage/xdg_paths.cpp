#include "storage/xdg_paths.h"

#include <cstdlib>

namespace {

// The variable's value when it is an absolute path, without trailing
// slashes (so "/" is the empty string), else "".
std::string absoluteVariable(const char* name, bool& absolute) {
    const char* value = std::getenv(name);
    absolute = value != nullptr && value[0] == '/';
    std::string path = absolute ? value : "";
    while (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string gameFolder(const char* variable, const char* underHome) {
    bool absolute = false;
    const std::string base = absoluteVariable(variable, absolute);
    if (absolute) {
        return base + "/vromdash";
    }
    const std::string home = absoluteVariable("HOME", absolute);
    if (!absolute) {
        return "";
    }
    return home + "/" + underHome + "/vromdash";
}

}  // namespace

std::string dataDirectory() {
    return gameFolder("XDG_DATA_HOME", ".local/share");
}

std::string configDirectory() {
    return gameFolder("XDG_CONFIG_HOME", ".config");
}
