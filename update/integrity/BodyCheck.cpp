#include "update/integrity/BodyCheck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace fl {

CBodyCheck::CBodyCheck(Expectation expect, bool hashAlways)
    : m_expect(std::move(expect)), m_bHash(m_expect.check || hashAlways) {}

void CBodyCheck::Reset() {
    m_hash = CSha256();
    m_nBytes = 0;
    m_strDigest.clear();
}

bool CBodyCheck::AddFile(const std::string& path, long long bytes) {
    if (bytes <= 0) return true;
    if (!m_bHash) {
        m_nBytes += bytes;
        return true;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::vector<char> buffer(1 << 20);
    long long left = bytes;
    bool ok = true;
    while (left > 0) {
        const ssize_t n = read(fd, buffer.data(), size_t(std::min<long long>(left, (long long)buffer.size())));
        if (n <= 0) {
            ok = false;
            break;
        }
        Update(buffer.data(), size_t(n));
        left -= n;
    }
    close(fd);
    return ok;
}

bool CBodyCheck::Update(const char* data, size_t size) {
    m_nBytes += static_cast<long long>(size);
    if (m_bHash) m_hash.Update(data, size);
    return !m_expect.check || !m_expect.listed || m_nBytes <= m_expect.size;
}

std::string CBodyCheck::SizeProblem(long long total) const {
    if (!m_expect.check) return {};
    if (!m_expect.listed) return "not in hash.pat";
    if (total > 0 && total != m_expect.size)
        return "announced " + std::to_string(total) + " bytes, hash.pat lists " + std::to_string(m_expect.size);
    return {};
}

std::string CBodyCheck::Verdict() {
    if (m_bHash && m_strDigest.empty()) m_strDigest = m_hash.HexDigest();
    if (!m_expect.check) return {};
    if (!m_expect.listed) return "not in hash.pat";
    if (m_nBytes != m_expect.size)
        return "got " + std::to_string(m_nBytes) + " bytes, hash.pat lists " + std::to_string(m_expect.size);
    if (m_strDigest != m_expect.sha256) return "SHA-256 differs from hash.pat";
    return {};
}

std::string CheckFile(const std::string& path, const Expectation& expect) {
    if (!expect.check) return {};
    struct stat st {};
    CBodyCheck check(expect, true);
    if (stat(path.c_str(), &st) != 0 || !check.AddFile(path, (long long)st.st_size)) return "cannot be read";
    return check.Verdict();
}

}  // namespace fl
