#include "update/integrity/Digest.h"

namespace fl {

namespace {

int Nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool Digest::FromHex(std::string_view hex, Digest& out) {
    if (hex.size() != 64) return false;
    for (size_t i = 0; i < 32; ++i) {
        const int hi = Nibble(hex[2 * i]), lo = Nibble(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.bytes[i] = uint8_t(hi << 4 | lo);
    }
    return true;
}

std::string Digest::Hex() const {
    static const char kDigits[] = "0123456789abcdef";
    std::string s(64, '0');
    for (size_t i = 0; i < 32; ++i) {
        s[2 * i] = kDigits[bytes[i] >> 4];
        s[2 * i + 1] = kDigits[bytes[i] & 15];
    }
    return s;
}

}  // namespace fl
