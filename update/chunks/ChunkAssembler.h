#pragma once
// Builds the files of a chunk plan: each in a temporary file beside it, from
// chunks the run folder holds and chunks read from the release's store; every
// chunk is checked (SHA-256) before it is written, every file before it is
// renamed into place, and no file is renamed before all are built (one file's
// old bytes may be another's source).
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <unordered_map>
#include <vector>
#include <string>

#include "update/chunks/ChunkPlan.h"
#include "update/chunks/PartialFiles.h"

namespace fl {

// Where the store's bytes come from (the network, a file in a test).
class IStoreSource {
public:
    virtual ~IStoreSource() = default;
    // Delivers the bytes of `range` in order to `sink`; false when they could
    // not be had (the sink returning false also ends it).
    virtual bool Fetch(const StoreRange& range, const std::function<bool(const char*, size_t)>& sink) = 0;
    // The last failed Fetch may go through later (the network, not the store).
    virtual bool FailureIsTransient() const { return false; }
    // The last failed Fetch was answered with the whole store instead of a
    // range: the rest is read from one whole body, once.
    virtual bool RangesIgnored() const { return false; }
};

// Bytes of a store arriving in order at `position`: those before `offset` are
// skipped, then up to `stored` are appended to `frame`; `data` and `size` move
// past what was used. True once `frame` holds the whole frame.
bool TakeFrame(long long& position, const char*& data, size_t& size, long long offset, long long stored,
               std::string& frame);

// Chunks to fetch by their offset in the store, in order (each offset once).
using RemoteChunks = std::vector<std::pair<long long, const ChunkRef*>>;

// The store's ranges in `count` (1 or 2) shares of about half the bytes each,
// one per worker: a range across the middle is cut at a chunk of `remote`.
std::vector<std::vector<StoreRange>> ShareRanges(const std::vector<StoreRange>& ranges, const RemoteChunks& remote,
                                                 size_t count);

class CChunkAssembler {
public:
    // `root` ends with "/".
    CChunkAssembler(std::string root, const CChunkIndex& index, const CLocalChunks& local);
    ~CChunkAssembler();
    CChunkAssembler(const CChunkAssembler&) = delete;
    CChunkAssembler& operator=(const CChunkAssembler&) = delete;

    // True when every planned file is in place; otherwise `why` says what
    // failed and the run folder's files are as they were. Partly built files
    // stay for the next run when only the store could not be reached
    // (Resumable()); after any other failure they are removed.
    bool Run(const ChunkPlan& plan, IStoreSource& source, std::string& why);
    // The store's ranges split in two halves, one per source, fetched at once.
    bool Run(const ChunkPlan& plan, const std::vector<IStoreSource*>& sources, std::string& why);
    bool Resumable() const { return m_bResumable; }
    // The run ended for want of room on the disk (what was built is kept).
    bool DiskFull() const { return m_bDiskFull; }
    // A built file whose cuts are the chunker's: a cache may record them.
    bool CutsFollow(const IndexedFile& file) const { return m_setCutsFollow.count(&file) != 0; }
    // Store bytes received (what the update cost on the wire).
    long long BytesFetched() const { return m_nFetched; }
    // Chunks of the run folder that were not what the cache said: fetched instead.
    long long StaleLocalChunks() const { return m_nStale; }

    // Files are built below one folder of the run folder, under names made of
    // their name and content: a release's file keeps its partial file from run
    // to run, and a folder the release turns into a file (or the reverse) is
    // not in the way while it is built.
    static constexpr const char* kPartialFolder = ".fenwa-launcher/chunks.partial/";  // in the records folder
    static std::string PartialName(const IndexedFile& file);
    // The chunks partial files of earlier runs hold, each checked, become
    // sources; partial files no file of `index` needs are removed.
    static void AdoptPartials(const std::string& root, const CChunkIndex& index, CLocalChunks& local);
    // The disk the partial files of `plan` already take (an earlier run's).
    static long long BytesHeld(const std::string& root, const ChunkPlan& plan);

private:
    bool WriteChunk(const Digest& sha256, const char* data, size_t size);
    // One worker's ranges, each chunk checked and written where it goes;
    // `answered` is called once the first bytes are in (the answer's kind is known).
    bool FetchRanges(const std::vector<StoreRange>& ranges, IStoreSource& source,
                     const RemoteChunks& remote, std::string& why, bool& failed,
                     const std::function<void()>& answered = {});
    // The chunks still wanted, from one whole body of the store read once.
    bool FetchFromWholeStore(IStoreSource& source, const RemoteChunks& remote, std::string& why,
                             bool& failed);
    // Checks every built file, then puts each in place.
    bool PlaceAll(std::string& why);
    // Closes the partial files; removes them unless they are kept for the next run.
    void Discard(bool keep = false);
    // Makes room for `name` where the release changed a file into a folder or back.
    bool ClearWay(const std::string& name, std::string& why) const;

    std::string m_strRoot;
    const CChunkIndex& m_index;
    const CLocalChunks& m_local;
    std::vector<const IndexedFile*> m_targets;
    CPartialFiles m_files;  // m_targets' partial files, guarded by m_cs
    // Chunk SHA-256 → where it goes: target and offset.
    std::unordered_multimap<Digest, std::pair<size_t, long long>, DigestHash> m_places;
    std::mutex m_cs;
    std::atomic<long long> m_nFetched{0};
    long long m_nStale = 0;
    bool m_bResumable = false;
    std::atomic<bool> m_bDiskFull{false};
    std::set<const IndexedFile*> m_setCutsFollow;
};

}  // namespace fl
