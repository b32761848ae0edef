#include "publish/PatchWriter.h"

#include <fcntl.h>
#include <unistd.h>
#include <zstd.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "platform/FileOps.h"
#include "publish/GzipCopy.h"
#include "publish/OutFile.h"
#include "publish/StoreReader.h"
#include "update/chunks/ChunkIndex.h"
#include "update/chunks/PatchIndex.h"
#include "update/integrity/Sha256.h"

namespace fl {

namespace {

// A quick try first: a chunk unlike its reference (new content) costs one fast
// pass; effort goes where a patch pays, as it is fetched by every player.
constexpr int kTryLevel = 1, kPatchLevel = 19;

struct Candidate {
    const IndexedFile* file;
    const ChunkRef* target;
    const IndexedFile* old;             // the previous version of the file
    std::vector<const ChunkRef*> refs;  // its chunks, in order (one run of them)
};

// The previous version's chunks that stand where `target` stands: those over
// [at, at + size) of `old` (the last one when `at` is past its end), at most
// kMaxPatchRefs of them and kMaxReferenceBytes in all.
std::vector<const ChunkRef*> ReferenceAt(const IndexedFile& old, long long at, long long size) {
    std::vector<const ChunkRef*> refs;
    long long offset = 0, bytes = 0;
    for (const ChunkRef& c : old.chunks) {
        const long long end = offset + c.size;
        if (end > at && offset < at + size && (int)refs.size() < kMaxPatchRefs && bytes + c.size <= kMaxReferenceBytes) {
            refs.push_back(&c);
            bytes += c.size;
        }
        offset = end;
    }
    if (refs.empty() && !old.chunks.empty()) refs.push_back(at >= old.size ? &old.chunks.back() : &old.chunks.front());
    return refs;
}

// Each chunk of `file` the previous release lacks, with its reference in `old`.
// The two versions are aligned by the chunks they share: past a shared chunk,
// a new chunk stands where the old bytes after that chunk stood.
void FindCandidates(const IndexedFile& file, const IndexedFile& old,
                    const std::unordered_set<Digest, DigestHash>& previousChunks, std::set<long long>& taken,
                    std::vector<Candidate>& out) {
    std::unordered_map<Digest, long long, DigestHash> oldAt;
    long long offset = 0;
    for (const ChunkRef& c : old.chunks) {
        oldAt.emplace(c.sha256, offset);
        offset += c.size;
    }
    long long at = 0, shift = 0;
    for (const ChunkRef& c : file.chunks) {
        if (auto it = oldAt.find(c.sha256); it != oldAt.end()) {
            shift = it->second - at;
        } else if (!previousChunks.count(c.sha256) && taken.insert(c.offset).second) {
            std::vector<const ChunkRef*> refs = ReferenceAt(old, at + shift, c.size);
            if (!refs.empty()) out.push_back({&file, &c, &old, std::move(refs)});
        }
        at += c.size;
    }
}

}  // namespace

bool WriteReleasePatches(const ReleasePair& pair, PatchFigures& figures, std::string& error) {
    figures = PatchFigures();
    if (!pair.usable) return true;  // nothing to patch against: launchers fetch chunks
    const CChunkIndex &next = pair.next, &before = pair.before;
    const std::string& release = next.m_strRelease;
    const std::string& previous = before.m_strRelease;
    std::unordered_set<Digest, DigestHash> previousChunks;
    for (const IndexedFile& f : before.m_files)
        for (const ChunkRef& c : f.chunks) previousChunks.insert(c.sha256);
    const auto& oldFiles = pair.oldFiles;
    std::vector<Candidate> candidates;
    std::set<long long> taken;
    for (const IndexedFile& f : next.m_files) {
        auto old = oldFiles.find(f.name);
        if (old != oldFiles.end() && old->second->sha256 != f.sha256)
            FindCandidates(f, *old->second, previousChunks, taken, candidates);
    }
    figures.tried = (int)candidates.size();
    if (candidates.empty()) return true;

    CStoreReader newStore(pair.tree + "/" + next.m_strStore), oldStore(pair.previousTree + "/" + before.m_strStore);
    std::unique_ptr<ZSTD_CCtx, size_t (*)(ZSTD_CCtx*)> zc(ZSTD_createCCtx(), ZSTD_freeCCtx);
    if (!newStore.Ok() || !oldStore.Ok() || !zc) {
        error = "cannot read the chunk stores of " + release + " and " + previous;
        return false;
    }
    COutFile store(pair.tree + "/" + PatchStoreName(release));
    std::string index = CPatchIndex::HeaderLines(release), reference, piece, target, patch, quick;
    bool written = store.Ok();
    for (const Candidate& c : candidates) {
        if (!written) break;
        reference.clear();
        bool read = newStore.Read(*c.target, target);
        for (const ChunkRef* r : c.refs) read = read && oldStore.Read(*r, piece) && (reference += piece, true);
        if (!read) {
            error = "a chunk of " + release + " or " + previous + " is not what its index names; publish again";
            return false;
        }
        // The window covers the reference and the chunk: the launcher decodes with that window and no more.
        int windowLog = 10;
        while ((1LL << windowLog) < (long long)(reference.size() + target.size())) ++windowLog;
        auto compress = [&](int level) {
            ZSTD_CCtx_reset(zc.get(), ZSTD_reset_session_and_parameters);
            ZSTD_CCtx_setParameter(zc.get(), ZSTD_c_compressionLevel, level);
            ZSTD_CCtx_setParameter(zc.get(), ZSTD_c_windowLog, windowLog);
            ZSTD_CCtx_refPrefix(zc.get(), reference.data(), reference.size());
            patch.resize(ZSTD_compressBound(target.size()));
            const size_t n = ZSTD_compress2(zc.get(), patch.data(), patch.size(), target.data(), target.size());
            return ZSTD_isError(n) ? size_t(-1) : n;
        };
        size_t n = compress(kTryLevel);
        if (n == size_t(-1) || (long long)n * 4 >= c.target->stored * 3) continue;  // not worth a patch
        quick.assign(patch.data(), n);
        n = compress(kPatchLevel);
        if (n == size_t(-1) || n > quick.size()) patch = quick, n = quick.size();  // the quick one was smaller
        if ((long long)n >= c.target->stored) continue;
        ChunkPatch p{c.target->offset, store.Size(), (long long)n, {}};
        for (const ChunkRef* r : c.refs) p.refs.push_back(r->sha256);
        written = store.Write(patch.data(), n);
        index += CPatchIndex::PatchLine(p);
        figures.places[c.target->offset] = {c.file->name, p.offset, p.stored, c.refs.front() - c.old->chunks.data(),
                                            (long long)c.refs.size()};
        ++figures.patches;
        figures.bytes += (long long)n;
        figures.replaced += c.target->stored;
    }
    if (figures.patches == 0) return true;
    if (!written || !store.Commit() ||
        !PutWithGzipCopy(pair.tree + "/" + PatchIndexName(release), index)) {
        error = "cannot write the patches of " + release;
        return false;
    }
    return true;
}

}  // namespace fl
