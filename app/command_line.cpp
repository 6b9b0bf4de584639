#include "app/command_line.h"

#include <ostream>

#ifndef VROMDASH_VERSION
#define VROMDASH_VERSION "unknown"
#endif

namespace {

CommandLine refuse(const std::string& problem) {
    CommandLine refused;
    refused.action = StartAction::Refuse;
    refused.problem = problem;
    return refused;
}

// "--name" alone (its file follows) or "--name=FILE".
bool isFileOption(const std::string& argument, const std::string& name) {
    return argument == name || argument.rfind(name + "=", 0) == 0;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
    CommandLine commandLine;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i] ? argv[i] : "";
        ScreenChoice screen = ScreenChoice::Ask;
        if (argument == "--help" || argument == "-h") {
            commandLine.action = StartAction::ShowHelp;
        } else if (argument == "--version") {
            if (commandLine.action != StartAction::ShowHelp) {
                commandLine.action = StartAction::ShowVersion;
            }
        } else if (argument == "--windowed") {
            screen = ScreenChoice::Windowed;
        } else if (argument == "--fullscreen") {
            screen = ScreenChoice::Fullscreen;
        } else if (argument == "--mute") {
            commandLine.muted = true;
        } else if (isFileOption(argument, "--record") || isFileOption(argument, "--watch")) {
            const std::string name = argument.substr(0, argument.find('='));
            const bool joined = argument.size() > name.size();
            std::string& path = name == "--record" ? commandLine.recordPath : commandLine.watchPath;
            path = joined ? argument.substr(name.size() + 1)
                          : (i + 1 < argc && argv[i + 1] ? argv[++i] : "");
            if (path.empty()) {
                return refuse("vromdash: " + name + " needs a file name");
            }
        } else if (argument.rfind("-", 0) == 0) {
            return refuse("vromdash: unknown option '" + argument + "'");
        } else {
            return refuse("vromdash: unexpected argument '" + argument + "'");
        }
        if (!commandLine.watchPath.empty() && !commandLine.recordPath.empty()) {
            return refuse("vromdash: --watch and --record exclude each other");
        }
        // Two different answers to one question: refuse rather than guess.
        if (screen != ScreenChoice::Ask) {
            if (commandLine.screen != ScreenChoice::Ask && commandLine.screen != screen) {
                return refuse("vromdash: --windowed and --fullscreen exclude each other");
            }
            commandLine.screen = screen;
        }
    }
    return commandLine;
}

void printUsage(std::ostream& out) {
    out << "Usage: vromdash [--windowed | --fullscreen] [--record FILE]\n"
           "       vromdash --watch FILE\n"
           "       vromdash --help | --version\n"
           "Drive a car along a road in the sky and push its 18 crates over the edge.\n"
           "\n"
           "  --windowed    play in a 1024 x 768 window without asking\n"
           "  --fullscreen  play full screen without asking\n"
           "  --record FILE write the game's frame times and input to FILE as it runs,\n"
           "                for vromdash-replay (a bug report can carry it)\n"
           "  --watch FILE  watch a recording at its own pace (Space pauses, . steps,\n"
           "                + and - change the speed, C flies a camera, Escape ends)\n"
           "  --mute        start with the sound off (M turns it on and off)\n"
           "  -h, --help    show this help and exit\n"
           "  --version     show the version and exit\n"
           "\n"
           "Without an option the game asks on the console whether to play full screen.\n"
           "It reads its assets from Vrom2/ in the working directory.\n"
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
