// The delta index: each file of the release that differs from the previous
// release's, as runs of that version's chunks and chunks of its own.
#include <unordered_map>

#include "platform/FileOps.h"
#include "publish/GzipCopy.h"
#include "publish/PatchWriter.h"
#include "update/chunks/DeltaIndex.h"
#include "update/chunks/PatchIndex.h"

namespace fl {

bool WriteDeltaIndex(const ReleasePair& pair, const PatchFigures& patches, std::string& error) {
    if (!pair.usable) return true;
    const CChunkIndex& next = pair.next;
    std::string text = CDeltaIndex::HeaderLines(next.m_strRelease, pair.before.m_strRelease, next.m_params, next.m_strStore,
                                                patches.places.empty() ? "" : PatchStoreName(next.m_strRelease));
    for (const IndexedFile& f : next.m_files) {
        auto found = pair.oldFiles.find(f.name);
        const IndexedFile* old = found == pair.oldFiles.end() ? nullptr : found->second;
        if (old && old->sha256 == f.sha256 && old->mode == f.mode) continue;
        text += CChunkIndex::FileLine(f);
        std::unordered_map<Digest, long long, DigestHash> oldAt;  // first place of each chunk in the old version
        if (old)
            for (size_t i = old->chunks.size(); i-- > 0;) oldAt[old->chunks[i].sha256] = (long long)i;
        long long first = -1, count = 0;
        auto endRun = [&] {
            if (count > 0) text += CDeltaIndex::SameLine(first, count);
            first = -1;
            count = 0;
        };
        for (const ChunkRef& c : f.chunks) {
            // A run goes on while the old version goes on the same way.
            if (count > 0 && size_t(first + count) < old->chunks.size() && old->chunks[size_t(first + count)].sha256 == c.sha256) {
                ++count;
                continue;
            }
            endRun();
            if (auto at = oldAt.find(c.sha256); at != oldAt.end()) {
                first = at->second;
                count = 1;
            } else {
                text += CChunkIndex::ChunkLine(c);
                // Its patch, when one was made against this file's previous version.
                auto patch = patches.places.find(c.offset);
                if (patch != patches.places.end() && patch->second.file == f.name)
                    text += CDeltaIndex::PatchLine(patch->second.offset, patch->second.stored, patch->second.first,
                                                   patch->second.count);
            }
        }
        endRun();
    }
    const std::string name = DeltaIndexName(next.m_strRelease, pair.before.m_strRelease);
    if (!PutWithGzipCopy(pair.tree + "/" + name, text)) {
        error = "cannot write " + name;
        return false;
    }
    return true;
}

}  // namespace fl
