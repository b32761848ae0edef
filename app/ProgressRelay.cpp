#include "app/ProgressRelay.h"

#include <algorithm>

#include "app/StatusText.h"
#include "platform/Trace.h"

namespace fl {

void CProgressRelay::ShowStatusText(const std::string& text) {
    // The run's log gets what the player read, but not every step of a counter
    // (its end only), nor the same text again and again (one per unpacked entry).
    bool log = TraceEnabled();
    if (!log) {
        const bool counter = !CounterStem(text).empty();
        std::lock_guard lock(m_csStatusLog);
        log = (!counter || CounterComplete(text)) && text != m_strLastLogged;
        if (log) m_strLastLogged = text;
    }
    if (log) OutputDebugStringW("status: " + text);
    if (m_pHost) m_pHost->ShowStatusText(text);
}

void CProgressRelay::SetProgressPercent(int percent) {
    // Never backwards within a stage (a half that starts over, two workers
    // reporting): the floor is checked and the figure drawn under one lock, so
    // a worker with an older figure cannot draw after one with a newer.
    std::lock_guard lock(m_csPercent);
    percent = std::max(percent, m_nPercentFloor);
    m_nPercentFloor = percent;
    if (m_pHost) m_pHost->SetProgressPercent(percent);
}

void CProgressRelay::SetProgressRange(int lower, int upper) {
    std::lock_guard lock(m_csPercent);
    m_nPercentFloor = 0;
    if (m_pHost) m_pHost->SetProgressRange(lower, upper);
}

void CProgressRelay::NewStage() {
    std::lock_guard lock(m_csPercent);
    m_nPercentFloor = 0;
}

void CProgressRelay::ShowRateLine(const std::string& text) {
    if (m_pHost) m_pHost->ShowRateLine(text);
}

void CProgressRelay::ShowTransferNote(const std::string& text) {
    if (m_pHost) m_pHost->ShowTransferNote(text);
}

void CProgressRelay::Finish() {
    if (m_pHost) m_pHost->Finish();
}

void CProgressRelay::Abort() {
    if (m_pHost) m_pHost->Abort();
}

}  // namespace fl
