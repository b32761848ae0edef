#pragma once
// SHA-256 computed while the bytes go by (no second pass over a file). OpenSSL's
// libcrypto: it uses the processor's SHA instructions where there are some,
// several times the speed of a portable implementation.
#include <cstddef>
#include <string>
#include <string_view>

#include "update/integrity/Digest.h"

typedef struct evp_md_ctx_st EVP_MD_CTX;

namespace fl {

class CSha256 {
public:
    CSha256();
    ~CSha256();
    CSha256(const CSha256& other);
    CSha256& operator=(const CSha256& other);
    void Update(const void* data, size_t size);
    // Lower-case hex; the hasher is spent afterwards.
    std::string HexDigest();

private:
    EVP_MD_CTX* m_pCtx;
};

// The SHA-256 of bytes in memory, lower-case hex.
std::string Sha256Of(std::string_view bytes);
// The same as its 32 bytes.
Digest Sha256DigestOf(std::string_view bytes);
// The SHA-256 of a regular file, read a piece at a time; false when it cannot be read.
bool Sha256OfFile(const std::string& path, std::string& hex);

}  // namespace fl
