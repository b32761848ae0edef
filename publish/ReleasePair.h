#pragma once
// A release and the one before it, as their chunk indexes: what the patches
// and the delta index are made from.
#include <map>
#include <string>

#include "update/chunks/ChunkIndex.h"

namespace fl {

struct ReleasePair {
    std::string tree, previousTree;  // where each one's index and store are
    CChunkIndex next, before;
    std::map<std::string, const IndexedFile*> oldFiles;  // the previous release's, by name
    bool usable = false;  // the previous release's index was read, cut as this one's

    // False with `error` set when the release's own index cannot be read.
    bool Read(const std::string& releaseTree, const std::string& release, const std::string& beforeTree,
              const std::string& previous, std::string& error) {
        tree = releaseTree;
        previousTree = beforeTree;
        std::string why;
        if (!next.ParseFile(tree + "/" + release + ".idx", why, {})) {
            error = "cannot read " + release + ".idx: " + why;
            return false;
        }
        usable = before.ParseFile(previousTree + "/" + previous + ".idx", why, {}) && before.m_params == next.m_params;
        if (usable)
            for (const IndexedFile& f : before.m_files) oldFiles[f.name] = &f;
        return true;
    }
};

}  // namespace fl
