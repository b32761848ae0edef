#include "update/RemovedFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include "update/PathSafety.h"
#include "update/integrity/HashList.h"
#include "update/integrity/Sha256.h"

namespace fl {

namespace {

// Each folder on the way a real folder, the last a regular file: a link
// planted in the run folder cannot lead a removal elsewhere.
bool PlainFileBelow(const std::string& run, const std::string& relative, struct stat& st) {
    std::string path = run;
    size_t start = 0;
    for (;;) {
        const size_t slash = relative.find('/', start);
        path += relative.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (lstat(path.c_str(), &st) != 0) return false;
        if (slash == std::string::npos) return S_ISREG(st.st_mode);
        if (!S_ISDIR(st.st_mode)) return false;
        path += '/';
        start = slash + 1;
    }
}

}  // namespace

std::vector<RemovedFile> FindRemovedFiles(const std::string& run, const std::vector<std::string>& previous,
                                          const std::set<std::string>& current, const CHashList& previousSigned) {
    std::vector<RemovedFile> found;
    std::set<std::string> seen;
    for (const std::string& name : previous) {
        if (!IsSafeRelativeName(name)) continue;
        const std::string relative = NormalizeSeparators(name);
        if (current.count(relative) || !seen.insert(relative).second) continue;
        struct stat st {};
        if (!PlainFileBelow(run, relative, st)) continue;
        RemovedFile file{name, false, ""};
        FoundEntry entry = previousSigned.Find(name);
        if (!entry) entry = previousSigned.Find(relative);
        std::string sha;
        if (!entry)
            file.why = "the previous signed list does not name it";
        else if ((long long)st.st_size != entry->size)
            file.why = "its size is not the one the launcher put there";
        else if (!Sha256OfFile(run + relative, sha) || sha != entry->sha256)
            file.why = "its content is not the one the launcher put there";
        else
            file.ours = true;
        found.push_back(std::move(file));
    }
    return found;
}

int RemoveOurFiles(const std::string& run, const std::vector<RemovedFile>& files) {
    int removed = 0;
    std::set<std::string, std::greater<std::string>> folders;  // deepest first
    for (const RemovedFile& file : files) {
        if (!file.ours) continue;
        const std::string relative = NormalizeSeparators(file.name);
        if (unlink((run + relative).c_str()) != 0) continue;
        ++removed;
        for (size_t slash = relative.rfind('/'); slash != std::string::npos && slash > 0;
             slash = relative.rfind('/', slash - 1))
            folders.insert(relative.substr(0, slash));
    }
    // rmdir removes only an empty folder: one holding anything else stays.
    for (const std::string& folder : folders) rmdir((run + folder).c_str());
    return removed;
}

}  // namespace fl
