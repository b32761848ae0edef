#pragma once
// Where the launcher's folders are, and making a folder path exist.
#include <functional>
#include <string>

namespace fl {

// Folder of the running executable, with a trailing "/".
std::string GetModuleFolder();
// $XDG_DATA_HOME/fenwazelt (default ~/.local/share/fenwazelt), no trailing "/".
// When no home can be found the handler is called (the application tells the
// player and closes its window); the result is then "/fenwazelt".
std::string GetDataFolder();
// Set once at start-up, before other threads run.
void SetNoHomeHandler(std::function<void()> handler);
// Working directory, no trailing "/"; empty when it cannot be read.
std::string GetCurrentDirectory();

// Makes the folder and every missing parent exist. A trailing "/" is allowed.
bool EnsureFolder(const std::string& path);
bool IsFolder(const std::string& path);
bool PathFileExists(const std::string& path);
// Text before the last "/", or empty when there is none.
std::string ParentOf(const std::string& path);

}  // namespace fl
