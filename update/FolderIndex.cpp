#include "update/FolderIndex.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace fl {

CFolderIndex::CFolderIndex(const std::string& root)
    : m_rootFd(open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}

CFolderIndex::~CFolderIndex() {
    if (m_rootFd >= 0) close(m_rootFd);
}

bool CFolderIndex::Exists(std::string_view relative) {
    if (m_rootFd < 0 || relative.empty()) return false;
    const size_t slash = relative.rfind('/');
    const std::string folder(slash == std::string_view::npos ? std::string_view(".") : relative.substr(0, slash));
    const std::string leaf(slash == std::string_view::npos ? relative : relative.substr(slash + 1));
    auto it = m_folders.find(folder);
    if (it == m_folders.end()) {
        it = m_folders.emplace(folder, std::unordered_set<std::string>()).first;
        // A folder that cannot be read holds nothing we could use.
        const int fd = openat(m_rootFd, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (DIR* dir = fd >= 0 ? fdopendir(fd) : nullptr) {
            while (const dirent* e = readdir(dir)) it->second.emplace(e->d_name);
            closedir(dir);
        } else if (fd >= 0) {
            close(fd);
        }
    }
    return it->second.count(leaf) != 0;
}

}  // namespace fl
