#include "update/chunks/ChunkPlan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "platform/FileOps.h"
#include "platform/TextCodec.h"
#include "update/PathSafety.h"
#include "update/integrity/Sha256.h"

namespace fl {

namespace {

long long Number(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }

}  // namespace

CLocalChunks::CLocalChunks(std::string root, ChunkerParams params, std::string cachePath)
    : m_strRoot(std::move(root)), m_params(params), m_strCachePath(std::move(cachePath)) {
    // "chunker|PARAMS", then "file|NAME|SIZE|MTIME_NS" and its "c|SHA|SIZE" lines.
    std::string text;
    if (!ReadWholeFile(m_strCachePath, text) || text.rfind("chunker|" + m_params.Describe() + "\n", 0) != 0) return;
    Cut* current = nullptr;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) break;  // a torn last line counts for nothing
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.rfind("file|", 0) == 0) {
            const size_t a = line.rfind('|'), b = line.rfind('|', a - 1);
            if (b <= 5) return;
            // The cache is a file anyone could edit: its names pass the gate as a server's do.
            const std::string name = line.substr(5, b - 5);
            if (!IsSafeRelativeName(name) || name.find('\\') != std::string::npos) {
                current = nullptr;
                continue;
            }
            Cut cut;
            cut.size = Number(line.substr(b + 1));
            cut.mtimeNs = Number(line.substr(a + 1));
            current = &(m_cache[name] = cut);
        } else if (line.rfind("c|", 0) == 0 && current && line.size() > 67) {
            current->chunks.emplace_back(line.substr(2, 64), Number(line.substr(67)));
        }
    }
}

bool CLocalChunks::AddFile(const std::string& name) {
    const std::string path = m_strRoot + name;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const long long mtime = (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    Cut cut;
    auto cached = m_cache.find(name);
    if (cached != m_cache.end() && cached->second.size == (long long)st.st_size && cached->second.mtimeNs == mtime) {
        cut = cached->second;
    } else {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        cut.size = (long long)st.st_size;
        cut.mtimeNs = mtime;
        CChunkReader reader(fd, m_params);
        const uint8_t* data = nullptr;
        size_t length = 0;
        while (reader.Next(data, length)) {
            CSha256 h;
            h.Update(data, length);
            cut.chunks.emplace_back(h.HexDigest(), (long long)length);
            m_nBytesRead += (long long)length;
        }
        const bool ok = !reader.Failed();
        close(fd);
        if (!ok) return false;
    }
    long long offset = 0;
    for (const auto& [sha, size] : cut.chunks) {
        m_byHash.emplace(sha, LocalChunk{name, offset, size});
        offset += size;
    }
    m_used[name] = std::move(cut);
    return true;
}

void CLocalChunks::AddCachedFiles() {
    std::vector<std::string> names;
    for (const auto& [name, cut] : m_cache) names.push_back(name);
    for (const std::string& name : names)
        if (!m_used.count(name)) AddFile(name);
}

void CLocalChunks::AddChunk(const std::string& name, long long offset, long long size, const std::string& sha256) {
    m_byHash.emplace(sha256, LocalChunk{name, offset, size});
}

const LocalChunk* CLocalChunks::Find(const std::string& sha256) const {
    auto it = m_byHash.find(sha256);
    return it == m_byHash.end() ? nullptr : &it->second;
}

bool CLocalChunks::Matches(const IndexedFile& file) const {
    auto it = m_used.find(file.name);
    if (it == m_used.end() || it->second.size != file.size || it->second.chunks.size() != file.chunks.size()) return false;
    for (size_t i = 0; i < file.chunks.size(); ++i)
        if (it->second.chunks[i].first != file.chunks[i].sha256 || it->second.chunks[i].second != file.chunks[i].size)
            return false;
    return true;
}

void CLocalChunks::Remember(const IndexedFile& file) {
    struct stat st {};
    if (stat((m_strRoot + file.name).c_str(), &st) != 0) return;
    Cut cut;
    cut.size = (long long)st.st_size;
    cut.mtimeNs = (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    for (const ChunkRef& c : file.chunks) cut.chunks.emplace_back(c.sha256, c.size);
    m_used[file.name] = std::move(cut);
}

bool CLocalChunks::SaveCache() const {
    std::string text = "chunker|" + m_params.Describe() + "\n";
    for (const auto& [name, cut] : m_used) {
        text += Format("file|%s|%lld|%lld\n", name.c_str(), cut.size, cut.mtimeNs);
        for (const auto& [sha, size] : cut.chunks) text += "c|" + sha + "|" + std::to_string(size) + "\n";
    }
    return WriteFileAtomically(m_strCachePath, text);
}

ChunkPlan MakeChunkPlan(const CChunkIndex& index, const CLocalChunks& local,
                        const std::function<bool(const IndexedFile&)>& whole, long long gap) {
    ChunkPlan plan;
    std::set<long long> wanted;  // store offsets, each stored chunk once
    std::map<long long, long long> stored;
    for (const IndexedFile& file : index.m_files) {
        if (whole(file)) continue;
        plan.build.push_back(&file);
        plan.buildBytes += file.size;
        for (const ChunkRef& c : file.chunks) {
            if (local.Find(c.sha256)) {
                ++plan.localChunks;
                continue;
            }
            ++plan.remoteChunks;
            if (wanted.insert(c.offset).second) stored[c.offset] = c.stored;
        }
    }
    for (const auto& [offset, length] : stored) {
        plan.fetchBytes += length;
        if (!plan.fetch.empty()) {
            StoreRange& last = plan.fetch.back();
            if (offset <= last.offset + last.length + gap && offset >= last.offset + last.length) {
                const long long end = std::max(last.offset + last.length, offset + length);
                plan.fetchBytes += offset - (last.offset + last.length);  // the gap comes along
                last.length = end - last.offset;
                continue;
            }
        }
        plan.fetch.push_back({offset, length});
    }
    return plan;
}

}  // namespace fl
