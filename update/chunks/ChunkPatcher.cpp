#include "update/chunks/ChunkPatcher.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <unordered_map>

#include "platform/FileOps.h"
#include "update/integrity/Sha256.h"

namespace fl {

CChunkPatcher::CChunkPatcher(std::string root, CLocalChunks& local) : m_strRoot(std::move(root)), m_local(local) {}

CChunkPatcher::~CChunkPatcher() {
    if (m_fd >= 0) close(m_fd);
    unlink((m_strRoot + kPatchedFile).c_str());
}

ChosenPatches ChoosePatches(const CPatchIndex& patches, const ChunkPlan& plan, const CLocalChunks& local) {
    ChosenPatches chosen;
    std::unordered_map<long long, const ChunkRef*> fetched;  // by store offset
    for (const IndexedFile* f : plan.build)
        for (const ChunkRef& c : f->chunks)
            if (c.stored > 0 && !local.Find(c.sha256)) fetched.emplace(c.offset, &c);
    for (const ChunkPatch& p : patches.m_vecPatches) {
        auto it = fetched.find(p.target);
        // Never more than the chunk itself costs, nor a reference the folder lacks.
        if (it == fetched.end() || p.stored >= it->second->stored) continue;
        long long reference = 0;
        bool here = true;
        for (const Digest& d : p.refs) {
            const LocalChunk* l = local.Find(d);
            here = here && l;
            if (l) reference += l->size;
        }
        if (!here || reference > kMaxReferenceBytes) continue;
        chosen.emplace_back(&p, it->second);
    }
    std::sort(chosen.begin(), chosen.end(), [](const auto& a, const auto& b) { return a.first->offset < b.first->offset; });
    return chosen;
}

std::vector<StoreRange> PatchRanges(const ChosenPatches& chosen, long long& bytes) {
    std::map<long long, long long> pieces;
    for (const auto& [p, c] : chosen) pieces.emplace(p->offset, p->stored);
    return MergeRanges(pieces, kPatchGap, bytes);
}

long long CChunkPatcher::Choose(const CPatchIndex& patches, const ChunkPlan& plan) {
    m_vecChosen = ChoosePatches(patches, plan, m_local);
    long long bytes = 0;
    for (const auto& [p, c] : m_vecChosen) bytes += p->stored;
    return bytes;
}

CChunkPatcher::Result CChunkPatcher::Make(const ChunkPatch& patch, const ChunkRef& chunk, const std::string& frame) {
    std::string reference, piece, made;
    for (const Digest& d : patch.refs) {
        const LocalChunk* l = m_local.Find(d);
        if (!l || !ReadLocalChunk(m_strRoot, *l, d, piece)) return Result::NotTheChunk;
        reference += piece;
    }
    if (!ApplyPatch(reference, frame.data(), frame.size(), chunk.size, made) || Sha256DigestOf(made) != chunk.sha256)
        return Result::NotTheChunk;
    if (!WriteAll(m_fd, made.data(), made.size())) return Result::NotWritten;
    m_local.AddChunk(kPatchedFile, m_nWritten, chunk.size, chunk.sha256);
    m_nWritten += chunk.size;
    return Result::Made;
}

bool CChunkPatcher::Run(IStoreSource& source, std::string& why) {
    if (m_vecChosen.empty()) return true;
    m_fd = open((m_strRoot + kPatchedFile).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        why = "cannot write " + std::string(kPatchedFile);
        return false;
    }
    long long bytes = 0;
    size_t next = 0;
    for (const StoreRange& range : PatchRanges(m_vecChosen, bytes)) {
        long long position = range.offset;
        std::string frame;
        bool writeFailed = false;
        const bool got = source.Fetch(range, [&](const char* data, size_t size) {
            m_nFetched += (long long)size;
            while (size > 0) {
                if (next == m_vecChosen.size() || m_vecChosen[next].first->offset >= range.offset + range.length)
                    return false;  // past the range's last patch (a server that sent the whole store)
                const ChunkPatch& p = *m_vecChosen[next].first;
                if (!TakeFrame(position, data, size, p.offset, p.stored, frame)) continue;
                const Result made = Make(p, *m_vecChosen[next].second, frame);
                ++(made == Result::Made ? m_nMade : m_nFailed);
                writeFailed = made == Result::NotWritten;
                frame.clear();
                ++next;
                if (writeFailed) return false;
            }
            return true;
        });
        if (writeFailed) {
            why = "cannot write " + std::string(kPatchedFile);
            return false;
        }
        // A server that ignores ranges sends the whole patch store for every range: the chunks instead.
        if (source.RangesIgnored()) {
            why = "the patches' server ignores ranges";
            return false;
        }
        if (!got) {
            why = "the patches could not be fetched";
            return false;
        }
        // Patches a range did not bring (a short answer) are counted as failed.
        while (next < m_vecChosen.size() && m_vecChosen[next].first->offset < range.offset + range.length) {
            ++m_nFailed;
            ++next;
        }
    }
    return true;
}

}  // namespace fl
