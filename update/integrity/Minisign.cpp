#include "update/integrity/Minisign.h"

#include <sodium.h>

#include <cstring>
#include <vector>

namespace fl {

namespace {

bool InitSodium() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

// The lines of a text without their line ends.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool FromBase64(const std::string& text, std::vector<uint8_t>& bytes, size_t expected) {
    if (text.empty()) return false;
    bytes.assign(text.size(), 0);
    size_t length = 0;
    if (sodium_base642bin(bytes.data(), bytes.size(), text.c_str(), text.size(), nullptr, &length, nullptr,
                          sodium_base64_VARIANT_ORIGINAL) != 0)
        return false;
    bytes.resize(length);
    return length == expected;
}

std::string ToBase64(const uint8_t* bytes, size_t size) {
    std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
    text.resize(std::strlen(text.c_str()));
    return text;
}

// The base64 line of a key file: the line after the untrusted comment, or the only line.
std::string KeyLine(const std::string& text) {
    const auto lines = Lines(text);
    for (size_t i = 0; i < lines.size(); ++i)
        if (!lines[i].empty() && lines[i].rfind("untrusted comment:", 0) != 0) return lines[i];
    return {};
}

constexpr size_t kSecretKeySize = 2 + 2 + 2 + 32 + 8 + 8 + 8 + 64 + 32;

}  // namespace

std::string KeyIdHex(const std::array<uint8_t, 8>& id) {
    static const char hex[] = "0123456789ABCDEF";
    std::string text;
    for (int i = 7; i >= 0; --i) {
        text += hex[id[size_t(i)] >> 4];
        text += hex[id[size_t(i)] & 15];
    }
    return text;
}

bool ParseMinisignPublicKey(const std::string& text, MinisignPublicKey& key) {
    if (!InitSodium()) return false;
    std::vector<uint8_t> bytes;
    if (!FromBase64(KeyLine(text), bytes, 42) || bytes[0] != 'E' || bytes[1] != 'd') return false;
    std::memcpy(key.keyId.data(), &bytes[2], 8);
    std::memcpy(key.key.data(), &bytes[10], 32);
    return true;
}

bool ParseMinisignSecretKey(const std::string& text, MinisignSecretKey& key) {
    if (!InitSodium()) return false;
    std::vector<uint8_t> bytes;
    if (!FromBase64(KeyLine(text), bytes, kSecretKeySize)) return false;
    // "Ed", no key derivation (an unencrypted key), "B2".
    if (bytes[0] != 'E' || bytes[1] != 'd' || bytes[2] != 0 || bytes[3] != 0 || bytes[4] != 'B' || bytes[5] != '2')
        return false;
    std::memcpy(key.keyId.data(), &bytes[54], 8);
    std::memcpy(key.key.data(), &bytes[62], 64);
    return true;
}

bool ParseMinisignSignature(const std::string& text, MinisignSignature& sig) {
    if (!InitSodium()) return false;
    const auto lines = Lines(text);
    if (lines.size() < 4 || lines[0].rfind("untrusted comment:", 0) != 0) return false;
    const std::string trusted = "trusted comment: ";
    if (lines[2].rfind(trusted, 0) != 0) return false;
    std::vector<uint8_t> bytes, global;
    if (!FromBase64(lines[1], bytes, 74) || !FromBase64(lines[3], global, 64)) return false;
    if (bytes[0] != 'E' || (bytes[1] != 'D' && bytes[1] != 'd')) return false;
    sig.prehashed = bytes[1] == 'D';
    std::memcpy(sig.keyId.data(), &bytes[2], 8);
    std::memcpy(sig.signature.data(), &bytes[10], 64);
    sig.trustedComment = lines[2].substr(trusted.size());
    std::memcpy(sig.globalSignature.data(), global.data(), 64);
    return true;
}

bool VerifyMinisign(const MinisignPublicKey& key, const MinisignSignature& sig, const std::string& message) {
    if (!InitSodium() || key.keyId != sig.keyId) return false;
    const auto* data = reinterpret_cast<const uint8_t*>(message.data());
    int rc;
    if (sig.prehashed) {
        uint8_t digest[crypto_generichash_BYTES_MAX];
        crypto_generichash(digest, sizeof digest, data, message.size(), nullptr, 0);
        rc = crypto_sign_verify_detached(sig.signature.data(), digest, sizeof digest, key.key.data());
    } else {
        rc = crypto_sign_verify_detached(sig.signature.data(), data, message.size(), key.key.data());
    }
    if (rc != 0) return false;
    // The trusted comment is signed together with the signature.
    std::vector<uint8_t> global(sig.signature.begin(), sig.signature.end());
    global.insert(global.end(), sig.trustedComment.begin(), sig.trustedComment.end());
    return crypto_sign_verify_detached(sig.globalSignature.data(), global.data(), global.size(), key.key.data()) == 0;
}

std::string SignMinisign(const MinisignSecretKey& key, const std::string& message, const std::string& trustedComment) {
    if (!InitSodium() || trustedComment.find_first_of("\r\n") != std::string::npos) return {};
    uint8_t digest[crypto_generichash_BYTES_MAX];
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const uint8_t*>(message.data()), message.size(), nullptr,
                       0);
    uint8_t block[74] = {'E', 'D'};
    std::memcpy(block + 2, key.keyId.data(), 8);
    crypto_sign_detached(block + 10, nullptr, digest, sizeof digest, key.key.data());
    std::vector<uint8_t> global(block + 10, block + 74);
    global.insert(global.end(), trustedComment.begin(), trustedComment.end());
    uint8_t globalSignature[64];
    crypto_sign_detached(globalSignature, nullptr, global.data(), global.size(), key.key.data());
    return "untrusted comment: signature from fenwa-publish secret key\n" + ToBase64(block, sizeof block) +
           "\ntrusted comment: " + trustedComment + "\n" + ToBase64(globalSignature, 64) + "\n";
}

bool GenerateMinisignKeys(std::string& publicKeyFile, std::string& secretKeyFile) {
    if (!InitSodium()) return false;
    MinisignPublicKey pub;
    MinisignSecretKey sec;
    crypto_sign_keypair(pub.key.data(), sec.key.data());
    randombytes_buf(sec.keyId.data(), 8);
    pub.keyId = sec.keyId;
    // Unencrypted, as `minisign -G -W` writes it: no key derivation, a zero salt and checksum.
    std::vector<uint8_t> s(kSecretKeySize, 0);
    s[0] = 'E', s[1] = 'd', s[4] = 'B', s[5] = '2';
    std::memcpy(&s[54], sec.keyId.data(), 8);
    std::memcpy(&s[62], sec.key.data(), 64);
    publicKeyFile = "untrusted comment: minisign public key " + KeyIdHex(pub.keyId) + "\n" + MinisignPublicKeyLine(pub) + "\n";
    secretKeyFile = "untrusted comment: minisign encrypted secret key\n" + ToBase64(s.data(), s.size()) + "\n";
    sodium_memzero(s.data(), s.size());
    sodium_memzero(sec.key.data(), sec.key.size());
    return true;
}

std::string MinisignPublicKeyLine(const MinisignPublicKey& key) {
    uint8_t bytes[42] = {'E', 'd'};
    std::memcpy(bytes + 2, key.keyId.data(), 8);
    std::memcpy(bytes + 10, key.key.data(), 32);
    return ToBase64(bytes, sizeof bytes);
}

}  // namespace fl
