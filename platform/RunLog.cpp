#include "platform/RunLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <vector>

namespace fl {

namespace {

std::mutex g_cs;
int g_fd = -1;
std::vector<std::string> g_secrets;

// Where a log stands among the runs: its start time, then its number within
// that second ("-1" is the second run of the second, and sorts after the first).
std::pair<std::string, long> LogOrder(const std::string& name, const std::string& prefix) {
    const std::string rest = name.substr(prefix.size() + 1, name.size() - prefix.size() - 1 - 4);  // no ".log"
    const size_t dash = rest.find('-', rest.find('-') + 1);
    if (dash == std::string::npos) return {rest, 0};
    return {rest.substr(0, dash), std::strtol(rest.c_str() + dash + 1, nullptr, 10)};
}

// Older logs of the same kind beyond the newest `keep` go.
void Prune(const std::string& folder, const std::string& prefix, int keep) {
    std::vector<std::string> logs;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(prefix + "-", 0) == 0 && name.size() > prefix.size() + 5 && name.ends_with(".log"))
            logs.push_back(name);
    }
    std::sort(logs.begin(), logs.end(), [&](const std::string& a, const std::string& b) {
        return LogOrder(a, prefix) < LogOrder(b, prefix);
    });
    for (size_t i = 0; i + size_t(keep) < logs.size(); ++i) std::filesystem::remove(folder + "/" + logs[i], ec);
}

}  // namespace

bool OpenRunLog(const std::string& dataFolder, const std::string& prefix) {
    CloseRunLog();
    const std::string folder = dataFolder + "/logs";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    // Two runs in one second get their own files.
    std::string path;
    int fd = -1;
    for (int n = 0; n < 100 && fd < 0; ++n) {
        path = folder + "/" + prefix + "-" + stamp + (n ? "-" + std::to_string(n) : "") + ".log";
        fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
    }
    if (fd < 0) return false;
    {
        std::lock_guard lock(g_cs);
        g_fd = fd;
    }
    Prune(folder, prefix, kKeptRunLogs);
    return true;
}

void CloseRunLog() {
    std::lock_guard lock(g_cs);
    if (g_fd >= 0) close(g_fd);
    g_fd = -1;
}

void AddLogSecret(const std::string& value) {
    // One letter would mask half the log; such a value says nothing anyway.
    if (value.size() < 2) return;
    std::lock_guard lock(g_cs);
    if (std::find(g_secrets.begin(), g_secrets.end(), value) == g_secrets.end()) g_secrets.push_back(value);
    // Longest first: a value inside another is masked with it.
    std::sort(g_secrets.begin(), g_secrets.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
}

void WriteRunLog(const std::string& lineIn) {
    std::lock_guard lock(g_cs);
    if (g_fd < 0) return;
    std::string line = lineIn;
    for (const auto& secret : g_secrets)
        for (size_t at = line.find(secret); at != std::string::npos; at = line.find(secret, at + 3))
            line.replace(at, secret.size(), "***");
    char stamp[16];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%H:%M:%S ", &local);
    line = stamp + line;
    if (line.back() != '\n') line += '\n';
    ssize_t ignored = write(g_fd, line.data(), line.size());
    (void)ignored;
}

}  // namespace fl
