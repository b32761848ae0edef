#pragma once
// Writes zip archives (libzip) for the demo platform and the tests.
#include <string>
#include <vector>

namespace fldemo {

struct PackEntry {
    PackEntry(std::string n, std::string b, unsigned m = 0644) : name(std::move(n)), bytes(std::move(b)), mode(m) {}
    std::string name;
    std::string bytes;
    unsigned mode = 0644;    // stored as Unix permission bits
    std::string sourceFile;  // when set, the entry's bytes are this file's (packs too big for memory)
};

// Returns false when the archive could not be written.
bool WritePack(const std::string& path, const std::vector<PackEntry>& entries);
// The archive as bytes (written through a temporary file).
std::string BuildPack(const std::vector<PackEntry>& entries);

}  // namespace fldemo
