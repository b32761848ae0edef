#include "platform/ModulePath.h"

#include <unistd.h>

#include <climits>

namespace fl {

std::string GetModulePath() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    return std::string(buf, size_t(n));
}

std::string GetCurrentDir() {
    char buf[PATH_MAX];
    if (!getcwd(buf, sizeof buf)) return {};
    return buf;
}

}  // namespace fl
