#pragma once
#include <gtk/gtk.h>

#include <chrono>
#include <thread>

namespace fltest {

// Runs the main loop until pred() holds or the time runs out.
template <class Pred>
bool PumpUntil(Pred pred, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return pred();
}

inline void Pump(int ms) {
    PumpUntil([] { return false; }, ms);
}

}  // namespace fltest
