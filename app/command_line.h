// The game's command line, in the GNU style (glibc's getopt_long): long
// options may be shortened to any unique prefix, take their value as
// --opt=value or --opt value, and "--" ends the options. The options
// answer the full-screen question (a menu start has no console to answer
// it on), record the game, choose the quality for one run, and ask for
// --help or --version. Without options the game asks on the console.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "render/quality.h"

enum class StartAction { Play, ShowHelp, ShowVersion, Refuse };
enum class ScreenChoice { Ask, Windowed, Fullscreen };

struct CommandLine {
    StartAction action = StartAction::Play;
    ScreenChoice screen = ScreenChoice::Ask;
    // Where to record the game; empty: nothing is written.
    std::string recordPath;
    // A recording to watch instead of playing; empty: play.
    std::string watchPath;
    // Start with the sound off (M turns it on).
    bool muted = false;
    // The quality for this run, over the settings file's; none: the file's.
    std::optional<Quality> quality;
    // Why the command line was refused: one line, without the newline.
    std::string problem;
};

// Reads the arguments after the program name. --help and --version win over
// everything else that is valid; the first bad argument refuses the lot.
// The game takes no operands: one (also after "--") is refused.
CommandLine parseCommandLine(int argc, const char* const* argv);

// The version this build reports, e.g. "1.0.0".
std::string gameVersion();

void printUsage(std::ostream& out);
void printVersion(std::ostream& out);

// What a command line that is not for playing prints; returns the exit
// status (0 for help and version, 2 for a refusal).
int answerWithoutPlaying(const CommandLine& commandLine, std::ostream& out);
