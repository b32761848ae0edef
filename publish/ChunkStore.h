#pragma once
// A release as content-defined chunks: "<release>.chunks", every distinct
// chunk once, each compressed on its own (zstd), in the order a fresh install
// needs them; and "<release>.idx", which file is made of which chunks (the
// format is in update/chunks/ChunkIndex.h). Both are written under temporary
// names and renamed, and read each file once, a chunk at a time.
#include <string>
#include <vector>

#include "update/chunks/Chunker.h"

namespace fl {

struct ChunkSource {
    std::string name;    // as listed
    std::string path;    // where its bytes are
    long long size = 0;  // as measured before: the file must still be it
    std::string sha256;
};

bool WriteChunkedRelease(const std::string& outDir, const std::string& release, const std::vector<ChunkSource>& files,
                         const ChunkerParams& params, std::string& error);

}  // namespace fl
