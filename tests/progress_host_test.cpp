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

// The rate line is a line of its own under the bar; the status text stays.
TEST(ProgressHost, TheRateLineShowsUnderTheBarAndHidesWhenEmpty) {
    fl::CWobrApp app;
    fl::CProgressHost host(app);
    host.ShowStatusText("下载更新中...   1.00M/4.00M");
    auto render = [&] {
        auto surface = Cairo::ImageSurface::create(Cairo::FORMAT_ARGB32, 651, 363);
        auto cr = Cairo::Context::create(surface);
        host.Dialog()->Paint(cr->cobj());
        surface->flush();
        return surface;
    };
    // A digest of the rows, so a failure prints no pixels.
    auto rows = [](const Cairo::RefPtr<Cairo::ImageSurface>& s, int from, int to) {
        const unsigned char* data = s->get_data();
        size_t h = 1469598103934665603ull;
        for (int i = from * s->get_stride(); i < to * s->get_stride(); ++i) h = (h ^ data[i]) * 1099511628211ull;
        return h;
    };
    const auto hidden = render();
    host.ShowRateLine("2.4 MB/s  剩余 1分20秒");
    EXPECT_EQ(host.Dialog()->m_rate.GetWindowText(), "2.4 MB/s  剩余 1分20秒");
    const auto shown = render();
    EXPECT_NE(rows(hidden, 334, 358), rows(shown, 334, 358)) << "the line is drawn under the bar";
    EXPECT_EQ(rows(hidden, 0, 330), rows(shown, 0, 330)) << "the status text and the bar are untouched";
    host.ShowRateLine("");
    EXPECT_EQ(rows(hidden, 0, 363), rows(render(), 0, 363)) << "hidden again";
    fltest::Pump(50);
}
