#include "update/chunks/ChunkIndex.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "platform/TextCodec.h"
#include "update/PathSafety.h"

namespace fl {

namespace {

bool IsHex64(const std::string& s) {
    if (s.size() != 64) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c)) && (c < 'a' || c > 'f')) return false;
    return true;
}

// A decimal figure of at most 15 digits (no sign, no spaces).
bool Number(const std::string& s, long long& out) {
    if (s.empty() || s.size() > 15 || s.find_first_not_of("0123456789") != std::string::npos) return false;
    out = std::stoll(s);
    return true;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t bar = line.find('|', start);
        out.push_back(line.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) return out;
        start = bar + 1;
    }
}

}  // namespace

std::string CChunkIndex::HeaderLines(const std::string& release, const ChunkerParams& params, const std::string& store) {
    return "#chunkindex|1\nrelease|" + release + "\nchunker|" + params.Describe() + "\ncompression|zstd\nstore|" + store + "\n";
}

std::string CChunkIndex::FileLine(const IndexedFile& f) {
    return Format("file|%s|%lld|%s|%o\n", f.name.c_str(), f.size, f.sha256.c_str(), f.mode);
}

std::string CChunkIndex::ChunkLine(const ChunkRef& c) {
    return Format("chunk|%s|%lld|%lld|%lld\n", c.sha256.c_str(), c.size, c.offset, c.stored);
}

bool CChunkIndex::Parse(const std::string& text, std::string& why) {
    *this = CChunkIndex();
    std::set<std::string> names;
    struct Stored {
        long long offset, length;
        size_t file, chunk;
    };
    std::vector<Stored> stored;  // every chunk line's place in the store
    bool header = false, chunker = false, compression = false;
    long long chunkTotal = 0;
    auto fileDone = [&]() {
        if (m_files.empty() || chunkTotal == m_files.back().size) return true;
        why = "the chunks of " + ShortName(m_files.back().name) + " do not add up to its size";
        return false;
    };
    size_t start = 0;
    int lineNo = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const std::vector<std::string> f = Fields(line);
        const std::string& key = f[0];
        auto bad = [&](const std::string& what) {
            why = Format("line %d: %s", lineNo, what.c_str());
            return false;
        };
        if (!header) {
            if (line != "#chunkindex|1") return bad("not a chunk index of a known version");
            header = true;
        } else if (key == "release" && f.size() == 2 && m_strRelease.empty()) {
            m_strRelease = f[1];
        } else if (key == "chunker" && f.size() == 2 && !chunker) {
            if (!ChunkerParams::Parse(f[1], m_params)) return bad("an unknown chunker");
            chunker = true;
        } else if (key == "compression" && f.size() == 2 && !compression) {
            if (f[1] != "zstd") return bad("an unknown compression");
            compression = true;
        } else if (key == "store" && f.size() == 2 && m_strStore.empty()) {
            if (!IsSafeSegment(f[1])) return bad("a store that is not a plain name");
            m_strStore = f[1];
        } else if (key == "file" && f.size() == 5) {
            if (!fileDone()) return false;
            IndexedFile file;
            long long mode = 0;
            // One rule for names on every path: "\\" separates folders as "/" does.
            file.name = NormalizeSeparators(f[1]);
            if (IsReservedName(file.name)) return bad("a name in the launcher's own folder");
            if (!IsSafeRelativeName(file.name)) return bad("a name that may not become a path");
            if (!names.insert(file.name).second) return bad("a file named twice");
            if (!Number(f[2], file.size) || !IsHex64(f[3]) || f[4].empty() || f[4].size() > 4 ||
                f[4].find_first_not_of("01234567") != std::string::npos)
                return bad("a malformed file line");
            mode = std::stoll(f[4], nullptr, 8);
            file.sha256 = f[3];
            file.mode = (mode & 0100) ? 0755 : 0644;  // nothing else is ever set
            m_files.push_back(std::move(file));
            chunkTotal = 0;
        } else if (key == "chunk" && f.size() == 5) {
            if (m_files.empty() || !chunker) return bad("a chunk before its file");
            ChunkRef c;
            if (!IsHex64(f[1]) || !Number(f[2], c.size) || !Number(f[3], c.offset) || !Number(f[4], c.stored))
                return bad("a malformed chunk line");
            // Never more than the chunker makes, nor a frame much larger than its content could need.
            if (c.size <= 0 || c.size > (long long)m_params.maxSize || c.stored <= 0 || c.stored > c.size + (64 << 10))
                return bad("a chunk of an impossible size");
            c.sha256 = f[1];
            stored.push_back({c.offset, c.stored, m_files.size() - 1, m_files.back().chunks.size()});
            chunkTotal += c.size;
            if (chunkTotal > m_files.back().size) return bad("chunks past the end of their file");
            m_files.back().chunks.push_back(std::move(c));
        } else {
            return bad("an unknown or repeated line");
        }
    }
    if (!fileDone()) return false;
    if (!header || !chunker || !compression || m_strRelease.empty() || m_strStore.empty()) {
        why = "the index lacks its header lines";
        return false;
    }
    // Each stored chunk has a place of its own: one offset is one chunk (named
    // again by every file that holds it), and no two chunks' bytes overlap.
    std::sort(stored.begin(), stored.end(), [](const Stored& a, const Stored& b) { return a.offset < b.offset; });
    for (size_t i = 1; i < stored.size(); ++i) {
        const Stored& a = stored[i - 1];
        const Stored& b = stored[i];
        const ChunkRef& ca = m_files[a.file].chunks[a.chunk];
        const ChunkRef& cb = m_files[b.file].chunks[b.chunk];
        const bool same = a.offset == b.offset && ca.sha256 == cb.sha256 && ca.size == cb.size && ca.stored == cb.stored;
        if (!same && a.offset + a.length > b.offset) {
            why = Format("two chunks overlap in the store at %lld", b.offset);
            return false;
        }
    }
    // A name cannot be a file and a folder of the same release.
    for (const std::string& name : names)
        for (size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
            if (names.count(name.substr(0, slash))) {
                why = ShortName(name.substr(0, slash)) + " is both a file and a folder";
                return false;
            }
    return true;
}

}  // namespace fl
