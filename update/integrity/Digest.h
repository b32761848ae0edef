#pragma once
// A SHA-256 digest as its 32 bytes: a quarter of the memory of its hex text,
// for lists and indexes of hundreds of thousands of entries.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

namespace fl {

struct Digest {
    std::array<uint8_t, 32> bytes{};
    // From 64 hex digits (either case); false for anything else.
    static bool FromHex(std::string_view hex, Digest& out);
    std::string Hex() const;
    bool operator==(const Digest& o) const { return bytes == o.bytes; }
    bool operator!=(const Digest& o) const { return bytes != o.bytes; }
    bool operator<(const Digest& o) const { return bytes < o.bytes; }
};

struct DigestHash {
    size_t operator()(const Digest& d) const {
        size_t h;
        std::memcpy(&h, d.bytes.data(), sizeof h);  // already uniformly spread
        return h;
    }
};

}  // namespace fl
