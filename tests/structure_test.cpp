// The rooms of the source tree and what each must not include: the
// simulation knows nothing of the program around it or of its drawing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/gl_context.h"

namespace {

struct Room {
    const char* folder;
    std::vector<const char*> forbidden;  // patterns of whole include paths
};

const Room ROOMS[] = {
    {"world", {"app/.*", "render/.*_pass\\.h", "render/cube_map_framebuffers\\.h"}},
};

// The quoted includes of `text` that match one of the patterns.
std::vector<std::string> forbiddenIncludes(const std::string& text,
                                           const std::vector<const char*>& forbidden) {
    static const std::regex include(R"(^\s*#\s*include\s*"([^"]+)\")");
    std::vector<std::string> found;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (!std::regex_search(line, match, include)) {
            continue;
        }
        for (const char* pattern : forbidden) {
            if (std::regex_match(match[1].str(), std::regex(pattern))) {
                found.push_back(match[1].str());
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
            const std::string ext = entry.path().extension().string();
            if (ext != ".cpp" && ext != ".h") {
                continue;
            }
            ++files;
            std::ifstream in(entry.path());
            std::stringstream text;
            text << in.rdbuf();
            for (const std::string& bad : forbiddenIncludes(text.str(), room.forbidden)) {
                ADD_FAILURE() << entry.path().string() << " includes " << bad;
            }
        }
        EXPECT_GT(files, 0) << "no sources found in " << room.folder;
    }
}
