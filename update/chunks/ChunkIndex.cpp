#include "update/chunks/ChunkIndex.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <set>

#include "platform/StreamFiles.h"
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

}  // namespace

bool IndexNumber(const std::string& s, long long& out) {
    if (s.empty() || s.size() > 15 || s.find_first_not_of("0123456789") != std::string::npos) return false;
    out = std::stoll(s);
    return true;
}

std::vector<std::string> IndexFields(const std::string& line, char separator) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t bar = line.find(separator, start);
        out.push_back(line.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) return out;
        start = bar + 1;
    }
}

bool ParseIndexLines(const std::string& text, const std::string& header, std::string& why,
                     const std::function<bool(const std::vector<std::string>& fields, std::string& what)>& line) {
    int number = 0;
    bool first = true;
    for (std::string l : IndexFields(text, '\n')) {
        ++number;
        if (!l.empty() && l.back() == '\r') l.pop_back();
        if (l.empty()) continue;
        std::string what;
        if (first ? l != header : !line(IndexFields(l), what)) {
            why = Format("line %d: %s", number, first ? "not an index of a known kind and version" : what.c_str());
            return false;
        }
        first = false;
    }
    if (first) why = "an empty index";
    return !first;
}

bool ParseIndexFileLine(const std::vector<std::string>& f, IndexedFile& file, std::string& what) {
    // One rule for names on every path: "\\" separates folders as "/" does.
    file.name = NormalizeSeparators(f[1]);
    if (IsReservedName(file.name)) return what = "a name in the launcher's own folder", false;
    if (!IsSafeRelativeName(file.name)) return what = "a name that may not become a path", false;
    if (!IndexNumber(f[2], file.size) || !IsHex64(f[3]) || f[4].empty() || f[4].size() > 4 ||
        f[4].find_first_not_of("01234567") != std::string::npos)
        return what = "a malformed file line", false;
    const long long mode = std::stoll(f[4], nullptr, 8);
    Digest::FromHex(f[3], file.sha256);
    file.mode = (mode & 0100) ? 0755 : 0644;  // nothing else is ever set
    return true;
}

bool ParseIndexChunkLine(const std::vector<std::string>& f, const ChunkerParams& params, ChunkRef& c, std::string& what) {
    if (!IsHex64(f[1]) || !IndexNumber(f[2], c.size) || !IndexNumber(f[3], c.offset) || !IndexNumber(f[4], c.stored))
        return what = "a malformed chunk line", false;
    // Never more than the chunker makes, nor a frame much larger than its content could need.
    if (c.size <= 0 || c.size > (long long)params.maxSize || c.stored <= 0 || c.stored > c.size + (64 << 10))
        return what = "a chunk of an impossible size", false;
    Digest::FromHex(f[1], c.sha256);
    return true;
}

std::string CChunkIndex::HeaderLines(const std::string& release, const ChunkerParams& params, const std::string& store) {
    return "#chunkindex|1\nrelease|" + release + "\nchunker|" + params.Describe() + "\ncompression|zstd\nstore|" + store + "\n";
}

std::string CChunkIndex::FileLine(const IndexedFile& f) {
    return Format("file|%s|%lld|%s|%o\n", f.name.c_str(), f.size, f.sha256.Hex().c_str(), f.mode);
}

std::string CChunkIndex::ChunkLine(const ChunkRef& c) {
    return Format("chunk|%s|%lld|%lld|%lld\n", c.sha256.Hex().c_str(), c.size, c.offset, c.stored);
}

namespace {

// The index read a line at a time, so that a file of any size is never held whole.
class CIndexParser {
public:
    CIndexParser(CChunkIndex& index, std::string& why, const std::function<bool(IndexedFile&)>& fileDone)
        : m_index(index), m_why(why), m_fileDone(fileDone) {}
    bool Line(std::string_view text);
    bool Finish();

private:
    bool Bad(const std::string& what) {
        m_why = Format("line %d: %s", m_nLine, what.c_str());
        return false;
    }
    bool FileDone();

