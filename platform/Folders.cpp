#include "platform/Folders.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "platform/ModulePath.h"

namespace fl {

namespace {
std::function<void()> g_noHome;
}

void SetNoHomeHandler(std::function<void()> handler) { g_noHome = std::move(handler); }

std::string GetModuleFolder() {
    std::string path = GetModulePath();
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string GetDataFolder() {
    std::string base;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        base = std::string(home) + "/.local/share";
    } else {
        if (g_noHome) g_noHome();
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base + "/fenwazelt";
}

std::string GetCurrentDirectory() { return GetCurrentDir(); }

bool IsFolder(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathFileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

std::string ParentOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool EnsureFolder(const std::string& pathIn) {
    if (pathIn.size() <= 1) return false;
    std::string path = pathIn;
    if (path.back() == '/') path.pop_back();
    if (IsFolder(path)) return true;
    if (path.size() <= 3) return false;
    std::string parent = ParentOf(path);
    if (parent.empty()) return false;
    if (!EnsureFolder(parent)) return false;
    // Two download workers may create the same folder at once: one that
    // appeared in between is as good as one we made.
    return mkdir(path.c_str(), 0755) == 0 || (errno == EEXIST && IsFolder(path));
}

}  // namespace fl
