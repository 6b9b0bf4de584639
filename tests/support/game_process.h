// Runs the real game binary as a child process, for end-to-end tests that
// talk to it through its console and through X key events (xdotool).
#pragma once

#include <sys/types.h>

#include <string>

class GameProcess {
public:
    // Starts the game from the repository root with its standard output in a
    // file; `answer` is written to its standard input, which is then closed.
    // Without a display variable the game runs with DISPLAY unset.
    GameProcess(const std::string& answer, bool withDisplay = true);
    ~GameProcess();
    GameProcess(const GameProcess&) = delete;
    GameProcess& operator=(const GameProcess&) = delete;

    // The X window id of the game's window, or "" if none appeared in time.
    std::string findWindow(double timeoutSeconds = 20.0) const;
    // Exit status, or -1000 if it did not end in time (it is then killed).
    int waitForExit(double timeoutSeconds);
    std::string output() const;
    // Taps Escape until the game ends (the first taps may come before its
    // frame loop runs); returns its exit status as waitForExit does.
    int quitWithEscape(const std::string& window, double timeoutSeconds = 30.0);

    pid_t pid = -1;
    std::string outputPath;
    bool exited = false;
};

// Runs a shell command and returns what it printed on standard output.
std::string commandOutput(const std::string& command);
// Holds a key down for the given time in the window, then lets it go.
void holdKey(const std::string& window, const std::string& key, double seconds);
void tapKey(const std::string& window, const std::string& key);
