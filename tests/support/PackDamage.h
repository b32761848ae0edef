#pragma once
// Damaged archives, made from good ones the way a broken disk or proxy would.
#include <string>

namespace fltest {

// Flips bytes inside the compressed data of the entry called `name`.
inline std::string DamageEntry(std::string zip, const std::string& name) {
    for (size_t at = zip.find("PK\x03\x04"); at != std::string::npos; at = zip.find("PK\x03\x04", at + 4)) {
        const size_t nameLen = size_t((unsigned char)zip[at + 26]) | size_t((unsigned char)zip[at + 27]) << 8;
        const size_t extraLen = size_t((unsigned char)zip[at + 28]) | size_t((unsigned char)zip[at + 29]) << 8;
        if (zip.compare(at + 30, nameLen, name) != 0) continue;
        const size_t data = at + 30 + nameLen + extraLen;
        for (size_t i = 2; i < 6; ++i) zip[data + i] = char(~zip[data + i]);
        return zip;
    }
    return {};
}

// Overwrites the central directory (its entries, not the end record) with garbage.
inline std::string DamageDirectory(std::string zip) {
    const size_t from = zip.find("PK\x01\x02"), to = zip.rfind("PK\x05\x06");
    if (from == std::string::npos || to == std::string::npos) return {};
    for (size_t i = from; i < to; ++i) zip[i] = char(0xA5 ^ (i & 0x3F));
    return zip;
}

}  // namespace fltest
