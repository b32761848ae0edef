#include "update/net/TempFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Folders.h"
#include "platform/FileOps.h"
#include "update/PathSafety.h"

namespace fl {

CTempFile::~CTempFile() { Close(); }

HttpRequest CTempFile::Plan() {
    HttpRequest request;
    m_nHeld = 0;
    long long held = 0;
    if (LoadResume(m_strPath, m_record, held) && held > 0 && held < m_record.total) {
        m_nHeld = held;
        request.range = std::to_string(held) + "-";
        request.ifRange = m_record.validator;
    }
    return request;
}

CTempFile::Opened CTempFile::Open(const HttpHead& head, long long& total, long long& held) {
    Close();
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
    if (head.status == 206 && m_nHeld > 0) {
        long long first = 0, last = 0, size = -1;
        if (!ParseContentRange(head.contentRange, first, last, size) || first != m_nHeld || size != m_record.total ||
            last != size - 1) {
            // Not the rest of our body: the next attempt starts over.
            RemoveResume(m_strPath);
            unlink(m_strPath.c_str());
            m_nHeld = 0;
            return Opened::NotThisAnswer;
        }
        flags |= O_APPEND;
        total = size;
        held = m_nHeld;
    } else if (head.status == 200) {
        flags |= O_TRUNC;
        total = head.contentLength > 0 ? head.contentLength : 0;
        held = 0;
        m_nHeld = 0;
        m_record = {head.contentLength, ValidatorOf(head)};
    } else {
        return Opened::NotThisAnswer;
    }
    if (!EnsureFolder(ParentOf(m_strPath))) return Opened::CannotWrite;
    m_fd = open(m_strPath.c_str(), flags, 0644);
    if (m_fd < 0) {
        m_nError = errno;
        return Opened::CannotWrite;
    }
    // The check covers the whole body: what the file holds counts first.
    m_check.Reset();
    m_bOverrun = false;
    if (held > 0 && !m_check.AddFile(m_strPath, held)) {
        Close();
        return Opened::CannotWrite;
    }
    // What a later attempt may continue; a small body is simply fetched again.
    if (head.status == 200 && head.contentLength >= kResumableSize) SaveResume(m_strPath, m_record);
    return Opened::Yes;
}

bool CTempFile::Write(const char* data, size_t size) {
    if (!m_check.Update(data, size)) {
        m_bOverrun = true;
        return false;
    }
    if (m_fd >= 0 && WriteAll(m_fd, data, size)) return true;
    m_nError = errno;
    return false;
}

std::string WriteErrorCause(const std::string& path, int error) {
    return "cannot write " + ShortName(path) + ": " + (error == ENOSPC ? std::string("disk full") : std::strerror(error));
}

void CTempFile::Discard() {
    Close();
    RemoveResume(m_strPath);
    unlink(m_strPath.c_str());
}

bool CTempFile::Close(bool flush) {
    if (m_fd < 0) return true;
    bool ok = !flush || fsync(m_fd) == 0;
    ok = close(m_fd) == 0 && ok;
    m_fd = -1;
    return ok;
}

}  // namespace fl
