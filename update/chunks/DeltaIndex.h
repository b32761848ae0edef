#pragma once
// A release's chunk index told against the release before it: only the files
// that differ from that release's (or are new), each as runs of the chunks of
// that release's version of the same file and chunks of its own. A launcher
// whose folder is whole for the release before reads it instead of the whole
// index: what it costs follows what changed, not the size of the game.
// "<release>.from-<previous>.didx":
//
//   #deltaindex|1
//   release|r2
//   from|r1
//   chunker|fastcdc min=16384 avg=65536 max=262144
//   store|r2.chunks
//   patches|r2.patches                  when any chunk has a patch
//   file|NAME|SIZE|SHA256|MODE
//   same|FIRST|COUNT                    chunks FIRST.. of the previous version of NAME
//   chunk|SHA256|SIZE|OFFSET|STORED     as in the whole index
//   patch|OFFSET|STORED|FIRST|COUNT     that chunk as a patch in the patch store,
//                                       against chunks FIRST.. of the previous version
//
// Files the release did not change are not named; removed files neither (the
// signed list says what the release holds).
#include <string>
#include <vector>

#include "update/chunks/ChunkIndex.h"
#include "update/chunks/PatchIndex.h"

namespace fl {

class CLocalChunks;

inline std::string DeltaIndexName(const std::string& release, const std::string& from) {
    return release + ".from-" + from + ".didx";
}

// Whether `name` is one of `release`'s delta indexes (from any release).
inline bool IsDeltaIndexName(const std::string& release, const std::string& name) {
    const std::string prefix = release + ".from-", suffix = ".didx";
    return name.size() > prefix.size() + suffix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

struct DeltaPiece {
    long long first = -1, count = 0;  // a run of the previous version's chunks (first >= 0), or
    ChunkRef chunk;                   // a chunk of the store,
    ChunkPatch patch;                 // and its patch when patch.stored > 0 (refs: a run as above)
    long long patchFirst = 0, patchCount = 0;
};

struct DeltaFile {
    IndexedFile file;  // its chunks empty until expanded
    std::vector<DeltaPiece> pieces;
};

class CDeltaIndex {
public:
    // Strict, as the whole index: names pass the same gate, a file is named once.
    bool Parse(const std::string& text, std::string& why);
    // The files with their chunks, runs taken from the folder's own cuts of
    // the same names (`local`): false when a run is not there to take. The
    // patches whose references are there go to `patches`.
    bool Expand(CLocalChunks& local, CChunkIndex& out, CPatchIndex& patches, std::string& why) const;

    std::string m_strRelease, m_strFrom, m_strStore, m_strPatches;
    ChunkerParams m_params;
    std::vector<DeltaFile> m_vecFiles;

    static std::string HeaderLines(const std::string& release, const std::string& from, const ChunkerParams& params,
                                   const std::string& store, const std::string& patches);
    static std::string SameLine(long long first, long long count);
    static std::string PatchLine(long long offset, long long stored, long long first, long long count);
};

}  // namespace fl
