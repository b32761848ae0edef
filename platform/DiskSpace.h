#pragma once
// Free space of the file system a folder is on, for a check before a step writes.
#include <functional>
#include <string>

namespace fl {

// Bytes an unprivileged writer may still use there; -1 when it cannot be told.
long long FreeBytes(const std::string& folder);
// Tests: answers in place of the file system (empty: the real one).
void SetFreeSpaceProbe(std::function<long long(const std::string&)> probe);

}  // namespace fl
