#include "storage/settings.h"

#include <ini.h>

#include <ostream>

#include "storage/xdg_paths.h"

namespace {

// A settings file is a few dozen lines; anything much larger is not one.
constexpr size_t MOST_FILE_BYTES = 64 * 1024;
// inih reads a line into a buffer of ini_max_line (200) bytes and would
// cut a longer one in two; no line of this file needs to come near that.
constexpr size_t MOST_LINE_CHARS = 160;

// What the handler of one line's parse found.
struct LineParse {
    Settings* settings;
    std::string problem;
    bool keyValue = false;
};

int onKeyValue(void* user, const char* /*section*/, const char* name, const char* value) {
    LineParse& parse = *static_cast<LineParse*>(user);
    parse.keyValue = true;
    const std::string key = name;
    if (key == "quality") {
        // The last quality line counts; a bad one stands for the default.
        const std::optional<Quality> quality = qualityNamed(value);
        parse.settings->quality = quality.value_or(Settings{}.quality);
        if (!quality) {
            parse.problem = "quality \"" + std::string(value) + "\" is not " + QUALITY_CHOICES +
                            "; using " + qualityName(Settings{}.quality);
        }
        return 1;
    }
    parse.problem = "unknown setting \"" + key + "\", ignored";
    return 1;
}

// The options the file is read with, set once: a line that starts with
// spaces is a line of its own (not the continuation of the one above), and
// "#" starts a comment after a value as ";" does.
void configureParser() {
    static bool configured = false;
    if (!configured) {
        ini_allow_multiline = false;
        static char inlineComments[] = ";#";
        ini_inline_comment_prefixes = inlineComments;
        configured = true;
    }
}

std::string trimmedStart(const std::string& line) {
    const size_t start = line.find_first_not_of(" \t\r");
    return start == std::string::npos ? "" : line.substr(start);
}

// The problem of one line of the file, or "" for a good one. Each line goes
// through inih on its own, so that every bad line is named, not just the
// first.
std::string lineProblem(const std::string& line, Settings& settings) {
    const std::string start = trimmedStart(line);
    const bool comment = !start.empty() && (start[0] == '#' || start[0] == ';');
    if (line.size() > MOST_LINE_CHARS) {
        return comment ? ""
                       : "longer than " + std::to_string(MOST_LINE_CHARS) + " characters, ignored";
    }
    LineParse parse{&settings, "", false};
    if (ini_parse_string(line.c_str(), onKeyValue, &parse) != 0) {
        return "not a \"key = value\" line, ignored";
    }
    if (!parse.keyValue && !start.empty() && start[0] == '[') {
        return "the file has no [sections], ignored";
    }
    return parse.problem;
}

bool isControl(unsigned char c) {
    return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7f;
}

}  // namespace

std::string settingsText(const Settings& settings) {
    return std::string(
               "# Vromdash settings: one \"key = value\" per line; \"#\" starts a comment.\n"
               "# A setting that is missing or wrong takes its default (the game says so\n"
               "# on its console); the game never rewrites this file once it exists.\n"
               "\n"
               "# quality: how much work each frame does (default auto).\n"
               "#   auto    high with a graphics card, low on a software renderer\n"
               "#   low     fastest: no multisampling, small reflection and shadow maps,\n"
               "#           the scene drawn at half the window's resolution, scaled up\n"
               "#   medium  no multisampling and a smaller reflection map\n"
               "#   high    everything at full size\n"
               "# `vromdash --quality LEVEL` overrides it for one run.\n"
               "quality = ") +
           qualityName(settings.quality) + "\n";
}

SettingsParse parseSettings(const std::string& text) {
    configureParser();
    SettingsParse parse;
    size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string problem = lineProblem(text.substr(start, end - start), parse.settings);
        if (!problem.empty()) {
            parse.problems.push_back("line " + std::to_string(number) + ": " + problem);
        }
        start = end + 1;
    }
    return parse;
}

std::string settingsDamage(const std::string& text) {
    int line = 1;
    for (const char c : text) {
        if (c == '\0') {
            return "a NUL byte on line " + std::to_string(line);
        }
        if (isControl(static_cast<unsigned char>(c))) {
            return "a control character on line " + std::to_string(line);
        }
        line += c == '\n';
    }
    return "";
}

std::string settingsPath() {
    const std::string folder = configDirectory();
    return folder.empty() ? "" : folder + "/settings";
}

void SettingsFile::load(std::ostream& console) {
    settings = Settings{};
    if (path.empty()) {
        console << "vromdash: no folder for settings (neither XDG_CONFIG_HOME nor HOME is an "
                   "absolute path); using the defaults"
                << std::endl;
        return;
    }
    std::string text, problem;
    const FileRead read = readSmallFile(path, MOST_FILE_BYTES, text, problem);
    if (read == FileRead::Missing) {
        create(console);
        return;
    }
    if (read == FileRead::Failed) {
        console << "vromdash: cannot read the settings in " << path << " (" << problem
                << "); using the defaults" << std::endl;
        return;
    }
    const std::string damage = settingsDamage(text);
    if (!damage.empty()) {
        replaceDamaged(damage, console);
        return;
    }
    const SettingsParse parse = parseSettings(text);
    settings = parse.settings;
    for (const std::string& line : parse.problems) {
        console << "vromdash: " << path << ", " << line << std::endl;
    }
}

// The defaults written where there is no file. The rename never replaces
// one: a file that appeared meanwhile is the player's.
bool SettingsFile::writeDefaults(std::string& problem) const {
    FileOperations neverReplacing = files;
    neverReplacing.rename = files.renameNoReplace;
    return writeFileAtomically(path, settingsText(Settings{}), problem, neverReplacing);
}

void SettingsFile::create(std::ostream& console) {
    std::string problem;
    if (!writeDefaults(problem)) {
        console << "vromdash: cannot write the settings file " << path << " (" << problem
                << "); using the defaults" << std::endl;
    }
}

void SettingsFile::replaceDamaged(const std::string& damage, std::ostream& console) {
    console << "vromdash: the settings file " << path << " is damaged (" << damage << "); ";
    const std::string aside = keepAside(path, files);
    if (aside.empty()) {
        console << "it cannot be moved aside, so it stays as it is; using the defaults"
                << std::endl;
        return;
    }
    std::string problem;
    if (!writeDefaults(problem)) {
        console << "kept as " << aside
                << "; using the defaults (cannot write a new file: " << problem << ")" << std::endl;
        return;
    }
    console << "kept as " << aside << "; a new one has the defaults" << std::endl;
}
