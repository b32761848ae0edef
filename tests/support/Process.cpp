#include "tests/support/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <chrono>
#include <cstdlib>

namespace fltest {

namespace {

std::vector<std::string> BuildEnv(const std::map<std::string, std::string>& extra) {
    std::map<std::string, std::string> all;
    for (char** e = environ; *e; ++e) {
        std::string kv = *e;
        size_t eq = kv.find('=');
        if (eq != std::string::npos) all[kv.substr(0, eq)] = kv.substr(eq + 1);
    }
    for (const auto& [k, v] : extra) all[k] = v;
    // The launcher's lock is one per user: programs of tests that run side by
    // side share it only when they share a data folder, as on a player's machine.
    if (extra.count("XDG_DATA_HOME") && !extra.count("XDG_RUNTIME_DIR")) {
        const std::string run = extra.at("XDG_DATA_HOME") + "/.run";
        mkdir(run.c_str(), 0700);
        all["XDG_RUNTIME_DIR"] = run;
    }
    std::vector<std::string> out;
    for (const auto& [k, v] : all) out.push_back(k + "=" + v);
    return out;
}

pid_t Spawn(const std::string& path, const std::vector<std::string>& args, const ProcessOptions& options, int outFd,
            int errFd) {
    std::vector<std::string> envStrings = BuildEnv(options.env);
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0) _exit(126);
        int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        if (outFd >= 0) dup2(outFd, 1);
        if (errFd >= 0) dup2(errFd, 2);
        execve(path.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    return pid;
}

}  // namespace

ProcessResult RunProcess(const std::string& path, const std::vector<std::string>& args,
                         const ProcessOptions& options) {
    ProcessResult r;
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return r;
    auto start = std::chrono::steady_clock::now();
    pid_t pid = Spawn(path, args, options, out[1], err[1]);
    close(out[1]);
    close(err[1]);
    const auto deadline = start + std::chrono::milliseconds(options.timeoutMs);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    char buf[4096];
    while (open > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            r.timedOut = true;
            kill(-pid, SIGKILL);
            kill(pid, SIGKILL);
            break;
        }
        int n = poll(fds, 2, int(left.count()));
        if (n < 0 && errno == EINTR) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            ssize_t got = read(fds[i].fd, buf, sizeof buf);
            if (got > 0) {
                (i == 0 ? r.out : r.err).append(buf, size_t(got));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (auto& f : fds)
        if (f.fd >= 0) close(f.fd);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    return r;
}

pid_t StartBackground(const std::string& path, const std::vector<std::string>& args, const ProcessOptions& options,
                      const std::string& outFile, const std::string& errFile) {
    int fd = -1, efd = -1;
    if (!outFile.empty()) fd = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (!errFile.empty()) efd = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pid_t pid = Spawn(path, args, options, fd, efd);
    if (fd >= 0) close(fd);
    if (efd >= 0) close(efd);
    return pid;
}

void KillAndReap(pid_t pid, int sig) {
    if (pid <= 0) return;
    kill(pid, sig);
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
}

std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

}  // namespace fltest
