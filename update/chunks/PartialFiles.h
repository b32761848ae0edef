#pragma once
// The files a chunked update builds, each a partial file of its final size in
// the records folder, written at any offset through a few descriptors at a
// time (a release of any number of files builds under a small open-file
// limit), then checked and put in place.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "update/chunks/ChunkIndex.h"

namespace fl {

class CPartialFiles {
public:
    static constexpr size_t kMaxOpen = 16;

    // `pathOf(i)`: where file i is (names are made when needed, not kept: a release may have 100,000 files).
    explicit CPartialFiles(std::function<std::string(size_t)> pathOf) : m_pathOf(std::move(pathOf)) {}
    ~CPartialFiles() { CloseAll(); }
    CPartialFiles(const CPartialFiles&) = delete;
    CPartialFiles& operator=(const CPartialFiles&) = delete;

    // Adds the next file, of `size` bytes; a file an earlier run left at this
    // size keeps its bytes. False (errno set) when it cannot be made.
    bool Add(long long size);
    // Writes `size` bytes at `offset` of file `index`. False (errno set) on failure.
    bool WriteAt(size_t index, const char* data, size_t size, long long offset);
    void CloseAll();
    // Closes and forgets every file (the files stay).
    void Clear();
    size_t Count() const { return m_fds.size(); }

private:
    int Open(size_t index);
    std::function<std::string(size_t)> m_pathOf;
    std::vector<int> m_fds;
    std::vector<size_t> m_open;  // indices with a descriptor, oldest first
};

// A built file read once: its size and SHA-256 against `file`, and whether the
// index's cuts are where `params` cuts the bytes (only then may a cache of the
// folder's chunks record them). Empty when it is the indexed file.
std::string CheckBuiltFile(const std::string& path, const IndexedFile& file, const ChunkerParams& params,
                           bool& cutsFollow);

// Puts a checked file in place: renamed, or where `target` lies on another
// file system (a folder the player moved and linked back) copied beside it,
// checked again and renamed. Empty when done.
std::string PlaceBuiltFile(const std::string& built, const std::string& target, const IndexedFile& file);

// A write failed for want of room (no fault of the store: what was built stays).
bool IsDiskFull(int error);

}  // namespace fl
