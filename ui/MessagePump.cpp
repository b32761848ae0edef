#include "ui/MessagePump.h"

#include <glib.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace fl {

struct CMessagePump::Shared {
    Handler handler;
    bool alive = true;  // read and written on the UI thread only
};

namespace {

struct Posted {
    std::shared_ptr<CMessagePump::Shared> shared;
    unsigned message;
    uintptr_t wParam;
    long lParam;
};

gboolean Deliver(gpointer data) {
    std::unique_ptr<Posted> p(static_cast<Posted*>(data));
    if (p->shared->alive && p->shared->handler) p->shared->handler(p->message, p->wParam, p->lParam);
    return G_SOURCE_REMOVE;
}

std::atomic<std::thread::id> g_uiThread{};

}  // namespace

CMessagePump::CMessagePump(Handler handler) : m_pShared(std::make_shared<Shared>()) {
    m_pShared->handler = std::move(handler);
}

CMessagePump::~CMessagePump() { m_pShared->alive = false; }

void CMessagePump::Post(unsigned message, uintptr_t wParam, long lParam) {
    // g_idle_add is safe from any thread; messages keep their order.
    g_idle_add_full(G_PRIORITY_DEFAULT, Deliver, new Posted{m_pShared, message, wParam, lParam}, nullptr);
}

void MarkUiThread() { g_uiThread = std::this_thread::get_id(); }
bool IsUiThread() { return g_uiThread.load() == std::this_thread::get_id(); }

void RunOnUiThread(const std::function<void()>& work) {
    if (IsUiThread()) {
        work();
        return;
    }
    struct Call {
        const std::function<void()>* work;
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
    } call;
    call.work = &work;
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            auto* c = static_cast<Call*>(data);
            (*c->work)();
            std::lock_guard lock(c->m);
            c->done = true;
            c->cv.notify_all();
            return G_SOURCE_REMOVE;
        },
        &call, nullptr);
    std::unique_lock lock(call.m);
    call.cv.wait(lock, [&] { return call.done; });
}

}  // namespace fl
