#include "update/integrity/Sha256.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace fl {

namespace {

EVP_MD_CTX* NewContext() {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    if (!ctx || EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) != 1) std::abort();  // out of memory: nothing to hash with
    return ctx;
}

}  // namespace

CSha256::CSha256() : m_pCtx(NewContext()) {}

CSha256::~CSha256() { EVP_MD_CTX_free(m_pCtx); }

CSha256::CSha256(const CSha256& other) : m_pCtx(EVP_MD_CTX_new()) {
    if (!m_pCtx || EVP_MD_CTX_copy_ex(m_pCtx, other.m_pCtx) != 1) std::abort();
}

CSha256& CSha256::operator=(const CSha256& other) {
    if (this != &other && EVP_MD_CTX_copy_ex(m_pCtx, other.m_pCtx) != 1) std::abort();
    return *this;
}

void CSha256::Update(const void* data, size_t size) {
    if (size > 0) EVP_DigestUpdate(m_pCtx, data, size);
}

std::string CSha256::HexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_pCtx, digest, &length);
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 15];
    }
    return text;
}

std::string Sha256Of(std::string_view bytes) {
    CSha256 h;
    h.Update(bytes.data(), bytes.size());
    return h.HexDigest();
}

bool Sha256OfFile(const std::string& path, std::string& hex) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    CSha256 h;
    std::vector<char> buffer(1 << 20);
    ssize_t n;
    while ((n = read(fd, buffer.data(), buffer.size())) != 0) {
        if (n < 0) {
            if (errno == EINTR) continue;
            close(fd);
            return false;
        }
        h.Update(buffer.data(), size_t(n));
    }
    close(fd);
    hex = h.HexDigest();
    return true;
}

Digest Sha256DigestOf(std::string_view bytes) {
    Digest d;
    Digest::FromHex(Sha256Of(bytes), d);
    return d;
}

}  // namespace fl
