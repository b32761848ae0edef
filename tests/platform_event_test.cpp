#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/Event.h"

using fl::CEvent;

TEST(Event, AutoResetReleasesOneWaiterPerSignal) {
    CEvent e(false, false);
    std::atomic<int> woken{0};
    std::thread a([&] { if (e.Wait(2000)) ++woken; });
    std::thread b([&] { if (e.Wait(300)) ++woken; });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    e.Set();
    a.join();
    b.join();
    EXPECT_EQ(woken.load(), 1);
    EXPECT_FALSE(e.Wait(0)) << "the signal was consumed";
}

TEST(Event, ManualResetStaysSetUntilReset) {
    CEvent e(true, false);
    e.Set();
    EXPECT_TRUE(e.Wait(0));
    EXPECT_TRUE(e.Wait(0));
    e.Reset();
    EXPECT_FALSE(e.Wait(10));
}

TEST(Event, WaitForAllNeedsEverySignalAndTimesOut) {
    CEvent a, b;
    a.Set();
    EXPECT_FALSE(fl::WaitForAll({&a, &b}, 50));
    std::thread t([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        a.Set();
        b.Set();
    });
    EXPECT_TRUE(fl::WaitForAll({&a, &b}));
    t.join();
}
