#pragma once
// What an update from a chunk index costs: which files must be built, which of
// their chunks the run folder already holds (in any file, at any offset), and
// which byte ranges of the release's store must be fetched, neighbours merged
// into one request.
#include <functional>
#include <map>
#include <set>
#include <unordered_map>
#include <string>
#include <vector>

#include "update/chunks/ChunkIndex.h"

namespace fl {

// Where a chunk can be read in the run folder.
struct LocalChunk {
    const std::string* name;  // the file, relative to the run folder (owned by CLocalChunks)
    long long offset = 0;
    long long size = 0;
};

// The bytes of a chunk where the folder holds it (`root` ends with "/"),
// checked: false when they cannot be read or are not that chunk.
bool ReadLocalChunk(const std::string& root, const LocalChunk& where, const Digest& sha256, std::string& out);

// The run folder's files cut into chunks with the index's parameters, by chunk
// SHA-256. A cache file keeps each file's chunks by name, size and modification
// time, so a file already cut is not read again. What it says is a hint: a
// chunk read from the run folder is checked against its SHA-256 before use.
class CLocalChunks {
public:
    CLocalChunks(std::string root, ChunkerParams params, std::string cachePath);
    // Cuts `name` unless the cache knows it as it is now; false when it cannot be read.
    bool AddFile(const std::string& name);
    // Every file the cache knows that is still there: a file that was renamed
    // or moved by the release still holds its chunks under its old name.
    void AddCachedFiles();
    // A chunk checked to stand at `offset` of `name` (a file partly built by an
    // earlier run): a source like any other, neither cut nor cached.
    void AddChunk(const std::string& name, long long offset, long long size, const Digest& sha256);
    // The file was cut here, now or by an earlier run: a file the launcher knows.
    bool Knows(const std::string& name) const { return m_used.count(name) || m_cache.count(name); }
    const LocalChunk* Find(const Digest& sha256) const;
    // The chunks (SHA-256, size) `name` was cut into, once added; null when it was not.
    const std::vector<std::pair<Digest, long long>>* CutOf(const std::string& name) const {
        auto it = m_used.find(name);
        return it == m_used.end() ? nullptr : &it->second.chunks;
    }
    // Only chunks `wanted` says an update needs are looked up (a folder of a
    // million chunks is not indexed for the few a small update builds).
    void KeepOnly(std::function<bool(const Digest&)> wanted);
    // The file was cut (now or as cached) into exactly the chunks of `file`.
    bool Matches(const IndexedFile& file) const;
    // A file just built from `file`'s chunks: remembered without reading it
    // again (`file` must live until SaveCache).
    void Remember(const IndexedFile& file);
    // A file whose cuts are not known: cut anew by the next run that needs it.
    void Forget(const std::string& name) { m_setForgotten.insert(name); }
    // Writes the cache of the files added (atomically); the bytes read to cut them.
    bool SaveCache() const;
    long long BytesRead() const { return m_nBytesRead; }
    const ChunkerParams& Params() const { return m_params; }

private:
    struct Cut {
        long long size = 0, mtimeNs = 0;
        std::vector<std::pair<Digest, long long>> chunks;  // sha256, size
    };
    std::string m_strRoot;
    ChunkerParams m_params;
    std::string m_strCachePath;
    std::map<std::string, Cut> m_cache, m_used;  // a file is in one of them, never both
    std::set<std::string> m_setOtherNames;       // files chunks were added from one by one
    std::set<std::string> m_setForgotten;        // left out of the cache when it is saved
    struct Remembered {
        const IndexedFile* file;
        long long mtimeNs;
    };
    std::vector<Remembered> m_vecRemembered;  // written to the cache from the index's own chunk lists
    struct Added {  // a chunk added on its own
        Digest sha256;
        LocalChunk where;
    };
    std::vector<Added> m_vecAdded;
    std::function<bool(const Digest&)> m_wanted;
    // Built from m_used and m_vecAdded when first looked up after a change.
    mutable std::unordered_map<Digest, LocalChunk, DigestHash> m_byHash;
    mutable bool m_bStale = false;
    long long m_nBytesRead = 0;
};

// A byte range of the store: one request.
struct StoreRange {
    long long offset = 0, length = 0;
};

// Pieces of a store (offset → length, each once) as requests: neighbours closer
// than `gap` bytes merged into one. `bytes` is what the requests cost, gaps included.
std::vector<StoreRange> MergeRanges(const std::map<long long, long long>& pieces, long long gap, long long& bytes);

struct ChunkPlan {
    std::vector<const IndexedFile*> build;  // files whose size or SHA-256 differ, in index order
    std::vector<StoreRange> fetch;          // what to ask the store for, in order
    long long fetchBytes = 0;               // their sum: what the update costs on the wire
    long long buildBytes = 0;               // the files to build: what they take on the disk
    long long localChunks = 0, remoteChunks = 0;
};

// `whole(file)` says a file of the run folder is already the indexed one.
// Ranges closer than `gap` bytes are merged into one request.
ChunkPlan MakeChunkPlan(const CChunkIndex& index, const CLocalChunks& local,
                        const std::function<bool(const IndexedFile&)>& whole, long long gap = 64 << 10);

}  // namespace fl
