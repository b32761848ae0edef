#include "update/ChunkIndexFetch.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "platform/Trace.h"
#include "update/Downloader.h"
#include "update/PathSafety.h"
#include "update/RunRecords.h"
#include "update/chunks/DeltaIndex.h"

namespace fl {

namespace {

// A file of the folder already as indexed needs no chunks; one whose mode alone differs is given the index's.
bool MarkWhole(const std::string& run, CLocalChunks& local, IndexedFile& f, std::vector<const IndexedFile*>& modes) {
    struct stat st {};
    if (!PathFileExists(run + f.name) || !local.AddFile(f.name) || !local.Matches(f) || stat((run + f.name).c_str(), &st) != 0)
        return false;
    f.whole = true;
    if ((st.st_mode & 07777) != f.mode) modes.push_back(&f);
    return true;
}

bool Unusable(const std::string& what) {
    OutputDebugStringW(what + ": the whole chunk index instead");
    return false;
}

bool ReadDeltaIndex(CDownloader& e, const std::string& run, FetchedIndex& out) {
    const std::string release = e.m_hashList.Release();
    CHashList before;
    if (!e.ListWholeBefore(before) || before.Release() == release) return false;
    const std::string name = DeltaIndexName(release, before.Release());
    if (!IsSafeSegment(name) || !e.m_hashList.Find(name)) return false;
    e.m_nTaskKind = TASK_CHUNK_INDEX;
    e.ResetListCounts();
    const bool fetched = e.FetchListWhole(name);
    e.m_nTaskKind = TASK_IDLE;
    CDeltaIndex delta;
    std::string why;
    const bool parsed = fetched && delta.Parse(e.m_strRawBody, why);
    e.m_strRawBody.clear();
    if (!fetched) return false;
    if (!parsed || delta.m_strRelease != release || delta.m_strFrom != before.Release() ||
        delta.m_strStore != release + ".chunks" ||
        (!delta.m_strPatches.empty() && delta.m_strPatches != PatchStoreName(release)))
        return Unusable("the delta index is not usable (" + (why.empty() ? "another release's" : why) + ")");
    // Every game file the signed list names is in the delta index, or the same as the folder holds.
    if (!e.DownloadVersionList()) return false;
    e.m_nTaskKind = TASK_IDLE;
    std::set<std::string> changed;
    for (const DeltaFile& f : delta.m_vecFiles) changed.insert(f.file.name);
    for (const auto& [listed, version] : e.m_mapServerFiles) {
        const std::string name = NormalizeSeparators(listed);
        const FoundEntry now = e.m_hashList.Find(listed), then = before.Find(listed);
        if (now && !changed.count(name) && (!then || then->size != now->size || then->sha256 != now->sha256))
            return Unusable("the delta index leaves out " + ShortName(name));
    }
    out.local.emplace(run, delta.m_params, RecordPath(run, "chunks.cache"));
    out.local->AddCachedFiles();
    if (!delta.Expand(*out.local, out.index, out.patches, why)) {
        out.local.reset();
        return Unusable("the delta index cannot be used here (" + why + ")");
    }
    for (IndexedFile& f : out.index.m_files) {
        const FoundEntry listed = e.m_hashList.Find(f.name);
        if (!listed || listed->size != f.size || listed->sha256 != f.sha256.Hex()) {
            out.local.reset();
            out.modes.clear();
            return Unusable("the delta index does not agree with the signed list on " + ShortName(f.name));
        }
        MarkWhole(run, *out.local, f, out.modes);
    }
    out.delta = true;
    TraceF("chunks: the delta index from %s names %zu files", ShortName(before.Release()).c_str(), out.index.m_files.size());
    return true;
}

}  // namespace

IndexFetch FetchChunkIndex(CDownloader& e, const std::string& run, FetchedIndex& out) {
    if (ReadDeltaIndex(e, run, out)) return IndexFetch::Ready;
    if (e.m_bAbort || e.Stopping()) return IndexFetch::Stopped;
    out = FetchedIndex();
    const std::string release = e.m_hashList.Release();
    const std::string indexName = release + ".idx", storeName = release + ".chunks";
    // The index to a file and read from there a line at a time: it may name a million chunks.
    const std::string indexPath = RecordPath(run, "chunks.index");
    e.m_nTaskKind = TASK_CHUNK_INDEX;
    e.ResetListCounts();
    const bool fetched = e.FetchToFile(indexName) && e.m_bLastFetchOk && EnsureFolder(RecordsFolder(run)) &&
                         std::rename((run + indexName).c_str(), indexPath.c_str()) == 0;
    e.m_nTaskKind = TASK_IDLE;
    if (!fetched) {
        unlink((run + indexName).c_str());
        return IndexFetch::Unusable;
    }
    // Every game file the signed list names must be in the index, or the run could end without it
    // (read already when a delta index was tried).
    if (e.m_mapServerFiles.empty() && !e.DownloadVersionList()) return IndexFetch::Unusable;
    e.m_nTaskKind = TASK_IDLE;
    e.SeedFromInstallersPack();  // a fresh folder: the installer's pack first
    if (e.Stopping()) return IndexFetch::Stopped;
    out.local.emplace(run, CChunkIndex::PeekParams(indexPath), RecordPath(run, "chunks.cache"));
    out.local->AddCachedFiles();
    std::string why;
    const bool parsed = out.index.ParseFile(indexPath, why, [&](IndexedFile& f) { return MarkWhole(run, *out.local, f, out.modes); });
    unlink(indexPath.c_str());
    if (!parsed || out.index.m_strRelease != release || out.index.m_strStore != storeName ||
        !(out.index.m_params == out.local->Params())) {
        OutputDebugStringW("the chunk index is not usable (" + (why.empty() ? "another release's" : why) +
                           "): the packs and the file list instead");
        return IndexFetch::Unusable;
    }
    const std::vector<const std::string*> indexed = out.index.SortedNames();
    for (const auto& [name, version] : e.m_mapServerFiles) {
        if (e.m_hashList.Find(name) && !CChunkIndex::Names(indexed, NormalizeSeparators(name))) {
            OutputDebugStringW("the chunk index leaves out " + ShortName(name) + ": the packs and the file list instead");
            return IndexFetch::Unusable;
        }
    }
    return IndexFetch::Ready;
}

}  // namespace fl