    struct Stored {
        long long offset, length, size;
        uint64_t prefix;  // the chunk's digest, its first bytes
    };
    CChunkIndex& m_index;
    std::string& m_why;
    const std::function<bool(IndexedFile&)>& m_fileDone;
    std::vector<Stored> m_stored;  // every chunk line's place in the store
    bool m_bHeader = false, m_bChunker = false, m_bCompression = false;
    long long m_nChunkTotal = 0;
    int m_nLine = 0;
};

bool CIndexParser::FileDone() {
    if (m_index.m_files.empty()) return true;
    IndexedFile& file = m_index.m_files.back();
    if (m_nChunkTotal != file.size) {
        m_why = "the chunks of " + ShortName(file.name) + " do not add up to its size";
        return false;
    }
    // The caller may keep only what it needs of a file (a file already whole here needs no chunks).
    if (m_fileDone && m_fileDone(file)) {
        file.chunks.clear();
        file.chunks.shrink_to_fit();
    }
    return true;
}

bool CIndexParser::Line(std::string_view text) {
    ++m_nLine;
    std::string line(text);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) return true;
    const std::vector<std::string> f = IndexFields(line);
    const std::string& key = f[0];
    if (!m_bHeader) {
        if (line != "#chunkindex|1") return Bad("not a chunk index of a known version");
        m_bHeader = true;
    } else if (key == "release" && f.size() == 2 && m_index.m_strRelease.empty()) {
        m_index.m_strRelease = f[1];
    } else if (key == "chunker" && f.size() == 2 && !m_bChunker) {
        if (!ChunkerParams::Parse(f[1], m_index.m_params)) return Bad("an unknown chunker");
        m_bChunker = true;
    } else if (key == "compression" && f.size() == 2 && !m_bCompression) {
        if (f[1] != "zstd") return Bad("an unknown compression");
        m_bCompression = true;
    } else if (key == "store" && f.size() == 2 && m_index.m_strStore.empty()) {
        if (!IsSafeSegment(f[1])) return Bad("a store that is not a plain name");
        m_index.m_strStore = f[1];
    } else if (key == "file" && f.size() == 5) {
        if (!FileDone()) return false;
        IndexedFile file;
        std::string what;
        if (!ParseIndexFileLine(f, file, what)) return Bad(what);
        m_index.m_files.push_back(std::move(file));
        m_nChunkTotal = 0;
    } else if (key == "chunk" && f.size() == 5) {
        if (m_index.m_files.empty() || !m_bChunker) return Bad("a chunk before its file");
        ChunkRef c;
        std::string what;
        if (!ParseIndexChunkLine(f, m_index.m_params, c, what)) return Bad(what);
        uint64_t prefix;
        std::memcpy(&prefix, c.sha256.bytes.data(), sizeof prefix);
        m_stored.push_back({c.offset, c.stored, c.size, prefix});
        m_nChunkTotal += c.size;
        if (m_nChunkTotal > m_index.m_files.back().size) return Bad("chunks past the end of their file");
        m_index.m_files.back().chunks.push_back(std::move(c));
    } else {
        return Bad("an unknown or repeated line");
    }
    return true;
}

bool CIndexParser::Finish() {
    if (!FileDone()) return false;
    if (!m_bHeader || !m_bChunker || !m_bCompression || m_index.m_strRelease.empty() || m_index.m_strStore.empty()) {
        m_why = "the index lacks its header lines";
        return false;
    }
    // Each stored chunk has a place of its own: one offset is one chunk (named
    // again by every file that holds it), and no two chunks' bytes overlap.
    std::sort(m_stored.begin(), m_stored.end(), [](const Stored& a, const Stored& b) { return a.offset < b.offset; });
    for (size_t i = 1; i < m_stored.size(); ++i) {
        const Stored& a = m_stored[i - 1];
        const Stored& b = m_stored[i];
        const bool same = a.offset == b.offset && a.prefix == b.prefix && a.size == b.size && a.length == b.length;
        if (!same && a.offset + a.length > b.offset) {
            m_why = Format("two chunks overlap in the store at %lld", b.offset);
            return false;
        }
    }
    // One file a name, and a name cannot be a file and a folder of the same release.
    const std::vector<const std::string*> names = m_index.SortedNames();
    for (size_t i = 1; i < names.size(); ++i)
        if (*names[i] == *names[i - 1]) {
            m_why = ShortName(*names[i]) + ": a file named twice";
            return false;
        }
    for (const std::string* name : names)
        for (size_t slash = name->find('/'); slash != std::string::npos; slash = name->find('/', slash + 1)) {
            const std::string folder = name->substr(0, slash);
            if (CChunkIndex::Names(names, folder)) {
                m_why = ShortName(folder) + " is both a file and a folder";
                return false;
            }
        }
    return true;
}

}  // namespace

namespace {
bool NameLess(const std::string* a, const std::string* b) { return *a < *b; }
}  // namespace

std::vector<const std::string*> CChunkIndex::SortedNames() const {
    std::vector<const std::string*> names;
    names.reserve(m_files.size());
    for (const IndexedFile& f : m_files) names.push_back(&f.name);
    std::sort(names.begin(), names.end(), NameLess);
    return names;
}

bool CChunkIndex::Names(const std::vector<const std::string*>& sorted, const std::string& name) {
    return std::binary_search(sorted.begin(), sorted.end(), &name, NameLess);
}

bool CChunkIndex::Parse(const std::string& text, std::string& why) {
    *this = CChunkIndex();
    const std::function<bool(IndexedFile&)> none;
    CIndexParser parser(*this, why, none);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (!parser.Line(std::string_view(text).substr(start, end - start))) return false;
        start = end + 1;
    }
    return parser.Finish();
}

bool CChunkIndex::ParseFile(const std::string& path, std::string& why,
                            const std::function<bool(IndexedFile&)>& fileDone) {
    *this = CChunkIndex();
    CIndexParser parser(*this, why, fileDone);
    bool ok = true;
    if (!ForEachLine(path, [&](std::string_view line, bool) { return ok = parser.Line(line); })) {
        why = "the index cannot be read";
        return false;
    }
    return ok && parser.Finish();
}

ChunkerParams CChunkIndex::PeekParams(const std::string& path) {
    ChunkerParams params;
    int lines = 0;
    ForEachLine(path, [&](std::string_view line, bool) {
        if (line.rfind("chunker|", 0) == 0) {
            std::string text(line.substr(8));
            if (!text.empty() && text.back() == '\r') text.pop_back();
            ChunkerParams::Parse(text, params);
            return false;
        }
        return ++lines < 8;
    });
    return params;
}

}  // namespace fl
