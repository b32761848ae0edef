#pragma once
// What the data folder knows of the launchers a self-update fetched:
// "FLuncher.state", lines of key=value beside "FLuncher.updt". Written whole
// through a temporary file, so a kill leaves the old record or the new one.
#include <string>

namespace fl {

inline constexpr const char* kUpdtName = "FLuncher.updt";   // the newest fetched launcher
inline constexpr const char* kPrevName = "FLuncher.prev";   // the last one that proved itself
inline constexpr const char* kBadName = "FLuncher.bad";     // one set aside, kept to be looked at
inline constexpr const char* kCopyName = "FLuncher.dydr";   // the copy that runs
inline constexpr const char* kStateName = "FLuncher.state";

struct LauncherState {
    // FLuncher.updt: its digest, the version the server listed for it, whether it
    // proved itself, and how many starts it has had on probation.
    std::string updtSha, updtVersion;
    // Size, change time and inode when the digest was taken: unchanged, the file is not read again.
    std::string updtStamp;
    bool updtGood = false;
    int attempts = 0;
    long long lastStart = 0;  // seconds since the epoch of the last start on probation
    // FLuncher.prev.
    std::string prevSha, prevVersion;
    // What the last start put in FLuncher.dydr: "updt", "prev" or "install".
    std::string runSource, runSha;
    // A launcher set aside: not fetched again until the server lists another.
    std::string refusedVersion, refusedSha, refusedReason;
    // A line for the player, shown once by the next launcher or runner.
    std::string notice;
};

// A missing or unreadable record reads as empty.
LauncherState LoadLauncherState(const std::string& dataFolder);
bool SaveLauncherState(const std::string& dataFolder, const LauncherState& state);

}  // namespace fl
