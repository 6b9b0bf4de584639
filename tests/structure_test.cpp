// The rooms of the source tree and what each must not include (the
// simulation knows nothing of the program around it or of its drawing; the
// display, the sound and the kept files are leaves), and no loop of includes
// anywhere: a reader can take the files in order, from the bottom up.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/gl_context.h"

namespace {

struct Room {
    const char* folder;
    const char* forbidden;   // a pattern of whole include paths
    const char* entry = "";  // the one file of the room exempt (its entry point)
};

#define PASSES "render/.*_pass\\.h|render/cube_map_framebuffers\\.h"

const Room ROOMS[] = {
    {"world", "(app|recordings|hud|audio|storage)/.*|" PASSES},
    {"gfx", "(app|world|recordings|hud|audio)/.*|" PASSES},
    {"render", "(app|recordings|hud|audio|storage)/.*"},
    {"hud", "(app|world|render|recordings|audio|storage)/.*"},
    {"audio", "(app|world|gfx|recordings|hud|storage)/.*|" PASSES},
    {"storage", "(app|world|gfx|recordings|hud|audio)/.*|" PASSES},
    // Recordings drive the game's frame; only the entry starts them.
    {"app", "recordings/.*", "main.cpp"},
    {"recordings", ""},
};

// Every source file of the rooms ("app/input.cpp") with its quoted includes.
std::map<std::string, std::vector<std::string>> sourceIncludes() {
    static const std::regex include(R"(^\s*#\s*include\s*"([^"]+)\")");
    std::map<std::string, std::vector<std::string>> files;
    for (const Room& room : ROOMS) {
        for (const auto& entry : std::filesystem::directory_iterator(sourcePath(room.folder))) {
            const std::string ext = entry.path().extension().string();
            if (ext != ".cpp" && ext != ".h") {
                continue;
            }
            std::vector<std::string>& includes =
                files[std::string(room.folder) + "/" + entry.path().filename().string()];
            std::ifstream in(entry.path());
            for (std::string line; std::getline(in, line);) {
                std::smatch match;
                if (std::regex_search(line, match, include)) {
                    includes.push_back(match[1].str());
                }
            }
        }
    }
    return files;
}

// A file and its header are one unit: "app/input.cpp" and "app/input.h" are
// "app/input".
std::string unitOf(const std::string& path) {
    return path.substr(0, path.rfind('.'));
}

// Depth first from `unit`; true, with the loop's units in `path`, when it
// comes back to a unit still on the path.
bool findLoop(const std::map<std::string, std::set<std::string>>& graph, const std::string& unit,
              std::map<std::string, int>& state, std::vector<std::string>& path) {
    state[unit] = 1;  // on the path
    path.push_back(unit);
    const auto edges = graph.find(unit);
    for (const std::string& next : edges == graph.end() ? std::set<std::string>{} : edges->second) {
        if (state[next] == 1) {
            path.push_back(next);
            return true;
        }
        if (state[next] == 0 && findLoop(graph, next, state, path)) {
            return true;
        }
    }
    state[unit] = 2;  // done, no loop through it
    path.pop_back();
    return false;
}

}  // namespace

TEST(Structure, NoRoomIncludesWhatItMustNot) {
    const auto files = sourceIncludes();
    EXPECT_GT(files.size(), 100u);
    for (const Room& room : ROOMS) {
        const std::regex forbidden(room.forbidden);
        for (const auto& [file, includes] : files) {
            if (file.rfind(std::string(room.folder) + "/", 0) != 0 ||
                file == std::string(room.folder) + "/" + room.entry) {
                continue;
            }
            for (const std::string& included : includes) {
                EXPECT_FALSE(std::regex_match(included, forbidden))
                    << file << " includes " << included;
            }
        }
    }
}

TEST(Structure, NoFilesIncludeEachOtherRoundALoop) {
    std::map<std::string, std::set<std::string>> graph;
    for (const auto& [file, includes] : sourceIncludes()) {
        for (const std::string& included : includes) {
            if (unitOf(included) != unitOf(file)) {
                graph[unitOf(file)].insert(unitOf(included));
            }
        }
    }
    std::map<std::string, int> state;
    for (const auto& [unit, edges] : graph) {
        std::vector<std::string> path;
        if (state[unit] == 0 && findLoop(graph, unit, state, path)) {
            std::string loop;
            for (const std::string& step : path) {
                loop += (loop.empty() ? "" : " -> ") + step;
            }
            // The first loop is enough: the search stops on it.
            FAIL() << "includes run round a loop: " << loop;
        }
    }
}
