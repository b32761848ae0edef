#pragma once
// The tools a delta update is measured against, each run on loopback from the
// old release's folder to the new one's: rsync (its daemon), zsync (a .zsync
// per changed file, the old file as seed) and casync (an HTTP chunk store, the
// old folder as seed).
#include <string>

namespace flbench {

struct DeltaFigure {
    bool ran = false;  // false: the tool is not installed or failed
    long long bytes = 0;
    double seconds = 0;
    std::string note;
};

DeltaFigure RsyncDelta(const std::string& oldTree, const std::string& newTree, const std::string& work);
DeltaFigure ZsyncDelta(const std::string& oldTree, const std::string& newTree, const std::string& work);
DeltaFigure CasyncDelta(const std::string& oldTree, const std::string& newTree, const std::string& work);

}  // namespace flbench
