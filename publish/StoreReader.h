#pragma once
// A release's chunks read back from its store, each checked against its digest.
#include <fcntl.h>
#include <unistd.h>
#include <zstd.h>

#include <memory>
#include <string>

#include "update/chunks/ChunkIndex.h"
#include "update/integrity/Sha256.h"

namespace fl {

// A release's chunks read back from its store, each checked against its digest.
class CStoreReader {
public:
    explicit CStoreReader(const std::string& path) : m_fd(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~CStoreReader() {
        if (m_fd >= 0) close(m_fd);
    }
    bool Ok() const { return m_fd >= 0 && m_dctx; }
    bool Read(const ChunkRef& c, std::string& out) {
        m_frame.resize(size_t(c.stored));
        if (pread(m_fd, m_frame.data(), m_frame.size(), c.offset) != (ssize_t)m_frame.size()) return false;
        out.resize(size_t(c.size));
        const size_t n = ZSTD_decompressDCtx(m_dctx.get(), out.data(), out.size(), m_frame.data(), m_frame.size());
        return !ZSTD_isError(n) && n == out.size() && Sha256DigestOf(out) == c.sha256;
    }

private:
    int m_fd;
    std::unique_ptr<ZSTD_DCtx, size_t (*)(ZSTD_DCtx*)> m_dctx{ZSTD_createDCtx(), ZSTD_freeDCtx};
    std::string m_frame;
};

}  // namespace fl
