#include "update/RunRecords.h"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#include "platform/Folders.h"
#include "platform/FileOps.h"
#include "platform/Trace.h"
#include "update/net/ResumeRecord.h"

namespace fl {

namespace {

// What earlier launchers kept in the run folder itself, by the names they used.
constexpr const char* kEarlierRecords[] = {"hash.pat.accepted", "hash.pat.kept",  "hash.pat.kept.minisig",
                                           "hash.pat.installed", "hash.pat.installed.minisig", "chunks.cache",
                                           "version.pat.journal", "chunks.partial"};

}  // namespace

std::string RecordsFolder(const std::string& root) { return root + kRecordsFolder + "/"; }

std::string RecordPath(const std::string& root, const std::string& name) { return RecordsFolder(root) + name; }

std::string RecordsRootOf(const std::string& temp) {
    const std::string data = GetDataFolder() + "/";
    if (temp.size() <= data.size() || temp.compare(0, data.size(), data) != 0) return {};
    const size_t slash = temp.find('/', data.size());
    return slash == std::string::npos ? data : temp.substr(0, slash + 1);
}

void MoveEarlierRecords(const std::string& root, const std::function<bool(const std::string&)>& isGameFile) {
    const std::string records = RecordsFolder(root);
    struct stat st {};
    if (stat(records.c_str(), &st) == 0) return;  // moved before (or a fresh folder)
    if (!EnsureFolder(records)) return;
    int moved = 0;
    for (const char* name : kEarlierRecords) {
        const std::string from = root + name, to = records + name;
        if (isGameFile(name)) continue;
        if (lstat(from.c_str(), &st) == 0 && lstat(to.c_str(), &st) != 0 && std::rename(from.c_str(), to.c_str()) == 0)
            ++moved;
    }
    // Resume records stood beside their ".temp" files.
    namespace fs = std::filesystem;
    std::error_code ec;
    const std::string suffix = ".temp.resume";
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->is_symlink(ec) || !it->is_regular_file(ec)) continue;
        const std::string path = it->path().string();
        if (path.size() <= suffix.size() || path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0) continue;
        const std::string temp = path.substr(0, path.size() - 7);
        if (isGameFile(path.substr(root.size()))) continue;
        if (PathFileExists(temp) && std::rename(path.c_str(), ResumePath(temp).c_str()) == 0) ++moved;
    }
    if (moved > 0) TraceF("records: %d kept by an earlier launcher moved to %s", moved, records.c_str());
}

}  // namespace fl
