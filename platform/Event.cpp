#include "platform/Event.h"

#include <chrono>

namespace fl {

void CEvent::Set() {
    {
        std::lock_guard lock(m_mutex);
        m_bSignalled = true;
    }
    if (m_bManualReset)
        m_cv.notify_all();
    else
        m_cv.notify_one();
}

void CEvent::Reset() {
    std::lock_guard lock(m_mutex);
    m_bSignalled = false;
}

bool CEvent::Wait(int timeoutMs) {
    std::unique_lock lock(m_mutex);
    auto ready = [this] { return m_bSignalled; };
    if (timeoutMs < 0)
        m_cv.wait(lock, ready);
    else if (!m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
        return false;
    if (!m_bManualReset) m_bSignalled = false;
    return true;
}

bool WaitForAll(std::initializer_list<CEvent*> events, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (CEvent* e : events) {
        if (!e) continue;
        int left = kInfinite;
        if (timeoutMs >= 0) {
            auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            left = ms > 0 ? int(ms) : 0;
        }
        if (!e->Wait(left)) return false;
    }
    return true;
}

}  // namespace fl
