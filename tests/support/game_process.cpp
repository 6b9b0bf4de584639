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

}  // namespace

GameProcess::GameProcess(const std::string& answer, bool withDisplay) {
    outputPath = buildPath("test-scratch/game-output-" + std::to_string(getpid()) + "-" +
                           std::to_string(counter++) + ".txt");
    commandOutput("mkdir -p '" + buildPath("test-scratch") + "'");
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
        if (chdir(VROMDASH_SOURCE_DIR) != 0) {
            _exit(126);
        }
        if (!withDisplay) {
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
        }
        execl(VROMDASH_GAME_BINARY, VROMDASH_GAME_BINARY, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(inputPipe[0]);
    if (!answer.empty()) {
        const ssize_t written = write(inputPipe[1], answer.data(), answer.size());
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

std::string GameProcess::findWindow(double timeoutSeconds) const {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (std::chrono::steady_clock::now() < deadline) {
        std::string id = commandOutput("xdotool search --pid " + std::to_string(pid) +
                                       " --name '^Vromdash$' 2>/dev/null | head -n 1");
        while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) {
            id.pop_back();
        }
        if (!id.empty()) {
            return id;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return "";
}

int GameProcess::waitForExit(double timeoutSeconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            exited = true;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1000;
}

int GameProcess::quitWithEscape(const std::string& window, double timeoutSeconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (std::chrono::steady_clock::now() < deadline) {
        tapKey(window, "Escape");
        const int status = waitForExit(2.0);
        if (status != -1000) {
            return status;
        }
    }
    return -1000;
}

std::string GameProcess::output() const {
    std::ifstream in(outputPath);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
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

void holdKey(const std::string& window, const std::string& key, double seconds) {
    commandOutput("xdotool windowfocus --sync " + window + " 2>/dev/null");
    commandOutput("xdotool keydown " + key);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    commandOutput("xdotool keyup " + key);
}

void tapKey(const std::string& window, const std::string& key) {
    holdKey(window, key, 0.3);
}
