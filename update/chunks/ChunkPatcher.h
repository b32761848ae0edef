#pragma once
// Chunks an update would fetch, made instead from patches against chunks the
// run folder holds. Each result is checked against the chunk's digest and
// written to one file of the records folder, which then serves the assembler
// as a source like any file of the folder. A patch that fails leaves its chunk
// to be fetched from the store.
#include <string>
#include <vector>

#include "update/chunks/ChunkAssembler.h"
#include "update/chunks/PatchIndex.h"

namespace fl {

// Patches close together come in one request; a gap costs what it holds.
inline constexpr long long kPatchGap = 4 << 10;

using ChosenPatches = std::vector<std::pair<const ChunkPatch*, const ChunkRef*>>;  // by the patch's offset

// The patches of `patches` worth fetching for `plan`: their chunk is one the
// plan fetches (no dearer than it) and every reference is one `local` holds.
ChosenPatches ChoosePatches(const CPatchIndex& patches, const ChunkPlan& plan, const CLocalChunks& local);
// The requests that fetch them.
std::vector<StoreRange> PatchRanges(const ChosenPatches& chosen, long long& bytes);

class CChunkPatcher {
public:
    static constexpr const char* kPatchedFile = ".fenwa-launcher/chunks.patched";  // in the run folder

    // `root` ends with "/". The file of made chunks goes when the patcher does.
    CChunkPatcher(std::string root, CLocalChunks& local);
    ~CChunkPatcher();
    CChunkPatcher(const CChunkPatcher&) = delete;
    CChunkPatcher& operator=(const CChunkPatcher&) = delete;

    // The patches of `patches` worth fetching for `plan`: their chunk is one the
    // plan fetches and every reference is in the folder. Their bytes on the wire.
    long long Choose(const CPatchIndex& patches, const ChunkPlan& plan);
    size_t Chosen() const { return m_vecChosen.size(); }
    // Fetches the chosen patches and makes their chunks; false when the patch
    // store could not be read through (what was made stays made).
    bool Run(IStoreSource& source, std::string& why);
    int Made() const { return m_nMade; }
    int Failed() const { return m_nFailed; }
    long long BytesFetched() const { return m_nFetched; }

private:
    enum class Result { Made, NotTheChunk, NotWritten };
    // Makes one chunk from its patch frame and the references it reads here.
    Result Make(const ChunkPatch& patch, const ChunkRef& chunk, const std::string& frame);

    std::string m_strRoot;
    CLocalChunks& m_local;
    ChosenPatches m_vecChosen;
    int m_fd = -1;
    long long m_nWritten = 0, m_nFetched = 0;
    int m_nMade = 0, m_nFailed = 0;
};

}  // namespace fl
