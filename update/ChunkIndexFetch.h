#pragma once
// How a run learns a chunked release's files: from the delta index against
// the release the folder is whole for, when the release publishes one (only
// the files that changed since, their unchanged chunks the folder's own), or
// from the whole index.
#include <optional>
#include <string>
#include <vector>

#include "update/chunks/ChunkPlan.h"
#include "update/chunks/PatchIndex.h"

namespace fl {

class CDownloader;

struct FetchedIndex {
    CChunkIndex index;
    std::optional<CLocalChunks> local;
    std::vector<const IndexedFile*> modes;  // files already as indexed but for their mode
    bool delta = false;
    CPatchIndex patches;  // a delta index's own: what the folder can patch (no patch index is read)
};

enum class IndexFetch { Ready, Unusable, Stopped };

// Unusable: the packs and the file list instead (said in the log).
IndexFetch FetchChunkIndex(CDownloader& e, const std::string& run, FetchedIndex& out);

}  // namespace fl
