#pragma once
// The progress operations the update engine drives. The windowed front end
// carries them out on its progress panel; the headless runner prints them.
#include <string>

namespace fl {

class IProgressHost {
public:
    virtual ~IProgressHost() = default;
    // All may be called from any thread.
    virtual void ShowStatusText(const std::string& text) = 0;
    virtual void SetProgressPercent(int percent) = 0;
    virtual void SetProgressRange(int lower, int upper) = 0;
    // The update is complete: 100 % for one second (on the calling thread), then release.
    virtual void Finish() = 0;
    // Release without completing.
    virtual void Abort() = 0;
    // A transfer is tried again, resumed or moved to another address (a line for
    // the runner; the window only traces it).
    virtual void ShowTransferNote(const std::string&) {}
    // The speed and time left of the running transfers, a line of its own
    // beside the status text; empty hides it.
    virtual void ShowRateLine(const std::string&) {}
};

}  // namespace fl
