#pragma once
// Files a new release no longer lists. Removed only when the launcher provably
// put them there: the previous signed list names their exact size and SHA-256.
// A file the player changed, and every file no list named, stays.
#include <set>
#include <string>
#include <vector>

namespace fl {

class CHashList;

struct RemovedFile {
    std::string name;   // as the previous list names it
    bool ours = false;  // still the content the previous signed list names
    std::string why;    // why it stays, when it is not ours
};

// The names of `previous` that `current` (names with "/" between folders) no
// longer holds, found below `run` as plain files reached through plain folders
// (never through a link). Names go through the same guard as every other name.
std::vector<RemovedFile> FindRemovedFiles(const std::string& run, const std::vector<std::string>& previous,
                                          const std::set<std::string>& current, const CHashList& previousSigned);

// Removes the files that are ours, then each folder that leaves empty (never
// `run` itself). The number of files removed.
int RemoveOurFiles(const std::string& run, const std::vector<RemovedFile>& files);

}  // namespace fl
