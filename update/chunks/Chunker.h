#pragma once
// Content-defined chunk boundaries (FastCDC with a gear hash): a boundary falls
// where the content says, not at a fixed offset, so bytes inserted into a file
// change only the chunks around them. The launcher and the publisher cut with
// the same parameters, which the release's index names.
#include <cstddef>
#include <cstdint>
#include <string>

namespace fl {

struct ChunkerParams {
    size_t minSize = 16 << 10;
    size_t avgSize = 64 << 10;  // a power of two
    size_t maxSize = 256 << 10;
    // "fastcdc min=16384 avg=65536 max=262144", as the index names them.
    std::string Describe() const;
    // False when the text names another chunker or sizes that make no sense.
    static bool Parse(const std::string& text, ChunkerParams& out);
};

// Where the chunk that starts at `data` ends: its length, at most `size`.
// Only the last chunk of a file may be shorter than minSize.
size_t NextChunkLength(const ChunkerParams& params, const uint8_t* data, size_t size);

}  // namespace fl
