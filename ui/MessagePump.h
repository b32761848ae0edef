#pragma once
// The window's messages: any thread may post; the handler runs later on the UI
// thread (the GLib main loop). Messages posted to a window that is gone are dropped.
#include <cstdint>
#include <functional>
#include <memory>

namespace fl {

inline constexpr unsigned WM_CLOSE = 0x0010;

class CMessagePump {
public:
    using Handler = std::function<void(unsigned message, uintptr_t wParam, long lParam)>;
    explicit CMessagePump(Handler handler);
    ~CMessagePump();
    CMessagePump(const CMessagePump&) = delete;
    CMessagePump& operator=(const CMessagePump&) = delete;

    void Post(unsigned message, uintptr_t wParam, long lParam);

    struct Shared;

private:
    std::shared_ptr<Shared> m_pShared;
};

// Runs `work` on the UI thread and waits for it (at once when called there).
// False when it was not run: the UI loop has ended, or ended while it waited.
bool RunOnUiThread(const std::function<void()>& work);
// The UI loop has ended for good: waiting calls are released unrun, later ones
// return at once.
void EndUiLoop();
// Remembers the calling thread as the UI thread.
void MarkUiThread();
bool IsUiThread();

}  // namespace fl
