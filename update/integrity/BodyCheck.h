#pragma once
// What a fetched body must be by the hash list, and its check while the bytes
// arrive: the size as they come (a body past it stops at once), the SHA-256
// when it ends. A resumed body first counts what its file holds already.
#include <string>

#include "update/integrity/Sha256.h"

namespace fl {

struct Expectation {
    bool check = false;   // a hash list is in force
    bool listed = false;  // ... and names this body
    long long size = -1;
    std::string sha256;
};

class CBodyCheck {
public:
    CBodyCheck() = default;
    // `hashAlways`: the digest is wanted even with nothing to compare it to.
    explicit CBodyCheck(Expectation expect, bool hashAlways = false);
    bool Active() const { return m_expect.check; }
    // The body starts over.
    void Reset();
    // The first `bytes` of the file at `path` as the body's start. False when it cannot be read.
    bool AddFile(const std::string& path, long long bytes);
    // False once the body is longer than the list says (the transfer should stop).
    bool Update(const char* data, size_t size);
    long long Bytes() const { return m_nBytes; }
    // Why an announced whole size cannot be this body; empty when it can.
    std::string SizeProblem(long long total) const;
    // Ends the body: empty when it is the one listed, else why not. The digest
    // stays readable through Digest().
    std::string Verdict();
    const std::string& Digest() const { return m_strDigest; }

private:
    Expectation m_expect;
    bool m_bHash = false;
    CSha256 m_hash;
    long long m_nBytes = 0;
    std::string m_strDigest;
};

// One pass over a whole file: empty when it is the body `expect` lists.
std::string CheckFile(const std::string& path, const Expectation& expect);

}  // namespace fl
