// Runs the real game binary as a child process, for end-to-end tests that
// talk to it through its console and through X key events (xdotool).
//
// Every wait here waits for an event (a window, an exit, a line of output)
// up to a generous deadline, so that a machine drawing two frames a second
// passes too, and ends as soon as the game has exited.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// How to start the game: by default the built binary, from the repository
// root, with no arguments.
struct GameStart {
    // Written to the game's standard input, which is then closed.
    std::string answer;
    // Without it the game runs with DISPLAY unset.
    bool withDisplay = true;
    std::vector<std::string> arguments;
    // Empty: the game binary of this build.
    std::string program;
    // Empty: the repository root.
    std::string workingDirectory;
    // The game's XDG_CONFIG_HOME. Empty: a new folder for this start under
    // the build tree, so that no test reads or writes the player's settings.
    // The game's XDG_DATA_HOME is the test's own when it set one, else a
    // folder in the configuration folder.
    std::string configHome;
};

class GameProcess {
public:
    // Starts the game with its standard output in a file.
    explicit GameProcess(const GameStart& start);
    GameProcess(const std::string& answer, bool withDisplay = true)
        : GameProcess(GameStart{answer, withDisplay, {}, "", "", ""}) {}
    ~GameProcess();
    GameProcess(const GameProcess&) = delete;
    GameProcess& operator=(const GameProcess&) = delete;

    // The X window id of the game's window once it is on the screen, or ""
    // if none appeared in time or the game exited first.
    std::string findWindow(double timeoutSeconds = 120.0);
    // False once the game has exited (its status is then kept).
    bool running();
    // Exit status, or -1000 if it did not end in time (it is then killed).
    int waitForExit(double timeoutSeconds);
    std::string output() const;
    // The output, then whether and how the game ended: for failure messages.
    std::string report();
    // Taps Escape until the game ends (the first taps may come before its
    // frame loop runs); returns its exit status as waitForExit does.
    int quitWithEscape(const std::string& window, double timeoutSeconds = 120.0);

    pid_t pid = -1;
    std::string outputPath;
    bool exited = false;
    // As waitForExit returns it, once exited.
    int exitStatus = -1000;
};

// The lines of `text` that start with `prefix`, in order.
std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix);
// Runs a shell command and returns what it printed on standard output.
std::string commandOutput(const std::string& command);
// Gives the window the keyboard focus and waits until it has it; false if it
// never does (e.g. the window is gone).
bool focusWindow(const std::string& window);
// Presses or releases a key in the focused window (XTEST, as a real keyboard
// does); false if the window could not be given the focus.
bool pressKey(const std::string& window, const std::string& key);
bool releaseKey(const std::string& window, const std::string& key);
// Holds a key down for the given time in the window, then lets it go.
bool holdKey(const std::string& window, const std::string& key, double seconds);
bool tapKey(const std::string& window, const std::string& key);
// Taps X until the game prints one more "Position: " line than it had
// (frames are slow on a software renderer, and the first ones wait for the
// level), or the game exits or a generous deadline passes.
bool answersX(GameProcess& game, const std::string& window);
