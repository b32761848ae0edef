#include "update/chunks/ChunkPlan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "platform/FileOps.h"
#include "platform/StreamFiles.h"
#include "platform/TextCodec.h"
#include "update/PathSafety.h"
#include "update/integrity/Sha256.h"

namespace fl {

namespace {

long long Number(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }

}  // namespace

bool ReadLocalChunk(const std::string& root, const LocalChunk& where, const Digest& sha256, std::string& out) {
    out.resize(size_t(where.size));
    return ReadFileAt(root + *where.name, out, where.offset) && Sha256DigestOf(out) == sha256;
}

CLocalChunks::CLocalChunks(std::string root, ChunkerParams params, std::string cachePath)
    : m_strRoot(std::move(root)), m_params(params), m_strCachePath(std::move(cachePath)) {
    // "chunker|PARAMS", then "file|NAME|SIZE|MTIME_NS" and its "c|SHA|SIZE" lines.
    const std::string header = "chunker|" + m_params.Describe();
    bool first = true;
    Cut* current = nullptr;
    ForEachLine(m_strCachePath, [&](std::string_view line, bool whole) {
        if (!whole) return false;  // a torn last line counts for nothing
        if (first) {
            first = false;
            return line == header;
        }
        if (line.rfind("file|", 0) == 0) {
            const size_t a = line.rfind('|'), b = line.rfind('|', a - 1);
            if (b <= 5) return false;
            // The cache is a file anyone could edit: its names pass the gate as a server's do.
            const std::string name(line.substr(5, b - 5));
            current = nullptr;
            if (!IsSafeRelativeName(name) || name.find('\\') != std::string::npos) return true;
            Cut cut;
            cut.size = Number(std::string(line.substr(b + 1, a - b - 1)));
            cut.mtimeNs = Number(std::string(line.substr(a + 1)));
            current = &(m_cache[name] = std::move(cut));
        } else if (line.rfind("c|", 0) == 0 && current && line.size() > 67) {
            Digest d;
            if (Digest::FromHex(line.substr(2, 64), d)) current->chunks.emplace_back(d, Number(std::string(line.substr(67))));
        }
        return true;
    });
}

bool CLocalChunks::AddFile(const std::string& name) {
    const std::string path = m_strRoot + name;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const long long mtime = (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    auto known = m_used.find(name);  // added already (from the cache, or cut) and unchanged since
    if (known != m_used.end() && known->second.size == (long long)st.st_size && known->second.mtimeNs == mtime) return true;
    Cut cut;
    auto cached = m_cache.find(name);
    if (cached != m_cache.end() && cached->second.size == (long long)st.st_size && cached->second.mtimeNs == mtime) {
        cut = std::move(cached->second);
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
            Digest d;
            Digest::FromHex(h.HexDigest(), d);
            cut.chunks.emplace_back(d, (long long)length);
            m_nBytesRead += (long long)length;
        }
        const bool ok = !reader.Failed();
        close(fd);
        if (!ok) return false;
    }
    if (cached != m_cache.end()) m_cache.erase(cached);
    m_used.insert_or_assign(name, std::move(cut));
    m_bStale = true;
    return true;
}

void CLocalChunks::AddCachedFiles() {
    std::vector<std::string> names;
    for (const auto& [name, cut] : m_cache) names.push_back(name);
    for (const std::string& name : names)
        if (!m_used.count(name)) AddFile(name);
}

void CLocalChunks::AddChunk(const std::string& name, long long offset, long long size, const Digest& sha256) {
    m_vecAdded.push_back({sha256, LocalChunk{&*m_setOtherNames.insert(name).first, offset, size}});
    m_bStale = true;
}

void CLocalChunks::KeepOnly(std::function<bool(const Digest&)> wanted) {
    m_wanted = std::move(wanted);
    m_bStale = true;
}

const LocalChunk* CLocalChunks::Find(const Digest& sha256) const {
    if (m_bStale) {
        // The files first, in name order, then chunks added on their own: the first place of a chunk wins.
        m_byHash.clear();
        for (const auto& [name, cut] : m_used) {
            long long offset = 0;
            for (const auto& [sha, size] : cut.chunks) {
                if (!m_wanted || m_wanted(sha)) m_byHash.emplace(sha, LocalChunk{&name, offset, size});
                offset += size;
            }
        }
        for (const Added& a : m_vecAdded)
            if (!m_wanted || m_wanted(a.sha256)) m_byHash.emplace(a.sha256, a.where);
        m_bStale = false;
    }
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
    if (stat((m_strRoot + file.name).c_str(), &st) != 0 || (long long)st.st_size != file.size) return;
    m_used.erase(file.name);
    m_setForgotten.erase(file.name);
    m_vecRemembered.push_back({&file, (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec});
    m_bStale = true;
}

bool CLocalChunks::SaveCache() const {
    CAtomicFileWriter out(m_strCachePath);
    out.Write("chunker|" + m_params.Describe() + "\n");
    for (const auto& [name, cut] : m_used) {
        if (m_setForgotten.count(name)) continue;
        out.Write(Format("file|%s|%lld|%lld\n", name.c_str(), cut.size, cut.mtimeNs));
        for (const auto& [sha, size] : cut.chunks) out.Write("c|" + sha.Hex() + "|" + std::to_string(size) + "\n");
    }
    for (const Remembered& r : m_vecRemembered) {
        if (m_setForgotten.count(r.file->name)) continue;
        out.Write(Format("file|%s|%lld|%lld\n", r.file->name.c_str(), r.file->size, r.mtimeNs));
        for (const ChunkRef& c : r.file->chunks) out.Write("c|" + c.sha256.Hex() + "|" + std::to_string(c.size) + "\n");
    }
    return out.Commit();
}

std::vector<StoreRange> MergeRanges(const std::map<long long, long long>& pieces, long long gap, long long& bytes) {
    std::vector<StoreRange> ranges;
    bytes = 0;
    for (const auto& [offset, length] : pieces) {
        bytes += length;
        if (!ranges.empty()) {
            StoreRange& last = ranges.back();
            if (offset <= last.offset + last.length + gap && offset >= last.offset + last.length) {
                const long long end = std::max(last.offset + last.length, offset + length);
                bytes += offset - (last.offset + last.length);  // the gap comes along
                last.length = end - last.offset;
                continue;
            }
        }
        ranges.push_back({offset, length});
    }
    return ranges;
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
            // A chunk with no place in the store comes from the folder or not at all (the assembler says so).
            if (c.stored > 0 && wanted.insert(c.offset).second) stored[c.offset] = c.stored;
        }
    }
    plan.fetch = MergeRanges(stored, gap, plan.fetchBytes);
    return plan;
}

}  // namespace fl
