#pragma once
#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace fltest {

struct ProcessResult {
    int exitCode = -1;      // -1 when killed by a signal or timed out
    int signal = 0;
    bool timedOut = false;
    std::string out, err;
    double seconds = 0;
};

struct ProcessOptions {
    std::map<std::string, std::string> env;  // added to (or replacing in) the current environment
    std::string workDir;
    int timeoutMs = 30000;
};

// Runs a program to its end, capturing its output.
ProcessResult RunProcess(const std::string& path, const std::vector<std::string>& args,
                         const ProcessOptions& options = {});

// Starts a program in the background; stdout and stderr go to `outFile` and `errFile` when given.
pid_t StartBackground(const std::string& path, const std::vector<std::string>& args,
                      const ProcessOptions& options = {}, const std::string& outFile = {},
                      const std::string& errFile = {});
void KillAndReap(pid_t pid, int sig = 9);
// A shell command's standard output.
std::string Shell(const std::string& command);

// Waits (polling) until pred() holds or the time runs out.
template <class Pred>
bool WaitUntil(Pred pred, int timeoutMs);

}  // namespace fltest

#include <chrono>
#include <thread>

template <class Pred>
bool fltest::WaitUntil(Pred pred, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return pred();
}
