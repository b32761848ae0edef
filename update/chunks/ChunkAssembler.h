#pragma once
// Builds the files of a chunk plan: each in a temporary file beside it, from
// chunks the run folder holds and chunks read from the release's store; every
// chunk is checked (SHA-256) before it is written, every file before it is
// renamed into place, and no file is renamed before all are built (one file's
// old bytes may be another's source).
#include <functional>
#include <string>

#include "update/chunks/ChunkPlan.h"

namespace fl {

// Where the store's bytes come from (the network, a file in a test).
class IStoreSource {
public:
    virtual ~IStoreSource() = default;
    // Delivers the bytes of `range` in order to `sink`; false when they could
    // not be had (the sink returning false also ends it).
    virtual bool Fetch(const StoreRange& range, const std::function<bool(const char*, size_t)>& sink) = 0;
};

class CChunkAssembler {
public:
    // `root` ends with "/".
    CChunkAssembler(std::string root, const CChunkIndex& index, const CLocalChunks& local);
    ~CChunkAssembler();
    CChunkAssembler(const CChunkAssembler&) = delete;
    CChunkAssembler& operator=(const CChunkAssembler&) = delete;

    // True when every planned file is in place; otherwise `why` says what
    // failed and the run folder is as it was (temporary files removed).
    bool Run(const ChunkPlan& plan, IStoreSource& source, std::string& why);
    // Store bytes received (what the update cost on the wire).
    long long BytesFetched() const { return m_nFetched; }
    // Chunks of the run folder that were not what the cache said: fetched instead.
    long long StaleLocalChunks() const { return m_nStale; }

    static std::string TempName(const std::string& path) { return path + ".chunked"; }

private:
    struct Target {
        const IndexedFile* file;
        int fd = -1;
    };
    bool WriteChunk(const std::string& sha256, const char* data, size_t size);
    void Discard();

    std::string m_strRoot;
    const CChunkIndex& m_index;
    const CLocalChunks& m_local;
    std::vector<Target> m_targets;
    // Chunk SHA-256 → where it goes: target and offset.
    std::multimap<std::string, std::pair<size_t, long long>> m_places;
    long long m_nFetched = 0, m_nStale = 0;
};

}  // namespace fl
