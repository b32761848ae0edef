#pragma once
// Which releases a resource tree holds, in the order they were published, and
// the removal of the oldest ones' files: only files that carry a release's
// name, and never one a list in place still names.
#include <string>
#include <vector>

namespace fl {

// The publisher's own record in the tree: "release|NAME" lines, oldest first.
inline constexpr const char* kPublishedHistory = "releases.pat";

std::vector<std::string> ReadPublishedHistory(const std::string& tree);
// Appends `release` unless it is there already. A tree published before the
// record existed starts it with the release its hash list names.
bool RecordPublished(const std::string& tree, const std::string& release);
// `release` (kept) put in place again: it moves to the end, the newest, so
// that pruning counts it as the release published last.
bool RecordInPlaceAgain(const std::string& tree, const std::string& release);
// Every name of `tree` that belongs to `release` alone: its own names and the
// delta indexes the tree holds for it (each file may have a ".gz" copy beside it).
std::vector<std::string> ReleaseFileNames(const std::string& tree, const std::string& release);
// Removes the files of all but the last `keep` releases (at least one is kept),
// except those the hash list or the pack list in place name. Returns the
// releases whose files are gone.
std::vector<std::string> PruneReleases(const std::string& tree, int keep);

}  // namespace fl
