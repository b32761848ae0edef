#pragma once
// The tools a delta update is measured against, each run on loopback from the
// old release's folder to the new one's as its users run it (its defaults; bytes
// from the client's own count or the web server's log): rsync (its daemon), zsync
// (a .zsync per changed file, the old file as seed) and casync (an HTTP chunk
// store, the old folder as seed). The old folder is given as each tool leaves a
// folder it installed: its files with the times the release gave them.
#include <string>
#include <vector>

namespace flbench {

struct DeltaFigure {
    bool ran = false;  // false: the tool is not installed or failed
    long long bytes = 0;
    double seconds = 0;
    long long disk = -1;  // what its server keeps to serve the new release
    bool exact = true;    // false: its result is not the new release (a figure that does not count)
    std::string note;
};

// The bytes of the regular files below `path`.
long long TreeBytes(const std::string& path);

// `options`: more of rsync's own (for example "-z").
DeltaFigure RsyncDelta(const std::string& oldTree, const std::string& newTree, const std::string& work,
                       const std::string& options = {});
DeltaFigure ZsyncDelta(const std::string& oldTree, const std::string& newTree, const std::string& work);
// A copy of a folder with its files' times and modes, as `cp -a` makes it.
bool CopyTree(const std::string& from, const std::string& to);

DeltaFigure CasyncDelta(const std::string& oldTree, const std::string& newTree, const std::string& work);

}  // namespace flbench
