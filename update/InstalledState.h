#pragma once
// What the run folder's files were when a run left it whole: each listed
// file's size and modification time. A later run whose signed list is the
// same and whose files are still as recorded has nothing to fetch, and knows
// it without reading a byte of them.
#include <string>
#include <vector>

namespace fl {

// Records `names` ("/" between folders) as they stand in `root` now; false
// when one is not there (the record is then removed).
bool SaveInstalledState(const std::string& root, const std::vector<std::string>& names);
// Every recorded file is still there at its size and time (false without a record).
bool InstalledStateHolds(const std::string& root);
void RemoveInstalledState(const std::string& root);

}  // namespace fl
