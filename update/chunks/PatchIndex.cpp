#include "update/chunks/PatchIndex.h"

#include "update/chunks/ChunkIndex.h"

#include <zstd.h>

#include <memory>
#include <set>

#include "platform/TextCodec.h"
#include "update/PathSafety.h"

namespace fl {


std::string CPatchIndex::HeaderLines(const std::string& release) {
    return "#patchindex|1\nrelease|" + release + "\nstore|" + PatchStoreName(release) + "\n";
}

std::string CPatchIndex::PatchLine(const ChunkPatch& p) {
    std::string refs;
    for (const Digest& d : p.refs) refs += (refs.empty() ? "" : "+") + d.Hex();
    return Format("patch|%lld|%lld|%lld|%s\n", p.target, p.offset, p.stored, refs.c_str());
}

bool CPatchIndex::Parse(const std::string& text, std::string& why) {
    *this = CPatchIndex();
    std::set<long long> targets;
    const bool parsed = ParseIndexLines(text, "#patchindex|1", why, [&](const std::vector<std::string>& f, std::string& what) {
        if (f[0] == "release" && f.size() == 2 && m_strRelease.empty() && !f[1].empty()) {
            m_strRelease = f[1];
        } else if (f[0] == "store" && f.size() == 2 && m_strStore.empty()) {
            if (!IsSafeSegment(f[1])) return what = "a store that is not a plain name", false;
            m_strStore = f[1];
        } else if (f[0] == "patch" && f.size() == 5) {
            ChunkPatch p;
            const std::vector<std::string> refs = IndexFields(f[4], '+');
            if (!IndexNumber(f[1], p.target) || !IndexNumber(f[2], p.offset) || !IndexNumber(f[3], p.stored) || p.stored <= 0 ||
                refs.size() > size_t(kMaxPatchRefs))
                return what = "a malformed patch line", false;
            for (const std::string& hex : refs) {
                Digest d;
                if (!Digest::FromHex(hex, d) || hex.size() != 64) return what = "a malformed reference", false;
                p.refs.push_back(d);
            }
            if (!targets.insert(p.target).second) return what = "a chunk patched twice", false;
            m_vecPatches.push_back(std::move(p));
        } else {
            return what = "an unknown or repeated line", false;
        }
        return true;
    });
    if (parsed && (m_strRelease.empty() || m_strStore.empty())) {
        why = "the patch index lacks its header lines";
        return false;
    }
    return parsed;
}

bool ApplyPatch(const std::string& reference, const char* frame, size_t frameSize, long long size, std::string& out) {
    std::unique_ptr<ZSTD_DCtx, size_t (*)(ZSTD_DCtx*)> dctx(ZSTD_createDCtx(), ZSTD_freeDCtx);
    // A hostile frame may ask for a window of gigabytes: the reference and one chunk need far less.
    if (!dctx || ZSTD_isError(ZSTD_DCtx_setParameter(dctx.get(), ZSTD_d_windowLogMax, 23)) ||
        ZSTD_isError(ZSTD_DCtx_refPrefix(dctx.get(), reference.data(), reference.size())))
        return false;
    out.resize(size_t(size));
    const size_t n = ZSTD_decompressDCtx(dctx.get(), out.data(), out.size(), frame, frameSize);
    return !ZSTD_isError(n) && n == size_t(size);
}

}  // namespace fl
