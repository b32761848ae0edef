#include "update/InstalledState.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/FileOps.h"
#include "platform/StreamFiles.h"
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
    CAtomicFileWriter out(RecordPath(root, kStateFile));
    out.Write(kHeader);
    for (const std::string& name : names) {
        struct stat st {};
        if (stat((root + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            RemoveInstalledState(root);
            return false;
        }
        out.Write(Format("%lld|%lld|", (long long)st.st_size, MtimeNs(st)) + name + "\n");
    }
    return out.Commit();
}

bool InstalledStateHolds(const std::string& root) {
    bool first = true, holds = true, any = false;
    const bool read = ForEachLine(RecordPath(root, kStateFile), [&](std::string_view line, bool whole) {
        any = true;
        if (first) {
            first = false;
            return holds = line == std::string_view(kHeader, std::char_traits<char>::length(kHeader) - 1);
        }
        const size_t a = line.find('|'), b = a == std::string_view::npos ? a : line.find('|', a + 1);
        if (!whole || b == std::string_view::npos) return holds = false;  // torn or damaged
        const std::string name(line.substr(b + 1));
        struct stat st {};
        holds = IsSafeRelativeName(name) && stat((root + name).c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                (long long)st.st_size == std::strtoll(std::string(line.substr(0, a)).c_str(), nullptr, 10) &&
                MtimeNs(st) == std::strtoll(std::string(line.substr(a + 1, b - a - 1)).c_str(), nullptr, 10);
        return holds;
    });
    return read && any && holds;
}

void RemoveInstalledState(const std::string& root) { unlink(RecordPath(root, kStateFile).c_str()); }

}  // namespace fl
