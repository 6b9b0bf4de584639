#include "storage/best_times.h"

#include <cstdio>
#include <ostream>
#include <sstream>
#include <vector>

#include "storage/xdg_paths.h"

namespace {

const char* const FORMAT_NAME = "vromdash-best-times";
// A file of this format is a few lines; anything much larger is not one.
constexpr size_t MOST_FILE_BYTES = 4096;

std::optional<LayoutKind> layoutNamed(const std::string& name) {
    for (int kind = 0; kind < LAYOUT_KINDS; ++kind) {
        if (name == layoutName(static_cast<LayoutKind>(kind))) {
            return static_cast<LayoutKind>(kind);
        }
    }
    return std::nullopt;
}

// Digits only (no sign, no spaces), within the believable range.
std::optional<long> stepCount(const std::string& text) {
    if (text.empty() || text.size() > 12) {
        return std::nullopt;
    }
    long steps = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        steps = steps * 10 + (c - '0');
    }
    if (steps < 1 || steps > MOST_BEST_STEPS) {
        return std::nullopt;
    }
    return steps;
}

// The lines that carry something: not empty, not a comment. Each must end
// with a newline, as every file written here does.
bool meaningfulLines(const std::string& text, std::vector<std::pair<int, std::string>>& lines,
                     std::string& problem) {
    size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            problem = "line " + std::to_string(number) + " is cut short";
            return false;
        }
        const std::string line = text.substr(start, end - start);
        if (!line.empty() && line[0] != '#') {
            lines.emplace_back(number, line);
        }
        start = end + 1;
    }
    return true;
}

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> found;
    std::string word;
    while (in >> word) {
        found.push_back(word);
    }
    return found;
}

bool parseLayoutLine(const std::vector<std::string>& fields, BestSteps& best,
                     std::string& problem) {
    const std::optional<LayoutKind> layout =
        fields.size() == 3 ? layoutNamed(fields[0]) : std::nullopt;
    const std::optional<long> steps = fields.size() == 3 ? stepCount(fields[1]) : std::nullopt;
    if (!layout || !steps) {
        problem = "not a layout and a time";
        return false;
    }
    std::optional<long>& slot = best[static_cast<int>(*layout)];
    if (slot) {
        problem = std::string("a second time for ") + fields[0];
        return false;
    }
    slot = steps;
    return true;
}

bool parseLines(const std::vector<std::pair<int, std::string>>& lines, BestSteps& best,
                std::string& problem) {
    if (lines.empty() ||
        words(lines.front().second) !=
            std::vector<std::string>{FORMAT_NAME, std::to_string(BEST_TIMES_FORMAT)}) {
        problem = "no \"" + std::string(FORMAT_NAME) + " " + std::to_string(BEST_TIMES_FORMAT) +
                  "\" line first";
        return false;
    }
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> fields = words(lines[i].second);
        const bool last = i + 1 == lines.size();
        if (fields == std::vector<std::string>{"end"} && last) {
            return true;
        }
        if (!parseLayoutLine(fields, best, problem)) {
            problem = "line " + std::to_string(lines[i].first) + ": " + problem;
            return false;
        }
    }
    problem = "no \"end\" line: the file is cut short";
    return false;
}

}  // namespace

LayoutKind layoutKindFor(int levelNumber) {
    return levelNumber == 2 ? LayoutKind::LevelTwo : LayoutKind::Default;
}

const char* layoutName(LayoutKind layout) {
    return layout == LayoutKind::LevelTwo ? "level-2" : "default";
}

std::string clockText(long steps) {
    // Six steps make a tenth of a second.
    const long tenths = steps > 0 ? steps / 6 : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld.%ld", tenths / 600, tenths / 10 % 60, tenths % 10);
    return text;
}

std::string bestTimesText(const BestSteps& best) {
    std::string text = "# Vromdash best clear times, in game time (physics steps of 1/60 s)\n";
    text += std::string(FORMAT_NAME) + " " + std::to_string(BEST_TIMES_FORMAT) + "\n";
    for (int kind = 0; kind < LAYOUT_KINDS; ++kind) {
        if (best[kind]) {
            text += std::string(layoutName(static_cast<LayoutKind>(kind))) + " " +
                    std::to_string(*best[kind]) + " " + clockText(*best[kind]) + "\n";
        }
    }
    return text + "end\n";
}

bool parseBestTimes(const std::string& text, BestSteps& best, std::string& problem) {
    std::vector<std::pair<int, std::string>> lines;
    BestSteps read;
    if (!meaningfulLines(text, lines, problem) || !parseLines(lines, read, problem)) {
        best = BestSteps{};
        return false;
    }
    best = read;
    return true;
}

std::string bestTimesPath() {
    const std::string folder = dataDirectory();
    return folder.empty() ? "" : folder + "/best-times";
}

std::optional<long> BestTimes::bestFor(LayoutKind layout) const {
    return best[static_cast<int>(layout)];
}

void BestTimes::load(std::ostream& console) {
    best = BestSteps{};
    writable = !path.empty();
    if (path.empty()) {
        console << "vromdash: no folder for best times (neither XDG_DATA_HOME nor HOME is an "
                   "absolute path); best times last only this run"
                << std::endl;
        return;
    }
    std::string text, problem;
    const FileRead read = readSmallFile(path, MOST_FILE_BYTES, text, problem);
    if (read == FileRead::Missing) {
        return;
    }
    const bool parsed = read == FileRead::Read && parseBestTimes(text, best, problem);
    if (parsed) {
        return;
    }
    const std::string what = read == FileRead::Read ? "are damaged" : "cannot be read";
    const std::string aside = keepAside(path, files);
    console << "vromdash: best times in " << path << " " << what << " (" << problem << "); ";
    if (aside.empty()) {
        writable = false;
        console << "cannot move the file aside, so it stays as it is and best times last only "
                   "this run"
                << std::endl;
    } else {
        console << "kept as " << aside << "; starting without best times" << std::endl;
    }
}

bool BestTimes::offer(LayoutKind layout, long steps, std::ostream& console) {
    std::optional<long>& slot = best[static_cast<int>(layout)];
    if (steps < 1 || steps > MOST_BEST_STEPS || (slot && steps >= *slot)) {
        return false;
    }
    slot = steps;
    if (path.empty() || !writable) {
        return true;
    }
    std::string problem;
    if (!writeFileAtomically(path, bestTimesText(best), problem, files)) {
        console << "vromdash: cannot keep best times in " << path << " (" << problem
                << "); this one lasts only this run" << std::endl;
    }
    return true;
}
