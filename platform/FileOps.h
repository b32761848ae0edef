#pragma once
// File operations the Windows file services gave the launcher.
#include <atomic>
#include <string>

namespace fl {

// Copies src to dst keeping src's permission bits (so a program stays runnable).
// With failIfExists an existing dst is left alone and the call fails.
// A raised `stop` ends the copy (a failure; the partial copy is removed).
bool CopyFileKeepMode(const std::string& src, const std::string& dst, bool failIfExists,
                      const std::atomic<bool>* stop = nullptr);

// Replaces `path` with `bytes` only once they are complete: written to a
// temporary file beside it, flushed to disk, then renamed over it.
bool WriteFileAtomically(const std::string& path, const std::string& bytes);

// Writes all n bytes (retrying short writes and interruptions); false on an error.
bool WriteAll(int fd, const char* data, size_t n);

// Fills `out` (sized by the caller) from `offset` of `path`; false when the file holds fewer bytes there.
bool ReadFileAt(const std::string& path, std::string& out, long long offset);

bool DeleteFile(const std::string& path);  // true when it is gone (or was never there)
bool ReadWholeFile(const std::string& path, std::string& bytes);
// A path given on a command line, taken from the current folder when relative.
std::string AbsolutePath(const std::string& path);

}  // namespace fl
