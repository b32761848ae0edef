#include "update/chunks/DeltaIndex.h"

#include <set>

#include "platform/TextCodec.h"
#include "update/PathSafety.h"
#include "update/chunks/ChunkPlan.h"

namespace fl {

std::string CDeltaIndex::HeaderLines(const std::string& release, const std::string& from, const ChunkerParams& params,
                                     const std::string& store, const std::string& patches) {
    return "#deltaindex|1\nrelease|" + release + "\nfrom|" + from + "\nchunker|" + params.Describe() + "\nstore|" + store +
           "\n" + (patches.empty() ? "" : "patches|" + patches + "\n");
}

std::string CDeltaIndex::PatchLine(long long offset, long long stored, long long first, long long count) {
    return Format("patch|%lld|%lld|%lld|%lld\n", offset, stored, first, count);
}

std::string CDeltaIndex::SameLine(long long first, long long count) { return Format("same|%lld|%lld\n", first, count); }

bool CDeltaIndex::Parse(const std::string& text, std::string& why) {
    *this = CDeltaIndex();
    bool chunker = false;
    std::set<std::string> names;
    const bool parsed = ParseIndexLines(text, "#deltaindex|1", why, [&](const std::vector<std::string>& f, std::string& what) {
        if (f[0] == "release" && f.size() == 2 && m_strRelease.empty() && !f[1].empty()) {
            m_strRelease = f[1];
        } else if (f[0] == "from" && f.size() == 2 && m_strFrom.empty() && !f[1].empty()) {
            m_strFrom = f[1];
        } else if (f[0] == "chunker" && f.size() == 2 && !chunker) {
            if (!ChunkerParams::Parse(f[1], m_params)) return what = "an unknown chunker", false;
            chunker = true;
        } else if (f[0] == "store" && f.size() == 2 && m_strStore.empty()) {
            if (!IsSafeSegment(f[1])) return what = "a store that is not a plain name", false;
            m_strStore = f[1];
        } else if (f[0] == "patches" && f.size() == 2 && m_strPatches.empty()) {
            if (!IsSafeSegment(f[1])) return what = "a patch store that is not a plain name", false;
            m_strPatches = f[1];
        } else if (f[0] == "file" && f.size() == 5) {
            DeltaFile file;
            if (!ParseIndexFileLine(f, file.file, what)) return false;
            if (!names.insert(file.file.name).second) return what = ShortName(file.file.name) + ": a file named twice", false;
            m_vecFiles.push_back(std::move(file));
        } else if (f[0] == "same" && f.size() == 3 && !m_vecFiles.empty()) {
            DeltaPiece p;
            if (!IndexNumber(f[1], p.first) || !IndexNumber(f[2], p.count) || p.count <= 0 || p.count > (1LL << 32))
                return what = "a malformed run", false;
            m_vecFiles.back().pieces.push_back(p);
        } else if (f[0] == "patch" && f.size() == 5 && !m_strPatches.empty() && !m_vecFiles.empty() &&
                   !m_vecFiles.back().pieces.empty() && m_vecFiles.back().pieces.back().first < 0 &&
                   m_vecFiles.back().pieces.back().patch.stored == 0) {
            DeltaPiece& p = m_vecFiles.back().pieces.back();
            if (!IndexNumber(f[1], p.patch.offset) || !IndexNumber(f[2], p.patch.stored) || p.patch.stored <= 0 ||
                !IndexNumber(f[3], p.patchFirst) || !IndexNumber(f[4], p.patchCount) || p.patchCount <= 0 ||
                p.patchCount > kMaxPatchRefs)
                return what = "a malformed patch line", false;
            p.patch.target = p.chunk.offset;
        } else if (f[0] == "chunk" && f.size() == 5 && !m_vecFiles.empty() && chunker) {
            DeltaPiece p;
            if (!ParseIndexChunkLine(f, m_params, p.chunk, what)) return false;
            m_vecFiles.back().pieces.push_back(p);
        } else {
            return what = "an unknown or repeated line", false;
        }
        return true;
    });
    if (parsed && (!chunker || m_strRelease.empty() || m_strFrom.empty() || m_strStore.empty())) {
        why = "the delta index lacks its header lines";
        return false;
    }
    return parsed;
}

bool CDeltaIndex::Expand(CLocalChunks& local, CChunkIndex& out, CPatchIndex& patches, std::string& why) const {
    out = CChunkIndex();
    patches = CPatchIndex();
    patches.m_strRelease = m_strRelease;
    patches.m_strStore = m_strPatches;
    out.m_strRelease = m_strRelease;
    out.m_strStore = m_strStore;
    out.m_params = m_params;
    for (const DeltaFile& d : m_vecFiles) {
        IndexedFile file = d.file;
        const std::vector<std::pair<Digest, long long>>* before = nullptr;
        long long total = 0;
        for (const DeltaPiece& p : d.pieces) {
            if (p.first < 0) {
                file.chunks.push_back(p.chunk);
                total += p.chunk.size;
                // Its patch, when the folder's version of the file has what it refers to.
                if (p.patch.stored > 0 && local.AddFile(file.name)) {
                    const auto* cut = local.CutOf(file.name);
                    if (cut && p.patchFirst + p.patchCount <= (long long)cut->size()) {
                        ChunkPatch patch = p.patch;
                        for (long long i = p.patchFirst; i < p.patchFirst + p.patchCount; ++i)
                            patch.refs.push_back((*cut)[size_t(i)].first);
                        patches.m_vecPatches.push_back(std::move(patch));
                    }
                }
                continue;
            }
            // The previous version is the folder's own file of that name, as it was cut.
            if (!before && (!local.AddFile(file.name) || !(before = local.CutOf(file.name)))) {
                why = ShortName(file.name) + " is not here to take its unchanged chunks from";
                return false;
            }
            if (p.first + p.count > (long long)before->size()) {
                why = ShortName(file.name) + " here is not the version the release changed";
                return false;
            }
            // Taken from the folder only: no store place (a run that finds it changed fails, and whole files follow).
            for (long long i = p.first; i < p.first + p.count; ++i) {
                const auto& [sha, size] = (*before)[size_t(i)];
                file.chunks.push_back(ChunkRef{sha, size, 0, 0});
                total += size;
            }
        }
        if (total != file.size) {
            why = "the chunks of " + ShortName(file.name) + " do not add up to its size";
            return false;
        }
        out.m_files.push_back(std::move(file));
    }
    return true;
}

}  // namespace fl
