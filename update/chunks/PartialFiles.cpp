#include "update/chunks/PartialFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/FileOps.h"
#include "platform/TextCodec.h"
#include "update/integrity/BodyCheck.h"
#include "update/integrity/Sha256.h"

namespace fl {

bool CPartialFiles::Add(long long size) {
    const int fd = open(m_pathOf(m_fds.size()).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = fstat(fd, &st) == 0;
    if (ok && (long long)st.st_size != size) ok = ftruncate(fd, 0) == 0 && ftruncate(fd, off_t(size)) == 0;
    const int saved = errno;
    close(fd);
    errno = saved;
    if (!ok) return false;
    m_fds.push_back(-1);
    return true;
}

int CPartialFiles::Open(size_t index) {
    if (m_fds[index] >= 0) return m_fds[index];
    if (m_open.size() >= kMaxOpen) {
        close(m_fds[m_open.front()]);
        m_fds[m_open.front()] = -1;
        m_open.erase(m_open.begin());
    }
    m_fds[index] = open(m_pathOf(index).c_str(), O_RDWR | O_CLOEXEC);
    if (m_fds[index] >= 0) m_open.push_back(index);
    return m_fds[index];
}

bool CPartialFiles::WriteAt(size_t index, const char* data, size_t size, long long offset) {
    const int fd = Open(index);
    if (fd < 0) return false;
    while (size > 0) {
        const ssize_t n = pwrite(fd, data, size, off_t(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= size_t(n);
        offset += n;
    }
    return true;
}

void CPartialFiles::CloseAll() {
    for (size_t index : m_open) {
        close(m_fds[index]);
        m_fds[index] = -1;
    }
    m_open.clear();
}

void CPartialFiles::Clear() {
    CloseAll();
    m_fds.clear();
}

std::string CheckBuiltFile(const std::string& path, const IndexedFile& file, const ChunkerParams& params,
                           bool& cutsFollow) {
    cutsFollow = false;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "cannot be read";
    CChunkReader reader(fd, params);
    CSha256 whole;
    const uint8_t* data = nullptr;
    size_t length = 0, at = 0;
    long long size = 0;
    bool follow = true;
    while (reader.Next(data, length)) {
        whole.Update(data, length);
        follow = follow && at < file.chunks.size() && (long long)length == file.chunks[at].size;
        ++at;
        size += (long long)length;
    }
    const bool failed = reader.Failed();
    close(fd);
    if (failed) return "cannot be read";
    if (size != file.size) return Format("has %lld bytes, the release %lld", size, file.size);
    if (whole.HexDigest() != file.sha256.Hex()) return "is not the release's content";
    cutsFollow = follow && at == file.chunks.size();
    return {};
}

std::string PlaceBuiltFile(const std::string& built, const std::string& target, const IndexedFile& file) {
    if (std::rename(built.c_str(), target.c_str()) == 0) return {};
    if (errno != EXDEV) return "cannot be renamed into place";
    const std::string temp = target + ".temp";
    const std::string verdict = CopyFileKeepMode(built, temp, false) ? CheckFile(temp, {true, true, file.size, file.sha256.Hex()})
                                                                     : std::string("cannot be copied into place");
    if (!verdict.empty() || chmod(temp.c_str(), file.mode) != 0 || std::rename(temp.c_str(), target.c_str()) != 0) {
        unlink(temp.c_str());
        return verdict.empty() ? "cannot be put in place" : verdict;
    }
    unlink(built.c_str());
    return {};
}

bool IsDiskFull(int error) { return error == ENOSPC || error == EDQUOT; }

}  // namespace fl
