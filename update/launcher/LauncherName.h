#pragma once
// The launcher's published name: the resource server lists it so, and the name
// check at start-up and the relaunch depend on it.
namespace fl {
inline constexpr const char* kLauncherFileName = "FLauncher_zelt.exe";
}  // namespace fl
