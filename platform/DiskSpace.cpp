#include "platform/DiskSpace.h"

#include <sys/statvfs.h>

#include <mutex>

namespace fl {

namespace {
std::mutex g_cs;
std::function<long long(const std::string&)> g_probe;
}  // namespace

long long FreeBytes(const std::string& folder) {
    {
        std::lock_guard lock(g_cs);
        if (g_probe) return g_probe(folder);
    }
    struct statvfs st {};
    if (statvfs(folder.c_str(), &st) != 0) return -1;
    return (long long)st.f_bavail * (long long)st.f_frsize;
}

void SetFreeSpaceProbe(std::function<long long(const std::string&)> probe) {
    std::lock_guard lock(g_cs);
    g_probe = std::move(probe);
}

}  // namespace fl
