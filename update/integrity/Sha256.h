#pragma once
// SHA-256 computed while the bytes go by (no second pass over a file).
#include <sodium.h>

#include <string>

namespace fl {

class CSha256 {
public:
    CSha256() {
        [[maybe_unused]] static const int ready = sodium_init();  // once per process; hashing needs no more
        crypto_hash_sha256_init(&m_state);
    }
    void Update(const void* data, size_t size) {
        crypto_hash_sha256_update(&m_state, static_cast<const unsigned char*>(data), size);
    }
    // Lower-case hex; the hasher is spent afterwards.
    std::string HexDigest() {
        unsigned char digest[crypto_hash_sha256_BYTES];
        crypto_hash_sha256_final(&m_state, digest);
        static const char hex[] = "0123456789abcdef";
        std::string text;
        for (unsigned char c : digest) {
            text += hex[c >> 4];
            text += hex[c & 15];
        }
        return text;
    }

private:
    crypto_hash_sha256_state m_state;
};

}  // namespace fl
