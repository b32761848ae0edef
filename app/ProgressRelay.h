#pragma once
// The engine's progress, passed on to a progress holder (the window's panel, the
// runner's terminal): the run's log gets what the player read, and the
// percentage never goes back within a stage.
#include <mutex>
#include <string>

#include "app/ProgressHost.h"

namespace fl {

class CProgressRelay {
public:
    void SetHost(IProgressHost* host) { m_pHost = host; }
    // All callable from any thread.
    void ShowStatusText(const std::string& text);
    void SetProgressPercent(int percent);
    void SetProgressRange(int lower, int upper);
    void ShowRateLine(const std::string& text);
    void ShowTransferNote(const std::string& text);
    void Finish();
    void Abort();
    // A new stage counts from its start.
    void NewStage();

private:
    IProgressHost* m_pHost = nullptr;  // set before the engine runs
    std::mutex m_csStatusLog;          // guards m_strLastLogged
    std::string m_strLastLogged;
    std::mutex m_csPercent;  // guards m_nPercentFloor and the order of the figures drawn
    int m_nPercentFloor = 0;  // the stage's highest percentage so far
};

}  // namespace fl
