#pragma once
// Whether files exist below a folder, for many names at once: each folder is
// read once instead of one path lookup per name (a list of 100,000 files).
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace fl {

class CFolderIndex {
public:
    explicit CFolderIndex(const std::string& root);
    ~CFolderIndex();
    CFolderIndex(const CFolderIndex&) = delete;
    CFolderIndex& operator=(const CFolderIndex&) = delete;

    // `relative` uses "/" between folders and has passed the name gate.
    bool Exists(std::string_view relative);

private:
    int m_rootFd;
    std::unordered_map<std::string, std::unordered_set<std::string>> m_folders;
};

}  // namespace fl
