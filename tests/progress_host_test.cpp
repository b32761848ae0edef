#include <gtest/gtest.h>

#include <chrono>

#include "app/WobrApp.h"
#include "tests/support/GuiHelpers.h"
#include "ui/ProgressHost.h"

TEST(ProgressHost, RangeFollowsTheSixteenBitRuleAndFinishHoldsOneSecond) {
    fl::CWobrApp app;
    fl::CProgressHost host(app);
    fl::CMyProGress& bar = host.Dialog()->m_bar;
    host.SetProgressRange(0, 200);
    host.SetProgressPercent(100);
    EXPECT_EQ(bar.FillWidth(), 141) << "half full, and the text says 100%";
    host.SetProgressRange(-1, 100);
    host.SetProgressRange(0, 32768);
    EXPECT_EQ(bar.GetUpper(), 200) << "negative 16-bit bounds change nothing";
    EXPECT_EQ(bar.GetPos(), 100) << "not even the position";
    host.SetProgressRange(0, 100);
    EXPECT_EQ(bar.GetPos(), 0) << "a new range starts at 0";

    host.ShowStatusText("a");
    EXPECT_EQ(host.Dialog()->m_status.GetWindowText(), "a");

    host.m_hEvent = std::make_unique<fl::CEvent>(true, false);
    const auto start = std::chrono::steady_clock::now();
    host.Finish();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(990));
    EXPECT_EQ(bar.GetPos(), 100);
    EXPECT_EQ(host.Dialog()->m_bCompleted.load(), 1);
    EXPECT_TRUE(host.m_hEvent->Wait(0)) << "the update thread is released";

    host.m_hEvent = std::make_unique<fl::CEvent>(true, false);
    host.Abort();
    EXPECT_TRUE(host.m_hEvent->Wait(0));
    fltest::Pump(50);
}
