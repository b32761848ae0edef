#include "update/InstalledState.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/FileOps.h"
#include "platform/TextCodec.h"
#include "update/PathSafety.h"
#include "update/RunRecords.h"

namespace fl {

namespace {

constexpr const char* kStateFile = "installed.state";
constexpr const char* kHeader = "#installed|1\n";

long long MtimeNs(const struct stat& st) { return (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec; }

}  // namespace

bool SaveInstalledState(const std::string& root, const std::vector<std::string>& names) {
    std::string text = kHeader;
    for (const std::string& name : names) {
        struct stat st {};
        if (stat((root + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            RemoveInstalledState(root);
            return false;
        }
        text += Format("%lld|%lld|", (long long)st.st_size, MtimeNs(st)) + name + "\n";
    }
    return WriteFileAtomically(RecordPath(root, kStateFile), text);
}

bool InstalledStateHolds(const std::string& root) {
    std::string text;
    if (!ReadWholeFile(RecordPath(root, kStateFile), text) || text.rfind(kHeader, 0) != 0) return false;
    size_t start = std::char_traits<char>::length(kHeader);
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) return false;  // torn
        const size_t a = text.find('|', start), b = a == std::string::npos ? a : text.find('|', a + 1);
        if (b == std::string::npos || b > end) return false;
        const std::string name = text.substr(b + 1, end - b - 1);
        if (!IsSafeRelativeName(name)) return false;
        struct stat st {};
        if (stat((root + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
            (long long)st.st_size != std::strtoll(text.c_str() + start, nullptr, 10) ||
            MtimeNs(st) != std::strtoll(text.c_str() + a + 1, nullptr, 10))
            return false;
        start = end + 1;
    }
    return true;
}

void RemoveInstalledState(const std::string& root) { unlink(RecordPath(root, kStateFile).c_str()); }

}  // namespace fl
