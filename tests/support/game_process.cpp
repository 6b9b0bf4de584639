#include "tests/support/game_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/gl_context.h"

namespace {

int counter = 0;

using Clock = std::chrono::steady_clock;

Clock::time_point after(double seconds) {
    return Clock::now() +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

std::string firstLine(std::string text) {
    const size_t end = text.find('\n');
    if (end != std::string::npos) {
        text.erase(end);
    }
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

// xdotool under a time limit: a wedged X server fails the step, not the
// whole test run.
std::string xdotool(const std::string& arguments) {
    return commandOutput("timeout -k 5 30 xdotool " + arguments + " 2>/dev/null");
}

// Whether the window exists and is mapped on the screen.
bool windowViewable(const std::string& window) {
    return commandOutput("timeout -k 5 30 xwininfo -id '" + window +
                         "' 2>/dev/null | grep -c 'Map State: IsViewable'") == "1\n";
}

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

GameProcess::GameProcess(const GameStart& start) {
    outputPath = buildPath("test-scratch/game-output-" + std::to_string(getpid()) + "-" +
                           std::to_string(counter++) + ".txt");
    commandOutput("mkdir -p '" + buildPath("test-scratch") + "'");
    const std::string program = start.program.empty() ? VROMDASH_GAME_BINARY : start.program;
    const std::string directory =
        start.workingDirectory.empty() ? VROMDASH_SOURCE_DIR : start.workingDirectory;
    const std::string configHome =
        start.configHome.empty()
            ? buildPath("test-scratch/game-config-" + std::to_string(getpid()) + "-" +
                        std::to_string(counter - 1))
            : start.configHome;
    if (start.configHome.empty()) {
        commandOutput("rm -rf '" + configHome + "'");  // left by an earlier run
    }
    // Best times go beside the settings unless the test chose a data folder
    // itself: no test reads or writes the player's kept data.
    const char* chosenData = std::getenv("XDG_DATA_HOME");
    const std::string dataHome = chosenData && *chosenData ? "" : configHome + "/data";
    // The argument list is made before the fork: the child only calls
    // what is safe there.
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : start.arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    int inputPipe[2];
    if (pipe(inputPipe) != 0) {
        return;
    }
    pid = fork();
    if (pid == 0) {
        dup2(inputPipe[0], STDIN_FILENO);
        close(inputPipe[0]);
        close(inputPipe[1]);
        const int out = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        if (chdir(directory.c_str()) != 0) {
            _exit(126);
        }
        setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
        if (!dataHome.empty()) {
            setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
        }
        if (!start.withDisplay) {
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(inputPipe[0]);
    if (!start.answer.empty()) {
        const ssize_t written = write(inputPipe[1], start.answer.data(), start.answer.size());
        (void)written;
    }
    close(inputPipe[1]);
}

GameProcess::~GameProcess() {
    if (pid > 0 && !exited) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

std::string GameProcess::findWindow(double timeoutSeconds) {
    const auto deadline = after(timeoutSeconds);
    while (running()) {
        // All conditions, not any (xdotool's default): this game's window,
        // and only once it is mapped, as focus and key events need it.
        const std::string id = firstLine(xdotool("search --all --onlyvisible --pid " +
                                                 std::to_string(pid) + " --name '^Vromdash$'"));
        if (!id.empty()) {
            return id;
        }
        if (Clock::now() >= deadline) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return "";
}

bool GameProcess::running() {
    if (pid <= 0) {
        return false;
    }
    if (exited) {
        return false;
    }
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) != pid) {
        return true;
    }
    exited = true;
    exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
}

int GameProcess::waitForExit(double timeoutSeconds) {
    const auto deadline = after(timeoutSeconds);
    while (running()) {
        if (Clock::now() >= deadline) {
            return -1000;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return exitStatus;
}

int GameProcess::quitWithEscape(const std::string& window, double timeoutSeconds) {
    const auto deadline = after(timeoutSeconds);
    while (running() && Clock::now() < deadline) {
        tapKey(window, "Escape");
        // Closing takes a while on a slow machine; tap again only if the
        // game is still there after that.
        waitForExit(10.0);
    }
    return running() ? -1000 : exitStatus;
}

std::string GameProcess::report() {
    std::string text = "--- game output ---\n" + output() + "\n--- ";
    if (pid <= 0) {
        return text + "the game could not be started ---";
    }
    if (!running()) {
        return text + "the game exited with status " + std::to_string(exitStatus) +
               (exitStatus >= 128 ? " (signal " + std::to_string(exitStatus - 128) + ")" : "") +
               " ---";
    }
    // Where a game that is still there is stuck, and what windows it has.
    const std::string proc = "/proc/" + std::to_string(pid);
    const std::string stat = fileText(proc + "/stat");
    const size_t state = stat.rfind(')');
    text += "the game is still running (pid " + std::to_string(pid);
    if (state != std::string::npos && state + 2 < stat.size()) {
        text += ", state " + stat.substr(state + 2, 1);
    }
    text += ", in " + firstLine(fileText(proc + "/wchan")) + "); its windows: [" +
            firstLine(commandOutput("timeout -k 5 30 xdotool search --pid " + std::to_string(pid) +
                                    " 2>&1 | tr '\\n' ' '")) +
            "] ---";
    return text;
}

std::string GameProcess::output() const {
    return fileText(outputPath);
}

std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::string commandOutput(const std::string& command) {
    std::string result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        return result;
    }
    char buffer[256];
    while (fgets(buffer, sizeof(buffer), pipe)) {
        result += buffer;
    }
    pclose(pipe);
    return result;
}

bool focusWindow(const std::string& window) {
    // xdotool's own --sync can wait for ever; this wait has a deadline and
    // asks again, in case the focus went elsewhere meanwhile.
    const auto deadline = after(20.0);
    while (true) {
        xdotool("windowfocus " + window);
        if (firstLine(xdotool("getwindowfocus")) == window) {
            return true;
        }
        // A window that is gone or no longer mapped never takes the focus:
        // the game closed it (on Escape, say), so stop waiting.
        if (Clock::now() >= deadline || !windowViewable(window)) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

bool pressKey(const std::string& window, const std::string& key) {
    if (!focusWindow(window)) {
        return false;
    }
    xdotool("keydown " + key);
    return true;
}

bool releaseKey(const std::string& window, const std::string& key) {
    const bool focused = focusWindow(window);
    // Let go even so: the server keeps a key down until it is released,
    // and later tests share the server.
    xdotool("keyup " + key);
    return focused;
}

bool holdKey(const std::string& window, const std::string& key, double seconds) {
    const bool pressed = pressKey(window, key);
    if (pressed) {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    }
    return releaseKey(window, key) && pressed;
}

bool tapKey(const std::string& window, const std::string& key) {
    return holdKey(window, key, 0.3);
}

bool answersX(GameProcess& game, const std::string& window) {
    const size_t known = linesStartingWith(game.output(), "Position: ").size();
    const auto answered = [&] {
        return linesStartingWith(game.output(), "Position: ").size() > known;
    };
    const auto deadline = after(120.0);
    while (game.running() && Clock::now() < deadline) {
        tapKey(window, "x");
        for (int wait = 0; wait < 50 && game.running(); ++wait) {
            if (answered()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    // A line written just before an exit counts too.
    return answered();
}
