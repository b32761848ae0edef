#include "platform/ProcessStart.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace fl {

int StartProgram(const std::string& path, const std::vector<std::string>& args, const std::string& workDir) {
    // Everything the child needs is prepared before fork: after fork only
    // async-signal-safe calls are allowed in a threaded process.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const char* dir = workDir.empty() ? nullptr : workDir.c_str();

    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return errno;

    pid_t middle = fork();
    if (middle < 0) {
        int err = errno;
        close(report[0]);
        close(report[1]);
        return err;
    }
    if (middle == 0) {
        // Double fork: the program is re-parented to init and never becomes our zombie.
        setsid();
        pid_t child = fork();
        if (child == 0) {
            int err = 0;
            if (dir && chdir(dir) != 0) err = errno;
            if (!err) {
                execv(argv[0], argv.data());
                err = errno;
            }
            ssize_t ignored = write(report[1], &err, sizeof err);
            (void)ignored;
            _exit(127);
        }
        if (child < 0) {
            int err = errno;
            ssize_t ignored = write(report[1], &err, sizeof err);
            (void)ignored;
        }
        _exit(0);
    }
    close(report[1]);
    int status = 0;
    while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {}
    int err = 0;
    ssize_t n;
    do {
        n = read(report[0], &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    close(report[0]);
    return n == ssize_t(sizeof err) ? err : 0;
}

std::string FindOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path) return {};
    std::string all = path;
    size_t pos = 0;
    while (pos <= all.size()) {
        size_t end = all.find(':', pos);
        if (end == std::string::npos) end = all.size();
        std::string dir = all.substr(pos, end - pos);
        if (!dir.empty()) {
            std::string candidate = dir + "/" + name;
            if (access(candidate.c_str(), X_OK) == 0) return candidate;
        }
        pos = end + 1;
    }
    return {};
}

int ShellOpenProgram(const std::string& path, const std::string& argText, std::string* why) {
    auto say = [why](const std::string& s) { if (why) *why = s; };
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        say("cannot open " + path + ": " + std::strerror(err));
        return err;
    }
    char magic[4] = {};
    ssize_t n = read(fd, magic, sizeof magic);
    close(fd);
    std::vector<std::string> args;
    if (!argText.empty()) args.push_back(argText);

    bool elf = n >= 4 && std::memcmp(magic, "\x7f" "ELF", 4) == 0;
    bool script = n >= 2 && magic[0] == '#' && magic[1] == '!';
    if (elf || script) {
        // Downloaded and unpacked files arrive without the run permission.
        struct stat st {};
        if (stat(path.c_str(), &st) == 0 && (st.st_mode & S_IXUSR) == 0)
            chmod(path.c_str(), st.st_mode | S_IXUSR | S_IXGRP | S_IXOTH);
        int err = StartProgram(path, args);
        if (err) say("cannot start " + path + ": " + std::strerror(err));
        return err;
    }
    if (n >= 2 && magic[0] == 'M' && magic[1] == 'Z') {
        std::string wine = FindOnPath("wine");
        if (wine.empty()) {
            say(path + " is a Windows program and wine is not on the PATH");
            return ENOEXEC;
        }
        args.insert(args.begin(), path);
        int err = StartProgram(wine, args);
        if (err) say("cannot start wine: " + std::string(std::strerror(err)));
        return err;
    }
    say(path + " is not a program this system can start");
    return ENOEXEC;
}

int OpenInBrowser(const std::string& url) {
    const char* custom = std::getenv("FLAUNCHER_BROWSER");
    std::string browser = (custom && *custom) ? custom : FindOnPath("xdg-open");
    if (browser.empty()) return ENOENT;
    return StartProgram(browser, {url});
}

}  // namespace fl
