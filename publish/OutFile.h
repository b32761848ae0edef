#pragma once
// A file of the tree written under a temporary name and renamed into place by
// Commit; removed when it is never committed.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/FileOps.h"

namespace fl {

class COutFile {
public:
    explicit COutFile(std::string path) : m_strPath(std::move(path)), m_strTemp(m_strPath + ".publishing") {
        m_fd = open(m_strTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    }
    ~COutFile() {
        if (m_fd >= 0) close(m_fd);
        if (!m_bDone) unlink(m_strTemp.c_str());
    }
    bool Ok() const { return m_fd >= 0; }
    bool Write(const void* data, size_t size) {
        m_nSize += (long long)size;
        return WriteAll(m_fd, static_cast<const char*>(data), size);
    }
    bool Write(const std::string& text) { return Write(text.data(), text.size()); }
    long long Size() const { return m_nSize; }
    bool Commit() {
        const bool ok = fsync(m_fd) == 0 && close(m_fd) == 0;
        m_fd = -1;
        m_bDone = ok && std::rename(m_strTemp.c_str(), m_strPath.c_str()) == 0;
        return m_bDone;
    }

private:
    std::string m_strPath, m_strTemp;
    int m_fd = -1;
    long long m_nSize = 0;
    bool m_bDone = false;
};

}  // namespace fl
