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
    std::vector<const char*> forbidden;  // patterns of whole include paths
    const char* entry = "";              // the one file of the room exempt (its entry point)
};

const char* const PASSES = "render/.*_pass\\.h|render/cube_map_framebuffers\\.h";

const Room ROOMS[] = {
    {"world", {"app/.*", PASSES, "recordings/.*", "hud/.*", "audio/.*", "storage/.*"}},
    {"gfx", {"app/.*", "world/.*", PASSES, "recordings/.*", "hud/.*", "audio/.*"}},
    {"render", {"app/.*", "recordings/.*", "hud/.*", "audio/.*", "storage/.*"}},
    {"hud", {"app/.*", "world/.*", "render/.*", "recordings/.*", "audio/.*", "storage/.*"}},
    {"audio", {"app/.*", "world/.*", "gfx/.*", PASSES, "recordings/.*", "hud/.*", "storage/.*"}},
    {"storage", {"app/.*", "world/.*", "gfx/.*", PASSES, "recordings/.*", "hud/.*", "audio/.*"}},
    // Recordings drive the game's frame; only the entry starts them.
    {"app", {"recordings/.*"}, "main.cpp"},
};

const char* const ALL_ROOMS[] = {"app", "recordings", "storage", "world",
                                 "gfx", "render",     "hud",     "audio"};

std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool isSource(const std::filesystem::path& path) {
    return path.extension() == ".cpp" || path.extension() == ".h";
}

// The quoted includes of `text`, in order.
std::vector<std::string> includesOf(const std::string& text) {
    static const std::regex include(R"(^\s*#\s*include\s*"([^"]+)\")");
    std::vector<std::string> found;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (std::regex_search(line, match, include)) {
            found.push_back(match[1].str());
        }
    }
    return found;
}

// A file and its header are one unit: "app/input.cpp" and "app/input.h" are
// "app/input".
std::string unitOf(const std::string& path) {
    return path.substr(0, path.rfind('.'));
}

// A loop in the graph from `unit`, as the units along it, or nothing.
bool findLoop(const std::map<std::string, std::set<std::string>>& graph, const std::string& unit,
              std::map<std::string, int>& state, std::vector<std::string>& path) {
    state[unit] = 1;  // on the path
    path.push_back(unit);
    const auto edges = graph.find(unit);
    if (edges != graph.end()) {
        for (const std::string& next : edges->second) {
            if (state[next] == 1) {
                path.push_back(next);
                return true;
            }
            if (state[next] == 0 && findLoop(graph, next, state, path)) {
                return true;
            }
        }
    }
    state[unit] = 2;  // done, no loop through it
    path.pop_back();
    return false;
}

// The quoted includes of `text` that match one of the patterns.
std::vector<std::string> forbiddenIncludes(const std::string& text,
                                           const std::vector<const char*>& forbidden) {
    std::vector<std::string> found;
    for (const std::string& included : includesOf(text)) {
        for (const char* pattern : forbidden) {
            if (std::regex_match(included, std::regex(pattern))) {
                found.push_back(included);
            }
        }
    }
    return found;
}

}  // namespace

TEST(Structure, TheRuleSeesIncludesHoweverSpacedAndOnlyTheForbiddenOnes) {
    const std::string text =
        "#include \"app/main_loop.h\"\n#  include \"render/shadow_pass.h\"\n"
        "#include \"render/maths.h\"\n// #include \"app/input.h\"\n#include <app/x.h>\n";
    EXPECT_EQ(forbiddenIncludes(text, ROOMS[0].forbidden),
              (std::vector<std::string>{"app/main_loop.h", "render/shadow_pass.h"}));
}

TEST(Structure, NoRoomIncludesWhatItMustNot) {
    for (const Room& room : ROOMS) {
        int files = 0;
        for (const auto& entry :
             std::filesystem::recursive_directory_iterator(sourcePath(room.folder))) {
            if (!isSource(entry.path()) || entry.path().filename() == room.entry) {
                continue;
            }
            ++files;
            for (const std::string& bad :
                 forbiddenIncludes(readText(entry.path()), room.forbidden)) {
                ADD_FAILURE() << entry.path().string() << " includes " << bad;
            }
        }
        EXPECT_GT(files, 0) << "no sources found in " << room.folder;
    }
}

TEST(Structure, NoFilesIncludeEachOtherRoundALoop) {
    std::map<std::string, std::set<std::string>> graph;
    int files = 0;
    for (const char* room : ALL_ROOMS) {
        for (const auto& entry : std::filesystem::directory_iterator(sourcePath(room))) {
            if (!isSource(entry.path())) {
                continue;
            }
            ++files;
            const std::string unit =
                unitOf(std::string(room) + "/" + entry.path().filename().string());
            for (const std::string& included : includesOf(readText(entry.path()))) {
                if (unitOf(included) != unit) {
                    graph[unit].insert(unitOf(included));
                }
            }
        }
    }
    EXPECT_GT(files, 100);
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
