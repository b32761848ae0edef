#include "publish/UpdateCost.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>

#include "platform/FileOps.h"
#include "update/chunks/ChunkAssembler.h"
#include "update/chunks/ChunkPatcher.h"
#include "update/chunks/DeltaIndex.h"
#include "update/integrity/HashList.h"

namespace fl {

namespace {

long long SizeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? (long long)st.st_size : -1;
}

bool ReadIndex(const std::string& path, CChunkIndex& index) {
    std::string why;
    return index.ParseFile(path, why, [](IndexedFile&) { return false; });
}

}  // namespace

long long ListBytes(const std::string& tree, const std::string& name) {
    const long long copy = SizeOf(tree + "/" + name + ".gz");
    return copy >= 0 ? copy : SizeOf(tree + "/" + name);
}

CUpdateCosts::CUpdateCosts(std::string tree) : m_strTree(std::move(tree)) {
    std::string text;
    m_bRead = ReadWholeFile(m_strTree + "/hash.pat", text) && m_list.Parse(text) &&
              ReadIndex(m_strTree + "/" + m_list.Release() + ".idx", m_index);
}

PlayerCost CUpdateCosts::From(const std::string& from) const {
    PlayerCost c;
    c.from = from;
    const std::string& tree = m_strTree;
    const std::string& release = Release();
    const CHashList& list = m_list;
    const CChunkIndex& next = m_index;
    CChunkIndex held;
    if (!m_bRead || (!from.empty() && !ReadIndex(tree + "/" + from + ".idx", held))) return c;
    c.known = true;
    // Every start: the launcher's version, the signed list and its signature.
    c.lists.Add(ListBytes(tree, "luncherVersion.pat"));
    c.lists.Add(ListBytes(tree, "hash.pat"));
    c.lists.Add(SizeOf(tree + "/" + ReleaseSignatureName(release)));
    // A folder whole for this very release (signed anew when it was rolled back to) has nothing to fetch.
    if (from == release) return c;
    // The files: from the delta index against the folder's release, or the whole index.
    const std::string delta = from.empty() ? std::string() : DeltaIndexName(release, from);
    c.delta = !delta.empty() && list.Find(delta) && SizeOf(tree + "/" + delta) >= 0;
    c.index.Add(ListBytes(tree, c.delta ? delta : release + ".idx"));
    c.lists.Add(ListBytes(tree, ReleaseCopyName(release, "version.pat")));
    // The folder's chunks: every file of its release, where that release has it.
    CLocalChunks local("/", next.m_params, {});
    std::map<std::string, const IndexedFile*> heldFiles;
    for (const IndexedFile& f : held.m_files) {
        heldFiles[f.name] = &f;
        long long at = 0;
        for (const ChunkRef& chunk : f.chunks) {
            local.AddChunk(f.name, at, chunk.size, chunk.sha256);
            at += chunk.size;
        }
    }
    const auto whole = [&](const IndexedFile& f) {
        auto it = heldFiles.find(f.name);
        return it != heldFiles.end() && it->second->size == f.size && it->second->sha256 == f.sha256;
    };
    ChunkPlan plan = MakeChunkPlan(next, local, whole);
    c.filesBuilt = (long long)plan.build.size();
    // Patches, when the folder holds what they patch (a delta index carries its own).
    const std::string patchIndex = PatchIndexName(release);
    CPatchIndex patches;
    std::string text, why;
    if (plan.remoteChunks > 0 && plan.localChunks > 0 && list.Find(PatchStoreName(release)) && list.Find(patchIndex) &&
        ReadWholeFile(tree + "/" + patchIndex, text) && patches.Parse(text, why)) {
        if (!c.delta) c.index.Add(ListBytes(tree, patchIndex));
        const ChosenPatches chosen = ChoosePatches(patches, plan, local);
        if (!chosen.empty()) {
            long long bytes = 0;
            const size_t requests = PatchRanges(chosen, bytes).size();
            c.patches.Add(bytes, int(requests));
            c.patchesUsed = (long long)chosen.size();
            long long at = 0;
            for (const auto& [patch, chunk] : chosen) {
                local.AddChunk(CChunkPatcher::kPatchedFile, at, chunk->size, chunk->sha256);
                at += chunk->size;
            }
            plan = MakeChunkPlan(next, local, whole);
        }
    }
    // The store's ranges, in two workers' shares.
    if (!plan.build.empty()) {
        RemoteChunks remote;
        for (const IndexedFile* f : plan.build)
            for (const ChunkRef& chunk : f->chunks)
                if (chunk.stored > 0 && !local.Find(chunk.sha256)) remote.emplace_back(chunk.offset, &chunk);
        std::sort(remote.begin(), remote.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        remote.erase(std::unique(remote.begin(), remote.end(),
                                 [](const auto& a, const auto& b) { return a.first == b.first; }),
                     remote.end());
        size_t requests = 0;
        for (const auto& share : ShareRanges(plan.fetch, remote, 2)) requests += share.size();
        c.chunks.Add(plan.fetchBytes, int(requests));
    }
    // The lists saved at the end.
    c.lists.Add(ListBytes(tree, ReleaseCopyName(release, "version.pat")));
    c.lists.Add(ListBytes(tree, ReleaseCopyName(release, "PackVersion.pat")));
    return c;
}

}  // namespace fl
