#pragma once
// The one interface between the update engine and the program it runs in: what
// the engine tells its host (texts, progress, steps, the end of a run) and what
// it asks of it (the run folder's name). The launcher's application, the
// headless runner and the tests are hosts; the engine knows none of them.
#include <string>

namespace fl {

// What the engine is given when it is made, read by it and never changed.
struct UpdateSettings {
    std::string strPinnedKeys;      // minisign key lines a signed "hash.pat" is accepted from
    long long nLimitRate = 0;       // bytes a second for every transfer together (0: no cap)
    std::string strLauncherFolder;  // the install folder ("/" at its end), or empty
};

class IUpdateHost {
public:
    virtual ~IUpdateHost() = default;
    // Progress, from any of the engine's threads.
    virtual void ShowStatusText(const std::string& text) = 0;
    virtual void SetProgressPercent(int percent) = 0;
    virtual void SetProgressRange(int lower, int upper) = 0;
    // The speed and time left beside the status text; empty hides it.
    virtual void ShowRateLine(const std::string& text) = 0;
    // A transfer tried again, resumed or moved to another address.
    virtual void ShowTransferNote(const std::string& text) = 0;
    // A message the player must acknowledge.
    virtual void ShowMessage(const std::string& text) = 0;
    // The step of the run the platform is told of.
    virtual void SetStep(int step) = 0;
    // The run folder's name below the data folder ("<name>/"): the engine sets it
    // from the resource address, the client starts in it.
    virtual std::string GetResFolder() const = 0;
    virtual void SetResFolder(const std::string& folder) = 0;
    // The running launcher did what a launcher is for (it stays, if on probation).
    virtual void LauncherProven(const std::string& why) = 0;
    // The end of a run: complete (100 % for a second), then the client starts and
    // the window closes; or a newer launcher takes over; or the run ends without
    // completing and the window closes.
    virtual void UpdateFinished() = 0;
    virtual void LaunchGameClient() = 0;
    virtual void PostCloseToMainWindow() = 0;
    virtual void RestartLauncher() = 0;
    virtual void FinishUpdate() = 0;
};

}  // namespace fl
