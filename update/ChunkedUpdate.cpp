// The update from a release's chunk index: the run folder's files are compared
// chunk by chunk with the release, and only the chunks the folder lacks are
// fetched, as byte ranges of the release's store.
#include <sys/stat.h>

#include <limits>
#include <algorithm>
#include <atomic>
#include <set>
#include <unordered_set>

#include "platform/Folders.h"
#include "platform/Clock.h"
#include "platform/FileOps.h"
#include "platform/HttpClient.h"
#include "platform/Trace.h"
#include "update/ChunkIndexFetch.h"
#include "update/Downloader.h"
#include "update/PathSafety.h"
#include "update/RunRecords.h"
#include "update/chunks/ChunkAssembler.h"
#include "update/chunks/ChunkPatcher.h"
#include "update/net/Retry.h"

namespace fl {

namespace {

// One attempt at the rest of a range: bytes from `first` on, handed to the
// assembler in order. A server that answers with the whole store instead is
// read on from `first` for as long as the assembler wants its bytes: one body
// serves every range after it.
class CRangeReader : public IHttpSink {
public:
    CRangeReader(long long first, long long last, const std::function<bool(const char*, size_t)>& sink,
                 const std::function<void(size_t)>& counted, const std::function<void()>& onWhole)
        : m_nFirst(first), m_nWant(last - first + 1), m_sink(sink), m_counted(counted), m_onWhole(onWhole) {}
    bool OnResponse(const HttpHead& head) override {
        m_nStatus = head.status;
        if (head.status == 206) {
            long long first = 0, last = 0, total = 0;
            return ParseContentRange(head.contentRange, first, last, total) && first == m_nFirst &&
                   last == m_nFirst + m_nWant - 1;
        }
        if (head.status != 200) return false;
        m_bWholeBody = true;
        m_nSkip = m_nFirst;
        m_nWant = std::numeric_limits<long long>::max() / 2;
        m_onWhole();  // before any byte: the assembler reads on past the range
        return true;
    }
    bool OnData(const char* data, size_t size) override {
        if (m_nSkip > 0) {
            const size_t skip = size_t(std::min<long long>(m_nSkip, (long long)size));
            m_nSkip -= (long long)skip;
            data += skip;
            size -= skip;
        }
        const size_t take = size_t(std::min<long long>(m_nWant - m_nGot, (long long)size));
        if (take > 0) {
            if (!m_sink(data, take)) {
                m_bStopped = true;  // a damaged chunk, or (reading on) every wanted chunk is in
                return false;
            }
            m_nGot += (long long)take;
            m_counted(take);
        }
        return m_nGot < m_nWant;
    }
    long long m_nFirst, m_nWant, m_nGot = 0, m_nSkip = 0;
    long m_nStatus = 0;
    bool m_bStopped = false;
    bool m_bWholeBody = false;  // the answer was the whole store

private:
    const std::function<bool(const char*, size_t)>& m_sink;
    const std::function<void(size_t)>& m_counted;
    const std::function<void()>& m_onWhole;
};

// The store over HTTP: each range tried again from where it broke off.
class CHttpStore : public IStoreSource {
public:
    CHttpStore(CDownloader& e, std::string name) : m_e(e), m_strName(std::move(name)) {
        m_pClient = e.m_pHttpConn->NewConnection();
    }
    bool Fetch(const StoreRange& range, const std::function<bool(const char*, size_t)>& sink) override {
        long long delivered = 0;
        bool refused = false;
        const std::function<void(size_t)> counted = [&](size_t n) {
            delivered += (long long)n;
            m_e.m_nReceived += (long long)n;
            ShowRangeProgress(m_e);
        };
        const std::function<void()> onWhole = [&] {
            if (!m_bIgnored) OutputDebugStringW("the store's server ignores ranges: one whole body serves the rest");
            m_bIgnored = true;
        };
        return m_e.RunWithRetries(m_strName, [&](int, long& retryAfter, std::string& cause) {
            CRangeReader reader(range.offset + delivered, range.offset + range.length - 1, sink, counted, onWhole);
            HttpRequest request;
            request.range = Format("%lld-%lld", reader.m_nFirst, range.offset + range.length - 1);
            const HttpResult r = m_pClient->Get(m_e.m_pHttpConn->RequestUrl(m_strName, m_e.m_strPreloadVer), reader, request);
            if (!reader.m_bWholeBody && delivered >= range.length) return CDownloader::Attempt::Done;
            if (reader.m_bStopped) {
                // Reading on, the assembler stops the body when it has what it wants.
                refused = !reader.m_bWholeBody;
                return reader.m_bWholeBody ? CDownloader::Attempt::Done : CDownloader::Attempt::Final;
            }
            if (reader.m_bWholeBody && r.completed && r.error.empty()) return CDownloader::Attempt::Done;
            cause = DescribeFailure(r);
            retryAfter = r.head.retryAfterSeconds;
            m_bTransient = IsConnectionFailure(r) || IsRetryableStatus(r.status) || reader.m_nGot > 0;
            return m_bTransient ? CDownloader::Attempt::Retry : CDownloader::Attempt::Final;
        }) && !refused;
    }
    bool FailureIsTransient() const override { return m_bTransient; }
    bool RangesIgnored() const override { return m_bIgnored; }

private:
    CDownloader& m_e;
    std::string m_strName;
    std::unique_ptr<CHttpClient> m_pClient;
    bool m_bTransient = false;
    std::atomic<bool> m_bIgnored{false};  // read by the other worker
};

// The release's patches for chunks `plan` would fetch, when the folder holds
// what they patch: each chunk made from its patch is one the store need not
// send. A delta index gives its own (`given`); else the patch index is read.
// True when the plan changed.
bool UsePatches(CDownloader& e, const std::string& release, const ChunkPlan& plan, CLocalChunks& local,
                std::unordered_set<Digest, DigestHash>& needed, const CPatchIndex* given, CChunkPatcher& patcher) {
    const std::string indexName = PatchIndexName(release), storeName = PatchStoreName(release);
    // A fresh folder holds nothing to patch; a release without patches lists none.
    if (plan.remoteChunks == 0 || plan.localChunks == 0 || !e.m_hashList.Find(storeName) || !IsSafeSegment(storeName) ||
        (given ? given->m_vecPatches.empty() : !e.m_hashList.Find(indexName)))
        return false;
    CPatchIndex read;
    std::string why;
    if (!given) {
        e.m_nTaskKind = TASK_CHUNK_INDEX;
        e.ResetListCounts();
        const bool fetched = e.FetchListWhole(indexName);
        e.m_nTaskKind = TASK_IDLE;
        if (!fetched || !read.Parse(e.m_strRawBody, why) || read.m_strRelease != release || read.m_strStore != storeName) {
            e.m_strRawBody.clear();
            if (fetched) OutputDebugStringW("the patch index is not usable (" + why + "): chunks instead");
            return false;
        }
    }
    const CPatchIndex& patches = given ? *given : read;
    e.m_strRawBody.clear();
    // The folder's chunks the patches refer to are looked for too.
    for (const ChunkPatch& p : patches.m_vecPatches) needed.insert(p.refs.begin(), p.refs.end());
    local.KeepOnly([&needed](const Digest& d) { return needed.count(d) != 0; });
    const long long bytes = patcher.Choose(patches, plan);
    if (patcher.Chosen() == 0) return false;
    e.m_nTotalSize = bytes;
    e.m_nReceived = 0;
    e.m_gauge.BeginStage([&e] { return e.m_nTotalSize - e.m_nReceived; });
    CHttpStore source(e, storeName);
    const bool ran = patcher.Run(source, why);
    e.m_gauge.EndStage();
    TraceF("patches: %zu chosen (%lld bytes), %d chunks made, %d failed, %lld bytes fetched%s", patcher.Chosen(), bytes,
           patcher.Made(), patcher.Failed(), patcher.BytesFetched(), ran ? "" : ("; stopped: " + why).c_str());
    return patcher.Made() > 0;
}

}  // namespace

bool CDownloader::UpdateFromChunks() {
    if (!m_bHashList || !m_pHttpConn) return false;
    const std::string release = m_hashList.Release();
    const std::string indexName = release + ".idx", storeName = release + ".chunks";
    if (!IsSafeSegment(storeName) || !m_hashList.Find(indexName) || !m_hashList.Find(storeName)) return false;
    const std::string run = GetRunFolder(false);
    const uint32_t started = timeGetTime();
    FetchedIndex fetched;
    const IndexFetch got = FetchChunkIndex(*this, run, fetched);
    if (got != IndexFetch::Ready) return got == IndexFetch::Stopped;
    CChunkIndex& index = fetched.index;
    CLocalChunks& local = *fetched.local;
    std::string why;
    // Only the chunks of the files to build are looked for in the folder.
    std::unordered_set<Digest, DigestHash> needed;
    for (const IndexedFile& f : index.m_files)
        for (const ChunkRef& c : f.chunks) needed.insert(c.sha256);
    local.KeepOnly([&needed](const Digest& d) { return needed.count(d) != 0; });
    m_host.SetStep(4);
    int modesSet = 0;
    for (const IndexedFile* f : fetched.modes)
        if (chmod((run + f->name).c_str(), f->mode) == 0) ++modesSet;
        else OutputDebugStringW("cannot give " + ShortName(f->name) + " the release's mode");
    if (modesSet > 0) TraceF("chunks: %d files given the release's mode", modesSet);
    CChunkAssembler::AdoptPartials(run, index, local);  // what an interrupted run built is not fetched again
    ChunkPlan plan = MakeChunkPlan(index, local, [&](const IndexedFile& f) { return f.whole; });
    CChunkPatcher patcher(run, local);  // its chunks serve until every file is built
    if (UsePatches(*this, release, plan, local, needed, fetched.delta ? &fetched.patches : nullptr, patcher)) {
        if (m_bStopping) return true;
        plan = MakeChunkPlan(index, local, [&](const IndexedFile& f) { return f.whole; });
    }
    TraceF("chunks: %zu files to build, %lld chunks here, %lld to fetch (%lld bytes in %zu ranges); %lld bytes read "
           "in %d ms",
           plan.build.size(), plan.localChunks, plan.remoteChunks, plan.fetchBytes, plan.fetch.size(), local.BytesRead(),
           int(timeGetTime() - started));
    m_bChanged = true;  // the lists are saved at the end
    if (plan.build.empty()) {
        local.SaveCache();
        return true;
    }
    // Every file to build stands beside its old one until all are built; what
    // an earlier run built of them already has its room.
    if (!EnsureSpace(plan.buildBytes - CChunkAssembler::BytesHeld(run, plan))) {
        m_bSuccess = false;
        return true;  // told; the run ends without another path filling the disk
    }
    m_nTotalSize = plan.fetchBytes;
    m_nReceived = 0;
    m_gauge.BeginStage([this] { return m_nTotalSize - m_nReceived; });
    CHttpStore first(*this, storeName), second(*this, storeName);
    CChunkAssembler assembler(run, index, local);
    const bool built = assembler.Run(plan, {&first, &second}, why);
    m_gauge.EndStage();
    TraceF("chunks: %s; %lld bytes fetched, %lld stale chunks of the folder fetched instead",
           built ? "every file in place" : ("failed: " + why).c_str(), assembler.BytesFetched(),
           assembler.StaleLocalChunks());
    if (m_bStopping) return true;
    if (!built && assembler.DiskFull()) {
        // What was fetched, checked and written stays for the run after room is made.
        TellNoSpace(plan.buildBytes - CChunkAssembler::BytesHeld(run, plan));
        return true;
    }
    if (!built && assembler.Resumable()) {
        // The store could not be reached: the next run goes on from here, no other path starts over.
        m_bSuccess = false;
        Tell(Format("文件[%s]下载失败!", storeName.c_str()));
        TellCause(why, m_pHttpConn->RequestUrl(storeName, m_strPreloadVer));
        return true;
    }
    if (!built) {
        // Nothing wrong is in place; the packs and the file list bring the rest.
        m_bSuccess = true;
        m_host.ShowTransferNote("the chunked update failed (" + why + "); fetching whole files instead");
        return false;
    }
    // Only cuts the next run would find again: an index cut otherwise is scanned then.
    int remembered = 0;
    for (const IndexedFile* f : plan.build)
        if (assembler.CutsFollow(*f)) {
            local.Remember(*f);
            ++remembered;
        } else {
            local.Forget(f->name);
        }
    TraceF("chunks: %d of %zu built files remembered as cut", remembered, plan.build.size());
    local.SaveCache();
    return true;
}

}  // namespace fl
