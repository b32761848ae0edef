#pragma once
// Detached signatures in minisign's format (Ed25519, libsodium): public and
// secret keys, signing and verifying. Texts are the files' exact bytes.
#include <array>
#include <cstdint>
#include <string>

namespace fl {

struct MinisignPublicKey {
    std::array<uint8_t, 8> keyId{};
    std::array<uint8_t, 32> key{};
};

struct MinisignSecretKey {
    std::array<uint8_t, 8> keyId{};
    std::array<uint8_t, 64> key{};  // libsodium's: seed and public key
};

struct MinisignSignature {
    bool prehashed = true;  // "ED": over the BLAKE2b-512 of the file; "Ed": over the file
    std::array<uint8_t, 8> keyId{};
    std::array<uint8_t, 64> signature{};
    std::string trustedComment;  // after "trusted comment: "
    std::array<uint8_t, 64> globalSignature{};
};

// A public key file ("untrusted comment: ..." then the base64 line), or the bare base64 line.
bool ParseMinisignPublicKey(const std::string& text, MinisignPublicKey& key);
// An unencrypted secret key file (as `minisign -G -W` or our key generation writes it).
bool ParseMinisignSecretKey(const std::string& text, MinisignSecretKey& key);
bool ParseMinisignSignature(const std::string& text, MinisignSignature& signature);

// True when `signature` was made by `key` over exactly `message`, and its trusted comment with it.
bool VerifyMinisign(const MinisignPublicKey& key, const MinisignSignature& signature, const std::string& message);

// A prehashed signature file over `message` carrying `trustedComment`.
std::string SignMinisign(const MinisignSecretKey& key, const std::string& message, const std::string& trustedComment);
// A new key pair as files: the public key file and an unencrypted secret key file.
bool GenerateMinisignKeys(std::string& publicKeyFile, std::string& secretKeyFile);

// A key's ID as minisign prints it (16 hex digits).
std::string KeyIdHex(const std::array<uint8_t, 8>& id);

// The key as a public key file's base64 line (to pin it in a build).
std::string MinisignPublicKeyLine(const MinisignPublicKey& key);

}  // namespace fl
