#include "update/FileJournal.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/FileOps.h"

namespace fl {

CFileJournal::~CFileJournal() {
    if (m_fd >= 0) close(m_fd);
}

void CFileJournal::SetPath(const std::string& path) {
    std::lock_guard lock(m_cs);
    if (path == m_strPath) return;
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
    m_strPath = path;
}

void CFileJournal::Append(const std::string& name, const std::string& version) {
    std::lock_guard lock(m_cs);
    if (m_strPath.empty()) return;
    if (m_fd < 0) m_fd = open(m_strPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const std::string line = name + "|" + version + "\n";
    if (m_fd >= 0) WriteAll(m_fd, line.data(), line.size());  // one write: a line is whole or torn at the end
}

bool CFileJournal::Replay(const std::function<void(std::string_view)>& onLine) {
    std::string text;
    {
        std::lock_guard lock(m_cs);
        if (m_strPath.empty() || !ReadWholeFile(m_strPath, text)) return false;
    }
    size_t start = 0;
    for (size_t nl = text.find('\n'); nl != std::string::npos; nl = text.find('\n', start)) {
        onLine(std::string_view(text).substr(start, nl - start));
        start = nl + 1;
    }
    if (start < text.size()) {
        // A line torn by a kill: cut away, or the next line appended would join it.
        std::lock_guard lock(m_cs);
        if (m_fd >= 0) close(m_fd);
        m_fd = -1;
        if (truncate(m_strPath.c_str(), off_t(start)) != 0) unlink(m_strPath.c_str());
    }
    return true;
}

void CFileJournal::Remove() {
    std::lock_guard lock(m_cs);
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
    if (!m_strPath.empty()) unlink(m_strPath.c_str());
}

}  // namespace fl
