#include "publish/ChunkStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zstd.h>

#include <cstdio>
#include <memory>
#include <unordered_map>

#include "platform/FileOps.h"
#include "publish/OutFile.h"
#include "update/chunks/ChunkIndex.h"
#include "update/integrity/Sha256.h"

namespace fl {

namespace {

struct Stored {
    long long offset, stored;
};

}  // namespace

bool WriteChunkedRelease(const std::string& outDir, const std::string& release, const std::vector<ChunkSource>& files,
                         const ChunkerParams& params, std::string& error) {
    const std::string storeName = release + ".chunks";
    COutFile store(outDir + "/" + storeName), index(outDir + "/" + release + ".idx");
    if (!store.Ok() || !index.Ok()) {
        error = "cannot write the chunk store in " + outDir;
        return false;
    }
    std::unique_ptr<ZSTD_CCtx, size_t (*)(ZSTD_CCtx*)> zc(ZSTD_createCCtx(), ZSTD_freeCCtx);
    std::vector<char> packed(ZSTD_compressBound(params.maxSize));
    std::unordered_map<Digest, Stored, DigestHash> seen;
    bool ok = index.Write(CChunkIndex::HeaderLines(release, params, storeName));
    for (const ChunkSource& source : files) {
        if (!ok) break;
        const int fd = open(source.path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd < 0 || fstat(fd, &st) != 0) {
            if (fd >= 0) close(fd);
            error = "cannot read " + source.path;
            return false;
        }
        IndexedFile entry{source.name, source.size, {}, (st.st_mode & 0100) ? 0755u : 0644u, {}};
        Digest::FromHex(source.sha256, entry.sha256);
        ok = index.Write(CChunkIndex::FileLine(entry));
        CSha256 whole;
        long long total = 0;
        CChunkReader reader(fd, params);
        const uint8_t* data = nullptr;
        size_t length = 0;
        while (ok && reader.Next(data, length)) {
            CSha256 h;
            h.Update(data, length);
            whole.Update(data, length);
            ChunkRef chunk{{}, (long long)length, 0, 0};
            Digest::FromHex(h.HexDigest(), chunk.sha256);
            auto at = seen.find(chunk.sha256);
            if (at == seen.end()) {
                const size_t n = ZSTD_compressCCtx(zc.get(), packed.data(), packed.size(), data, length, 3);
                if (ZSTD_isError(n)) {
                    ok = false;
                    break;
                }
                at = seen.emplace(chunk.sha256, Stored{store.Size(), (long long)n}).first;
                ok = store.Write(packed.data(), n);
            }
            chunk.offset = at->second.offset;
            chunk.stored = at->second.stored;
            ok = ok && index.Write(CChunkIndex::ChunkLine(chunk));
            total += (long long)length;
        }
        ok = ok && !reader.Failed();
        close(fd);
        if (ok && (total != source.size || whole.HexDigest() != source.sha256)) {
            error = source.path + " changed while it was published; publish again";
            return false;
        }
    }
    if (!ok || !store.Commit() || !index.Commit()) {
        if (error.empty()) error = "cannot write the chunk store in " + outDir;
        return false;
    }
    return true;
}

}  // namespace fl
