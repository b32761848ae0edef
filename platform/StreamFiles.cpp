#include "platform/StreamFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/FileOps.h"

namespace fl {

bool ForEachLine(const std::string& path, const std::function<bool(std::string_view line, bool whole)>& onLine) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::string pending;
    char buf[65536];
    bool ok = true;
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        size_t start = 0;
        for (size_t i = 0; i < size_t(n); ++i) {
            if (buf[i] != '\n') continue;
            bool go;
            if (pending.empty()) {
                go = onLine(std::string_view(buf + start, i - start), true);
            } else {
                pending.append(buf + start, i - start);
                go = onLine(pending, true);
                pending.clear();
            }
            start = i + 1;
            if (!go) {
                close(fd);
                return true;
            }
        }
        pending.append(buf + start, size_t(n) - start);
    }
    close(fd);
    if (ok && !pending.empty()) onLine(pending, false);
    return ok;
}

CAtomicFileWriter::CAtomicFileWriter(std::string path) : m_strPath(std::move(path)), m_strTemp(m_strPath + ".saving") {
    m_fd = open(m_strTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    m_bFailed = m_fd < 0;
}

CAtomicFileWriter::~CAtomicFileWriter() {
    if (m_fd >= 0) {
        close(m_fd);
        unlink(m_strTemp.c_str());
    }
}

void CAtomicFileWriter::Write(std::string_view bytes) {
    m_strBuffer.append(bytes);
    if (m_strBuffer.size() >= (1 << 18)) Flush();
}

bool CAtomicFileWriter::Flush() {
    if (!m_bFailed && !WriteAll(m_fd, m_strBuffer.data(), m_strBuffer.size())) m_bFailed = true;
    m_strBuffer.clear();
    return !m_bFailed;
}

bool CAtomicFileWriter::Commit() {
    if (m_fd < 0) return false;
    bool ok = Flush() && fsync(m_fd) == 0;
    ok = close(m_fd) == 0 && ok;
    m_fd = -1;
    if (ok) ok = std::rename(m_strTemp.c_str(), m_strPath.c_str()) == 0;
    if (!ok) unlink(m_strTemp.c_str());
    return ok;
}

}  // namespace fl
