#include "app/command_line.h"

#include <getopt.h>

#include <ostream>
#include <vector>

#ifndef VROMDASH_VERSION
#define VROMDASH_VERSION "unknown"
#endif

namespace {

// What getopt_long hands back for each option. An option with a short form
// uses its letter; the others count up from past every character.
enum OptionCode : int {
    OPERAND = 1,  // an argument that is not an option
    HELP = 'h',
    VERSION = 256,
    WINDOWED,
    FULLSCREEN,
    RECORD,
    QUALITY,
    WATCH,
    MUTE,
};

// A new option is a code above, a row here, a case in applyOption (and in
// missingValue when it takes one) and a line in printUsage.
const option LONG_OPTIONS[] = {
    {"help", no_argument, nullptr, HELP},
    {"version", no_argument, nullptr, VERSION},
    {"windowed", no_argument, nullptr, WINDOWED},
    {"fullscreen", no_argument, nullptr, FULLSCREEN},
    {"record", required_argument, nullptr, RECORD},
    {"quality", required_argument, nullptr, QUALITY},
    {"watch", required_argument, nullptr, WATCH},
    {"mute", no_argument, nullptr, MUTE},
    {nullptr, 0, nullptr, 0},
};
// "-": operands come back in their place (as OPERAND), so the first bad
// argument is the one refused; ":": a missing value comes back as ':'.
const char SHORT_OPTIONS[] = "-:h";

CommandLine refuse(const std::string& problem) {
    CommandLine refused;
    refused.action = StartAction::Refuse;
    refused.problem = problem;
    return refused;
}

const char* longName(int code) {
    for (const option& row : LONG_OPTIONS) {
        if (row.name && row.val == code) {
            return row.name;
        }
    }
    return "";
}

std::string missingValue(int code) {
    if (code == QUALITY) {
        return std::string("vromdash: --quality needs a level: ") + QUALITY_CHOICES;
    }
    return std::string("vromdash: --") + longName(code) + " needs a file name";
}

// Two different answers to one question: refuse rather than guess.
bool answerScreen(ScreenChoice screen, CommandLine& commandLine, std::string& problem) {
    if (commandLine.screen != ScreenChoice::Ask && commandLine.screen != screen) {
        problem = "vromdash: --windowed and --fullscreen exclude each other";
        return false;
    }
    commandLine.screen = screen;
    return true;
}

// Takes one option and its value (null for options without one); false,
// with the reason, when it is refused.
bool applyOption(int code, const char* value, CommandLine& commandLine, std::string& problem) {
    switch (code) {
        case HELP:
            commandLine.action = StartAction::ShowHelp;
            return true;
        case VERSION:
            if (commandLine.action != StartAction::ShowHelp) {
                commandLine.action = StartAction::ShowVersion;
            }
            return true;
        case WINDOWED:
            return answerScreen(ScreenChoice::Windowed, commandLine, problem);
        case FULLSCREEN:
            return answerScreen(ScreenChoice::Fullscreen, commandLine, problem);
        case RECORD:
        case WATCH:
            (code == RECORD ? commandLine.recordPath : commandLine.watchPath) = value;
            if (*value == '\0') {
                problem = missingValue(code);
            } else if (!commandLine.recordPath.empty() && !commandLine.watchPath.empty()) {
                problem = "vromdash: --watch and --record exclude each other";
            }
            return problem.empty();
        case MUTE:
            commandLine.muted = true;
            return true;
        case QUALITY:
            commandLine.quality = qualityNamed(value);
            if (!commandLine.quality) {
                problem = std::string("vromdash: --quality takes ") + QUALITY_CHOICES + ", not '" +
                          value + "'";
            }
            return problem.empty();
        case OPERAND:
            problem = std::string("vromdash: unexpected argument '") + value + "'";
            return false;
        default:
            problem = "vromdash: unknown option";
            return false;
    }
}

// The long options that "--prefix" could stand for, as "--a, --b"; getopt_long
// refuses an ambiguous prefix the way it refuses an unknown option.
std::string optionsStartingWith(const std::string& argument) {
    std::string matches;
    if (argument.size() <= 2 || argument.compare(0, 2, "--") != 0) {
        return matches;
    }
    const std::string prefix = argument.substr(2);
    for (const option& row : LONG_OPTIONS) {
        if (row.name && std::string(row.name).compare(0, prefix.size(), prefix) == 0) {
            matches += (matches.empty() ? "--" : ", --") + std::string(row.name);
        }
    }
    return matches;
}

// Why getopt_long refused `argument`: `code` is ':' for a missing value,
// else '?'; `optionCode` is the option it was about, 0 for an unknown long
// option, the letter for an unknown short one.
std::string refusal(int code, int optionCode, const std::string& argument) {
    if (code == ':') {
        return missingValue(optionCode);
    }
    if (optionCode == 0) {
        const std::string name = argument.substr(0, argument.find('='));
        const std::string matches = optionsStartingWith(name);
        if (matches.find(',') != std::string::npos) {
            return "vromdash: option '" + name + "' is ambiguous (" + matches + ")";
        }
        return "vromdash: unknown option '" + name + "'";
    }
    // A known option refused: a value given to one that takes none.
    if (*longName(optionCode) != '\0') {
        return std::string("vromdash: --") + longName(optionCode) + " takes no value";
    }
    return std::string("vromdash: unknown option '-") + static_cast<char>(optionCode) + "'";
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
    // getopt_long wants writable pointers; it gets its own copies.
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.emplace_back(argv[i] ? argv[i] : "");
    }
    std::vector<char*> pointers;
    for (std::string& argument : arguments) {
        pointers.push_back(argument.data());
    }
    pointers.push_back(nullptr);

