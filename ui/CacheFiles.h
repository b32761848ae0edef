#pragma once
// The file work of the cache cleaner. Paths of any length work.
#include <string>

namespace fl {

// Removes everything inside the folder; the folder itself stays. Entries that
// cannot be removed (in use) simply stay.
void EmptyFolder(const std::string& folder);
// Removes the folder with everything in it.
void RemoveFolder(const std::string& folder);
// Walks the Flash Player data folder: a sub-folder named after the host
// (letter case aside) is removed whole; others are searched further.
void CleanFlashFolders(const std::string& folder, const std::string& host);
// The Flash Player data folder of this platform: ~/.macromedia/Flash_Player.
std::string GetFlashDataFolder();

}  // namespace fl
