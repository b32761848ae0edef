#pragma once
// Content-defined chunk boundaries (FastCDC with a gear hash): a boundary falls
// where the content says, not at a fixed offset, so bytes inserted into a file
// change only the chunks around them. The launcher and the publisher cut with
// the same parameters, which the release's index names.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fl {

struct ChunkerParams {
    size_t minSize = 16 << 10;
    size_t avgSize = 64 << 10;  // a power of two
    size_t maxSize = 256 << 10;
    // "fastcdc min=16384 avg=65536 max=262144", as the index names them.
    std::string Describe() const;
    // False when the text names another chunker or sizes that make no sense.
    static bool Parse(const std::string& text, ChunkerParams& out);
    bool operator==(const ChunkerParams& o) const {
        return minSize == o.minSize && avgSize == o.avgSize && maxSize == o.maxSize;
    }
};

// Where the chunk that starts at `data` ends: its length, at most `size`.
// Only the last chunk of a file may be shorter than minSize.
size_t NextChunkLength(const ChunkerParams& params, const uint8_t* data, size_t size);

// A file read a piece at a time and cut into chunks: at least one largest
// chunk is always in the buffer ahead of the cut, so boundaries are the same
// as over the whole file in memory.
class CChunkReader {
public:
    CChunkReader(int fd, const ChunkerParams& params);
    // The next chunk (valid until the next call); false at the end or on a read error.
    bool Next(const uint8_t*& data, size_t& length);
    bool Failed() const { return m_bFailed; }

private:
    int m_fd;
    ChunkerParams m_params;
    std::vector<uint8_t> m_buffer;
    size_t m_nBegin = 0, m_nEnd = 0;
    bool m_bEof = false, m_bFailed = false;
};

}  // namespace fl
