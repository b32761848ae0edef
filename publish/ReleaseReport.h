#pragma once
// What a release costs, for its operator before and after players see it:
// files added, changed and removed since the release in place before; for each
// release the tree keeps, what a player there fetches to reach it; a fresh
// install; the disk it adds to the tree. Printed, and kept beside the release
// as "R.report.txt".
#include <map>
#include <string>
#include <vector>

#include "publish/UpdateCost.h"

namespace fl {

struct ReleaseReport {
    std::string heading;          // what was done: "published", "dry run", "rolled back"
    std::string release, before;  // the release the lists name now, and before (empty: none)
    long long added = 0, changed = 0, removed = 0;
    long long diskAdded = 0;
    std::vector<std::string> pruned;  // releases whose files went
    std::vector<PlayerCost> players;  // from each kept release (oldest first), then a fresh folder
};

// "12.3 MiB", for a reader.
std::string HumanBytes(long long n);
// "2026-12-10 04:08:55", in UTC.
std::string UtcTime(long long seconds);

// Every file of a tree (or a mirror of one) with its size, links followed.
std::map<std::string, long long> TreeSizes(const std::string& tree);
// What `after` holds more than `before`.
long long DiskAdded(const std::map<std::string, long long>& before, const std::map<std::string, long long>& after);

// The report of the release `tree`'s lists in place name, against `before`;
// `itself`: with players already at it (a release put in place again).
ReleaseReport MakeReleaseReport(const std::string& tree, const std::string& heading, const std::string& before,
                                bool itself = false);
std::string FormatReleaseReport(const ReleaseReport& report);
// Kept beside the release: a rollback adds its report to the release's own.
bool KeepReleaseReport(const std::string& tree, const ReleaseReport& report, bool append);

}  // namespace fl
