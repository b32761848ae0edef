#pragma once
// A release's chunk index ("<release>.idx"): how each file of the release is
// made of content-defined chunks, and where each chunk's compressed bytes
// stand in the release's chunk store ("<release>.chunks"). Text lines in the
// key|value style of the other lists:
//
//   #chunkindex|1
//   release|r2
//   chunker|fastcdc min=16384 avg=65536 max=262144
//   compression|zstd
//   store|r2.chunks
//   file|NAME|SIZE|SHA256|MODE                 (MODE in octal: 644 or 755)
//   chunk|SHA256|SIZE|OFFSET|STORED            (follows its file, in order)
//
// A chunk is one zstd frame of STORED bytes at OFFSET in the store; it
// decompresses to SIZE bytes whose SHA-256 is named.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "update/chunks/Chunker.h"
#include "update/integrity/Digest.h"

namespace fl {

struct ChunkRef {
    Digest sha256;  // 32 bytes: an index may name a million chunks
    long long size = 0;
    long long offset = 0;
    long long stored = 0;
};

struct IndexedFile {
    std::string name;
    long long size = 0;
    Digest sha256;
    unsigned mode = 0644;
    std::vector<ChunkRef> chunks;
    bool whole = false;  // already here as indexed (its chunks then are not kept)
};

class CChunkIndex {
public:
    // Strict: any malformed line, a name that may not become a path, a file
    // named twice, chunks that do not add up to their file or exceed the
    // chunker's largest size, refuse the whole index (`why` says which).
    bool Parse(const std::string& text, std::string& why);
    // The same, read from a file a line at a time. `fileDone` sees each file
    // once its chunks are read; when it returns true the file's chunks are
    // not kept (it is whole here: nothing to build).
    bool ParseFile(const std::string& path, std::string& why, const std::function<bool(IndexedFile&)>& fileDone);
    // The files' names in order, and whether such a list holds `name`.
    std::vector<const std::string*> SortedNames() const;
    static bool Names(const std::vector<const std::string*>& sorted, const std::string& name);
    // The chunker an index file names in its header (the default when it names none).
    static ChunkerParams PeekParams(const std::string& path);

    std::string m_strRelease;
    std::string m_strStore;
    ChunkerParams m_params;
    std::deque<IndexedFile> m_files;  // grows without copying what it holds

    // The lines, for a writer that streams them.
    static std::string HeaderLines(const std::string& release, const ChunkerParams& params, const std::string& store);
    static std::string FileLine(const IndexedFile& file);
    static std::string ChunkLine(const ChunkRef& chunk);
};

// The pieces of an index line, shared by the indexes that use its lines.
std::vector<std::string> IndexFields(const std::string& line, char separator = '|');
// A decimal figure of at most 15 digits (no sign, no spaces).
bool IndexNumber(const std::string& text, long long& out);
// The lines of a small index held whole: the first must be `header`; `line`
// sees each other non-empty one split in fields and says what is wrong with it
// (false), which `why` then gives with its line number.
bool ParseIndexLines(const std::string& text, const std::string& header, std::string& why,
                     const std::function<bool(const std::vector<std::string>& fields, std::string& what)>& line);
// "file|NAME|SIZE|SHA256|MODE" and "chunk|SHA256|SIZE|OFFSET|STORED" split in
// fields: false with `what` set when malformed, a name fails the gate or a
// chunk could not come from `params`.
bool ParseIndexFileLine(const std::vector<std::string>& fields, IndexedFile& file, std::string& what);
bool ParseIndexChunkLine(const std::vector<std::string>& fields, const ChunkerParams& params, ChunkRef& chunk,
                         std::string& what);

}  // namespace fl
