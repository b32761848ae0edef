#pragma once
// What a resource tree holds, for its operator: the releases kept, oldest
// first, each with its signing time, its size, the disk its own files take,
// and which one the lists in place name. Read only.
#include <string>
#include <vector>

namespace fl {

struct KeptRelease {
    std::string name;
    long long signedAt = -1;  // seconds; -1 when its signature is not in the tree
    long long files = -1, size = -1;  // its game files and their bytes (-1: its index is gone)
    long long disk = 0;       // the files that belong to it alone
    bool inPlace = false;     // the lists in place name it
};

// False with `error` set when `tree` is not a resource tree.
bool ListKeptReleases(const std::string& tree, std::vector<KeptRelease>& out, std::string& error);
// A table of them, one line each, for a terminal.
std::string FormatKeptReleases(const std::vector<KeptRelease>& releases);

}  // namespace fl
