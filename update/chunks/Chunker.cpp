#include "update/chunks/Chunker.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <cstdio>

namespace fl {

namespace {

// 256 fixed pseudo-random values (splitmix64 from a fixed seed): part of the
// format, as changing them moves every boundary.
const std::array<uint64_t, 256>& Gear() {
    static const std::array<uint64_t, 256> table = [] {
        std::array<uint64_t, 256> t{};
        uint64_t x = 0x66656e7761636463ULL;  // "fenwacdc"
        for (auto& v : t) {
            uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
            v = z ^ (z >> 31);
        }
        return t;
    }();
    return table;
}

int Log2(size_t v) {
    int bits = 0;
    while (v > 1) {
        v >>= 1;
        ++bits;
    }
    return bits;
}

// `bits` one-bits spread over the high half of the word (the gear hash's best bits).
uint64_t Mask(int bits) {
    uint64_t mask = 0;
    for (int i = 0; i < bits; ++i) mask |= 1ULL << (63 - 2 * i);
    return mask;
}

}  // namespace

std::string ChunkerParams::Describe() const {
    char text[96];
    std::snprintf(text, sizeof text, "fastcdc min=%zu avg=%zu max=%zu", minSize, avgSize, maxSize);
    return text;
}

bool ChunkerParams::Parse(const std::string& text, ChunkerParams& out) {
    size_t mn = 0, avg = 0, mx = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "fastcdc min=%zu avg=%zu max=%zu%c", &mn, &avg, &mx, &tail) != 3) return false;
    // Sizes a launcher can hold in memory, in order, the average a power of two.
    if (mn < 64 || avg < mn || mx < avg || mx > (8u << 20) || (avg & (avg - 1)) != 0) return false;
    out = {mn, avg, mx};
    return true;
}

size_t NextChunkLength(const ChunkerParams& p, const uint8_t* data, size_t size) {
    if (size <= p.minSize) return size;
    const size_t end = size < p.maxSize ? size : p.maxSize;
    const size_t normal = size < p.avgSize ? size : p.avgSize;
    // Normalised chunking: harder to cut before the average, easier after it,
    // so sizes gather around the average.
    const int bits = Log2(p.avgSize);
    const uint64_t hard = Mask(bits + 2), easy = Mask(bits - 2);
    const auto& gear = Gear();
    uint64_t fp = 0;
    size_t i = p.minSize;
    for (; i < normal; ++i) {
        fp = (fp << 1) + gear[data[i]];
        if (!(fp & hard)) return i + 1;
    }
    for (; i < end; ++i) {
        fp = (fp << 1) + gear[data[i]];
        if (!(fp & easy)) return i + 1;
    }
    return end;
}

CChunkReader::CChunkReader(int fd, const ChunkerParams& params)
    : m_fd(fd), m_params(params), m_buffer(std::max<size_t>(2 * params.maxSize, 1 << 20)) {}

bool CChunkReader::Next(const uint8_t*& data, size_t& length) {
    if (!m_bEof && m_nEnd - m_nBegin < m_params.maxSize) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_nBegin, m_nEnd - m_nBegin);
        m_nEnd -= m_nBegin;
        m_nBegin = 0;
        while (!m_bEof && m_nEnd < m_buffer.size()) {
            const ssize_t n = read(m_fd, m_buffer.data() + m_nEnd, m_buffer.size() - m_nEnd);
            if (n < 0) m_bFailed = true;
            if (n <= 0) m_bEof = true;
            else m_nEnd += size_t(n);
        }
    }
    if (m_bFailed || m_nBegin == m_nEnd) return false;
    data = m_buffer.data() + m_nBegin;
    length = NextChunkLength(m_params, data, m_nEnd - m_nBegin);
    m_nBegin += length;
    return true;
}

}  // namespace fl
