#include "ui/CacheFiles.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/TextCodec.h"
#include "platform/Trace.h"

namespace fs = std::filesystem;

namespace fl {

void EmptyFolder(const std::string& folder) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        OutputDebugStringW(it->path().string() + "\n");
        std::error_code ignored;
        fs::remove_all(it->path(), ignored);
    }
}

void RemoveFolder(const std::string& folder) {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

void CleanFlashFolders(const std::string& folder, const std::string& host) {
    if (host.empty()) return;
    const std::string wanted = ToUpperAscii(host);
    std::error_code ec;
    std::vector<fs::path> subfolders;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code e2;
        if (it->is_directory(e2) && !it->is_symlink(e2)) subfolders.push_back(it->path());
    }
    for (const auto& sub : subfolders) {
        if (ToUpperAscii(sub.filename().string()) == wanted)
            RemoveFolder(sub.string());
        else
            CleanFlashFolders(sub.string(), host);
    }
}

std::string GetFlashDataFolder() {
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.macromedia/Flash_Player";
}

}  // namespace fl
