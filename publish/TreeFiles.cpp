#include "publish/TreeFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "publish/SignedLists.h"
#include "update/PathSafety.h"

namespace fl {

namespace fs = std::filesystem;

bool PutFile(const std::string& path, const std::string& source, long long size, const std::string& sha256) {
    long long oldSize = -1;
    std::string oldSha;
    if (HashFile(path, oldSize, oldSha) && oldSize == size && oldSha == sha256) return true;
    const std::string temp = path + ".publishing";
    long long copiedSize = -1;
    std::string copiedSha;
    if (!EnsureFolder(ParentOf(path)) || !CopyFileKeepMode(source, temp, false) ||
        !HashFile(temp, copiedSize, copiedSha) || copiedSize != size || copiedSha != sha256 ||
        std::rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

bool ClearTreeWay(const std::string& out, const std::string& name, const CHashList& published, std::string& error) {
    for (size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1)) {
        const std::string prefix = name.substr(0, slash);
        struct stat st {};
        if (lstat((out + "/" + prefix).c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
            if (!published.Find(prefix) || unlink((out + "/" + prefix).c_str()) != 0) {
                error = "cannot publish " + ShortName(name) + ": " + out + "/" + prefix + " is a file the tree did not publish";
                return false;
            }
        }
    }
    struct stat st {};
    const std::string path = out + "/" + name;
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return true;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(path, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (!it->is_directory() && !published.Find(fs::relative(it->path(), out).generic_string())) {
            error = "cannot publish " + ShortName(name) + ": the folder " + path + " holds files the tree did not publish";
            return false;
        }
    fs::remove_all(path, ec);
    return !ec;
}

}  // namespace fl
