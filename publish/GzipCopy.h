#pragma once
// A list written with a gzip copy beside it ("NAME.gz"), for servers that send
// it to clients that accept gzip (nginx's gzip_static): launchers ask for the
// lists that way, and they shrink to about half. A list too small to gain has
// no copy, and a copy left from before is removed first, so a server never
// sends a copy that is not the list.
#include <string>

namespace fl {

// Writes `bytes` to `path` unless it holds them already; through a temporary name, the folders made.
bool PutIfChanged(const std::string& path, const std::string& bytes);
// The same, and the copy beside it.
bool PutWithGzipCopy(const std::string& path, const std::string& bytes);
// The copy of a file already written (an index of any size), read and written a piece at a time.
bool WriteGzipCopyOf(const std::string& path);

}  // namespace fl
