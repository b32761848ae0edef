#include "publish/ReleaseReport.h"

#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <set>

#include "platform/FileOps.h"
#include "platform/TextCodec.h"
#include "publish/ReleaseHistory.h"
#include "update/chunks/ChunkIndex.h"
#include "update/integrity/HashList.h"

namespace fl {

namespace {

// The files of a release and their digests, from its index; false when it is gone.
bool ReleaseFiles(const std::string& tree, const std::string& release, std::map<std::string, Digest>& files) {
    CChunkIndex index;
    std::string why;
    return index.ParseFile(tree + "/" + release + ".idx", why, [&](IndexedFile& f) {
        files[f.name] = f.sha256;
        return true;
    });
}

}  // namespace

std::string HumanBytes(long long n) {
    if (n < 0) return "-" + HumanBytes(-n);
    if (n < 1024) return std::to_string(n) + " B";
    const char* units[] = {"KiB", "MiB", "GiB", "TiB"};
    double v = double(n) / 1024.0;
    int u = 0;
    while (v >= 1024.0 && u < 3) v /= 1024.0, ++u;
    return Format("%.1f %s", v, units[u]);
}

std::string UtcTime(long long seconds) {
    const time_t t = time_t(seconds);
    struct tm utc {};
    gmtime_r(&t, &utc);
    char when[32];
    strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &utc);
    return when;
}

std::map<std::string, long long> TreeSizes(const std::string& tree) {
    std::map<std::string, long long> sizes;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(tree, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        struct stat st {};
        if (stat(it->path().c_str(), &st) == 0 && S_ISREG(st.st_mode))
            sizes[std::filesystem::relative(it->path(), tree).generic_string()] = (long long)st.st_size;
    }
    return sizes;
}

long long DiskAdded(const std::map<std::string, long long>& before, const std::map<std::string, long long>& after) {
    long long added = 0;
    for (const auto& [name, size] : after) {
        auto it = before.find(name);
        added += size - (it == before.end() ? 0 : it->second);
    }
    return added;
}

ReleaseReport MakeReleaseReport(const std::string& tree, const std::string& heading, const std::string& before,
                                bool itself) {
    ReleaseReport r;
    r.heading = heading;
    r.before = before;
    const CUpdateCosts costs(tree);
    r.release = costs.Release();
    if (const CChunkIndex* index = costs.Index()) {
        std::map<std::string, Digest> then;
        const bool known = before.empty() || ReleaseFiles(tree, before, then);
        r.added = r.changed = r.removed = known ? 0 : -1;
        std::set<std::string> now;
        for (const IndexedFile& f : index->m_files) {
            now.insert(f.name);
            auto it = then.find(f.name);
            if (known && it == then.end()) ++r.added;
            else if (known && !(it->second == f.sha256)) ++r.changed;
        }
        for (const auto& [name, sha] : then) r.removed += now.count(name) ? 0 : 1;
    }
    for (const std::string& kept : ReadPublishedHistory(tree))
        if (itself || kept != r.release) r.players.push_back(costs.From(kept));
    r.players.push_back(costs.From({}));
    return r;
}

std::string FormatReleaseReport(const ReleaseReport& r) {
    std::string text = "release " + r.release + ": " + r.heading + "\n";
    if (r.before.empty()) text += Format("  files: %lld, the tree's first release\n", r.added);
    else if (r.added < 0) text += "  files since " + r.before + ": unknown (its index is gone)\n";
    else
        text += Format("  files since %s: %lld added, %lld changed, %lld removed\n", r.before.c_str(), r.added, r.changed,
                       r.removed);
    text += Format("  disk added to the tree: %lld bytes (%s)\n", r.diskAdded, HumanBytes(r.diskAdded).c_str());
    if (!r.pruned.empty()) {
        text += "  releases whose files are removed:";
        for (const std::string& p : r.pruned) text += " " + p;
        text += "\n";
    }
    text += "  what a player fetches to reach it (lists as their gzip copies where the server sends them):\n";
    for (const PlayerCost& p : r.players) {
        const std::string from = p.from.empty() ? std::string("a fresh folder") : "from " + p.from;
        if (!p.known) {
            text += "    " + from + ": unknown (the tree no longer holds its index)\n";
            continue;
        }
        const RequestCost total = p.Total();
        std::string how = p.from.empty() ? "the index" : p.delta ? "the delta index" : "the whole index";
        if (p.patchesUsed > 0) how += Format(", %lld patch%s", p.patchesUsed, p.patchesUsed == 1 ? "" : "es");
        how += Format(", %lld file%s built", p.filesBuilt, p.filesBuilt == 1 ? "" : "s");
        text += Format("    %s: %lld bytes in %d requests (%s; %s)\n", from.c_str(), total.bytes, total.requests,
                       HumanBytes(total.bytes).c_str(), how.c_str());
    }
    return text;
}

bool KeepReleaseReport(const std::string& tree, const ReleaseReport& report, bool append) {
    std::string text;
    if (append) ReadWholeFile(tree + "/" + ReleaseReportName(report.release), text);
    if (!text.empty()) text += "\n";
    return WriteFileAtomically(tree + "/" + ReleaseReportName(report.release), text + FormatReleaseReport(report));
}

}  // namespace fl
