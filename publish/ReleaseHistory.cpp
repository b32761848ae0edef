#include "publish/ReleaseHistory.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "platform/FileOps.h"
#include "platform/TextCodec.h"
#include "update/VersionFiles.h"
#include "update/chunks/DeltaIndex.h"
#include "update/integrity/HashList.h"

namespace fl {

namespace {

std::string ValueOf(const std::string& line, const std::string& key) {
    const size_t bar = line.find('|');
    if (bar == std::string::npos || Trim(line.substr(0, bar)) != key) return {};
    return Trim(line.substr(bar + 1));
}

bool WriteHistory(const std::string& tree, const std::vector<std::string>& releases) {
    std::string text;
    for (const std::string& r : releases) text += "release|" + r + "\r\n";
    return WriteFileAtomically(tree + "/" + kPublishedHistory, text);
}

}  // namespace

std::vector<std::string> ReadPublishedHistory(const std::string& tree) {
    std::vector<std::string> lines, releases;
    if (!ReadLines(tree + "/" + kPublishedHistory, lines)) return releases;
    for (const std::string& line : lines) {
        const std::string r = ValueOf(line, "release");
        if (!r.empty() && std::find(releases.begin(), releases.end(), r) == releases.end()) releases.push_back(r);
    }
    return releases;
}

bool RecordPublished(const std::string& tree, const std::string& release) {
    std::vector<std::string> releases = ReadPublishedHistory(tree);
    if (releases.empty()) {
        std::string text;
        CHashList published;
        if (ReadWholeFile(tree + "/hash.pat", text) && published.Parse(text) && !published.Release().empty() &&
            published.Release() != release)
            releases.push_back(published.Release());
    }
    if (std::find(releases.begin(), releases.end(), release) != releases.end()) return true;
    releases.push_back(release);
    return WriteHistory(tree, releases);
}

bool RecordInPlaceAgain(const std::string& tree, const std::string& release) {
    std::vector<std::string> releases = ReadPublishedHistory(tree);
    releases.erase(std::remove(releases.begin(), releases.end(), release), releases.end());
    releases.push_back(release);
    return WriteHistory(tree, releases);
}

std::vector<std::string> ReleaseFileNames(const std::string& tree, const std::string& release) {
    std::vector<std::string> names = ReleaseOwnFileNames(release);
    // Its delta indexes, one for each release it was published after.
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(tree, ec)) {
        const std::string name = e.path().filename().string();
        if (IsDeltaIndexName(release, name)) names.push_back(name);
    }
    return names;
}

std::vector<std::string> PruneReleases(const std::string& tree, int keep) {
    std::vector<std::string> releases = ReadPublishedHistory(tree), removed;
    keep = std::max(keep, 1);
    if ((int)releases.size() <= keep) return removed;
    // What the lists in place still name: a player holding them may ask for it.
    std::set<std::string> named, namedReleases;
    std::string text;
    CHashList current;
    if (ReadWholeFile(tree + "/hash.pat", text) && current.Parse(text)) {
        namedReleases.insert(current.Release());
        current.ForEach([&](const std::string& name, const HashEntry&) { named.insert(name); });
    }
    std::vector<std::string> packLines;
    if (ReadLines(tree + "/PackVersion.pat", packLines))
        for (const std::string& line : packLines)
            for (const char* key : {"newversion", "lastversion"})
                if (const std::string r = ValueOf(line, key); !r.empty()) namedReleases.insert(r);
    std::vector<std::string> kept(releases.end() - keep, releases.end());
    for (auto it = releases.begin(); it != releases.end() - keep; ++it) {
        if (namedReleases.count(*it)) {
            kept.insert(kept.begin(), *it);
            continue;
        }
        for (const std::string& name : ReleaseFileNames(tree, *it))
            if (!named.count(name)) {
                unlink((tree + "/" + name).c_str());
                unlink((tree + "/" + name + ".gz").c_str());  // its gzip copy, when it has one
            }
        removed.push_back(*it);
    }
    // Oldest first, as published.
    std::vector<std::string> order;
    for (const std::string& r : releases)
        if (std::find(kept.begin(), kept.end(), r) != kept.end()) order.push_back(r);
    WriteHistory(tree, order);
    return removed;
}

}  // namespace fl
