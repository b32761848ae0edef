#pragma once
// Events with the semantics the threads of the launcher rely on: auto-reset
// (one waiter consumes a signal) and manual-reset (stays set until Reset).
#include <condition_variable>
#include <initializer_list>
#include <mutex>

namespace fl {

constexpr int kInfinite = -1;

class CEvent {
public:
    explicit CEvent(bool manualReset = false, bool initialState = false)
        : m_bManualReset(manualReset), m_bSignalled(initialState) {}
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    void Set();
    void Reset();
    // Returns true when signalled, false when the time-out (milliseconds) ran out.
    bool Wait(int timeoutMs = kInfinite);

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    const bool m_bManualReset;
    bool m_bSignalled;
};

// Waits until every event has been signalled. Each auto-reset event is consumed
// as its signal is seen; the launcher only waits for all of a set of one-shot
// completion events, so taking them one by one is equivalent to the atomic
// wait-all of the original platform.
bool WaitForAll(std::initializer_list<CEvent*> events, int timeoutMs = kInfinite);

}  // namespace fl