    CommandLine commandLine;
    optind = 0;  // a fresh scan, however often this is called
    opterr = 0;  // the messages are ours
    for (;;) {
        const int code = getopt_long(argc, pointers.data(), SHORT_OPTIONS, LONG_OPTIONS, nullptr);
        if (code == -1) {
            break;
        }
        std::string problem;
        if (code == '?' || code == ':') {
            return refuse(refusal(code, optopt, pointers[optind - 1]));
        }
        if (!applyOption(code, optarg, commandLine, problem)) {
            return refuse(problem);
        }
    }
    // Whatever follows "--" is an operand, and the game takes none.
    if (optind < argc) {
        return refuse(std::string("vromdash: unexpected argument '") + pointers[optind] + "'");
    }
    return commandLine;
}

void printUsage(std::ostream& out) {
    out << "Usage: vromdash [--windowed | --fullscreen] [--quality LEVEL] [--record FILE]\n"
           "               [--mute]\n"
           "       vromdash --watch FILE [--quality LEVEL]\n"
           "       vromdash --help | --version\n"
           "Drive a car along a road in the sky and push its 18 crates over the edge.\n"
           "\n"
           "  --windowed       play in a 1024 x 768 window without asking\n"
           "  --fullscreen     play full screen without asking\n"
           "  --quality LEVEL  auto, low, medium or high for this run, over the settings\n"
           "                   file (auto: low on a software renderer, else high)\n"
           "  --record FILE    write the game's frame times and input to FILE as it runs,\n"
           "                   for vromdash-replay (a bug report can carry it)\n"
           "  --watch FILE     watch a recording at its own pace (Space pauses, . steps,\n"
           "                   + and - change the speed, C flies a camera, Escape ends)\n"
           "  --mute           start with the sound off (M turns it on and off)\n"
           "  -h, --help       show this help and exit\n"
           "  --version        show the version and exit\n"
           "\n"
           "Long options may be shortened to a unique prefix, as --win for --windowed.\n"
           "Without an option the game asks on the console whether to play full screen.\n"
           "It reads its assets from Vrom2/ in the working directory, and its settings\n"
           "from $XDG_CONFIG_HOME/vromdash/settings (~/.config/vromdash/settings).\n"
        << std::flush;
}

std::string gameVersion() {
    return VROMDASH_VERSION;
}

void printVersion(std::ostream& out) {
    out << "vromdash " << gameVersion() << std::endl;
}

int answerWithoutPlaying(const CommandLine& commandLine, std::ostream& out) {
    switch (commandLine.action) {
        case StartAction::ShowHelp:
            printUsage(out);
            return 0;
        case StartAction::ShowVersion:
            printVersion(out);
            return 0;
        case StartAction::Refuse:
            out << commandLine.problem << "\n";
            printUsage(out);
            return 2;
        case StartAction::Play:
            break;
    }
    return 0;
}
