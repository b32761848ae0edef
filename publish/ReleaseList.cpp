#include "publish/ReleaseList.h"

#include <sys/stat.h>

#include <ctime>

#include "platform/FileOps.h"
#include "platform/TextCodec.h"
#include "publish/ReleaseHistory.h"
#include "publish/ReleaseReport.h"
#include "update/VersionFiles.h"
#include "update/chunks/ChunkIndex.h"
#include "update/integrity/HashList.h"
#include "update/integrity/Minisign.h"

namespace fl {

namespace {

long long FileBytes(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? (long long)st.st_size : 0;
}

}  // namespace

bool ListKeptReleases(const std::string& tree, std::vector<KeptRelease>& out, std::string& error) {
    out.clear();
    std::string text;
    CHashList current;
    const bool listed = ReadWholeFile(tree + "/hash.pat", text) && current.Parse(text);
    std::vector<std::string> names = ReadPublishedHistory(tree);
    if (names.empty() && listed && !current.Release().empty()) names.push_back(current.Release());  // before the record
    if (names.empty()) {
        error = "no release is published in " + tree;
        return false;
    }
    for (const std::string& name : names) {
        KeptRelease r;
        r.name = name;
        r.inPlace = listed && current.Release() == name;
        MinisignSignature signature;
        std::string release;
        long long time = 0;
        if (ReadWholeFile(tree + "/" + ReleaseSignatureName(name), text) && ParseMinisignSignature(text, signature) &&
            ParseTrustedComment(signature.trustedComment, release, time) && release == name)
            r.signedAt = time;
        CChunkIndex index;
        std::string why;
        long long files = 0, size = 0;
        if (index.ParseFile(tree + "/" + name + ".idx", why, [&](IndexedFile& f) {
                ++files;
                size += f.size;
                return true;  // the chunks are not kept: only the files are counted
            })) {
            r.files = files;
            r.size = size;
        }
        for (const std::string& own : ReleaseFileNames(tree, name))
            r.disk += FileBytes(tree + "/" + own) + FileBytes(tree + "/" + own + ".gz");
        out.push_back(r);
    }
    return true;
}

std::string FormatKeptReleases(const std::vector<KeptRelease>& releases) {
    std::string text = Format("%-20s %-20s %9s %11s %11s\n", "release", "signed (UTC)", "files", "size", "disk");
    for (const KeptRelease& r : releases) {
        text += Format("%-20s %-20s %9s %11s %11s%s\n", r.name.c_str(), r.signedAt >= 0 ? UtcTime(r.signedAt).c_str() : "-",
                       r.files < 0 ? "-" : std::to_string(r.files).c_str(), (r.size < 0 ? std::string("-") : HumanBytes(r.size)).c_str(), HumanBytes(r.disk).c_str(),
                       r.inPlace ? "  <- the lists in place" : "");
    }
    return text;
}

}  // namespace fl
