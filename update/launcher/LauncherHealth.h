#pragma once
// The probation of a launcher a self-update fetched. Starts from the install
// folder run "FLuncher.updt" until it has failed to prove itself in two starts;
// then it is set aside and the launcher before it runs again ("FLuncher.prev",
// the last one that proved itself, else the install folder's, which is never
// changed). A version set aside is not fetched again until the server lists
// another. Every call runs under the one-launcher lock.
#include <string>

#include "update/launcher/LauncherState.h"

namespace fl {

class CLauncherHealth {
public:
    explicit CLauncherHealth(std::string dataFolder);

    // Starts on probation a launcher gets to prove itself.
    static constexpr int kProbationStarts = 2;

    struct Choice {
        std::string path;    // the file to copy to FLuncher.dydr
        std::string source;  // "updt", "prev" or "install"
        std::string sha;     // its digest (empty for the install folder's)
    };
    // The launcher a start from the install folder runs. A FLuncher.updt that
    // used its starts on probation is set aside first.
    Choice ChooseForStart(const std::string& installLauncher);
    // What runs when the chosen one cannot: FLuncher.prev when whole, else the install folder's.
    Choice Fallback(const std::string& installLauncher) const;
    // Counts the start (an attempt while FLuncher.updt is on probation) and
    // remembers what FLuncher.dydr now holds; a null choice: unknown.
    void RecordStart(const Choice* choice);
    // Sets FLuncher.updt aside at once (it cannot be started at all).
    void SetAside(const std::string& why);
    // flauncher-cli: sets aside a FLuncher.updt that used its starts, as a start would.
    void CheckForRunner();
    // The running copy proved itself. Only a copy a start took from
    // FLuncher.updt counts, and only when `modulePath` is that copy.
    void MarkProven(const std::string& modulePath, const std::string& why);
    // Whether a launcher the server lists was set aside (sha: as hash.pat lists it, may be empty).
    bool IsRefused(const std::string& version, const std::string& sha) const;
    // FLuncher.updt is whole and holds the launcher of that digest (as hash.pat lists it).
    bool Holds(const std::string& sha) const;
    // Puts a fetched launcher in place as FLuncher.updt, on probation: made
    // runnable and flushed first, the proven one before it kept as FLuncher.prev.
    bool PlaceNew(const std::string& tempPath, const std::string& version, std::string& why);
    // The line for the player a start that went back left; empty when none. Taken once.
    std::string TakeNotice();
    // Why FLuncher.updt was set aside in this object's calls (for the run's log); empty when it was not.
    const std::string& WentBackReason() const { return m_strReason; }

    // Tests: called at each step of a replacement, to end the process there.
    static void SetStepHook(void (*hook)(const char* step));
    static void Step(const char* step);

private:
    std::string Path(const char* name) const { return m_strFolder + "/" + name; }
    void SetAsideLocked(LauncherState& s, const std::string& why, const std::string& then);
    std::string DescribeFailure(const LauncherState& s) const;

    std::string m_strFolder;
    std::string m_strReason;
};

// The running program did what a launcher is for: the record of the data folder
// says so (one record at a time, whichever thread or front end gets here).
void MarkLauncherProven(const std::string& modulePath, const std::string& why);

}  // namespace fl
