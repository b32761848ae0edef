#include "ui/MessagePump.h"

#include <glib.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
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

namespace {

// A call waiting for the UI thread. Shared by the waiter and the queued idle
// source, so either may end first.
struct PendingCall {
    const std::function<void()>* work;
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    bool cancelled = false;  // the loop ended first: work never runs
};

std::mutex g_pendingMutex;
std::set<std::shared_ptr<PendingCall>> g_pending;
bool g_bLoopEnded = false;

void Release(PendingCall& call, bool cancelled) {
    std::lock_guard lock(call.m);
    call.done = true;
    call.cancelled = cancelled;
    call.cv.notify_all();
}

}  // namespace

bool RunOnUiThread(const std::function<void()>& work) {
    if (IsUiThread()) {
        work();
        return true;
    }
    auto call = std::make_shared<PendingCall>();
    call->work = &work;
    {
        std::lock_guard lock(g_pendingMutex);
        if (g_bLoopEnded) return false;  // nobody would ever run it
        g_pending.insert(call);
    }
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            std::shared_ptr<PendingCall> c = *static_cast<std::shared_ptr<PendingCall>*>(data);
            {
                std::lock_guard lock(g_pendingMutex);
                if (!g_pending.erase(c)) return G_SOURCE_REMOVE;  // cancelled: its caller has gone on
            }
            (*c->work)();
            Release(*c, false);
            return G_SOURCE_REMOVE;
        },
        new std::shared_ptr<PendingCall>(call),
        [](gpointer data) { delete static_cast<std::shared_ptr<PendingCall>*>(data); });
    std::unique_lock lock(call->m);
    call->cv.wait(lock, [&] { return call->done; });
    return !call->cancelled;
}

void EndUiLoop() {
    std::lock_guard lock(g_pendingMutex);
    g_bLoopEnded = true;
    for (const auto& call : g_pending) Release(*call, true);
    g_pending.clear();
}

}  // namespace fl
