#pragma once
// A release's patches: chunks of the release that the release before it
// lacks, each as one zstd frame compressed against bytes that release holds
// (its reference: one or more of its chunks, in order). A launcher holding the
// reference fetches the patch instead of the chunk. "<release>.pidx", beside
// the patches themselves in "<release>.patches":
//
//   #patchindex|1
//   release|r2
//   store|r2.patches
//   patch|TARGET|OFFSET|STORED|REF_SHA256[+REF_SHA256...]
//
// TARGET is the chunk's offset in the release's chunk store: the index names
// its size and SHA-256, which every result is checked against.
#include <string>
#include <vector>

#include "update/integrity/Digest.h"

namespace fl {

inline std::string PatchIndexName(const std::string& release) { return release + ".pidx"; }
inline std::string PatchStoreName(const std::string& release) { return release + ".patches"; }

// A reference never takes more than this: the decoder's window stays small.
inline constexpr int kMaxPatchRefs = 4;
inline constexpr long long kMaxReferenceBytes = 1 << 20;

struct ChunkPatch {
    long long target = 0;  // the chunk's offset in the chunk store
    long long offset = 0, stored = 0;
    std::vector<Digest> refs;
};

class CPatchIndex {
public:
    // Strict: a malformed or repeated line refuses the whole index.
    bool Parse(const std::string& text, std::string& why);
    std::string m_strRelease, m_strStore;
    std::vector<ChunkPatch> m_vecPatches;

    static std::string HeaderLines(const std::string& release);
    static std::string PatchLine(const ChunkPatch& patch);
};

// The chunk of `size` bytes a patch frame makes from `reference`; false when
// the frame is damaged or makes anything else (nothing checks its digest here).
bool ApplyPatch(const std::string& reference, const char* frame, size_t frameSize, long long size, std::string& out);

}  // namespace fl
