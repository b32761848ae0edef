// The speed and time left from a scripted byte feed (no sleeping), the rate
// cap's text, and a percentage that never goes backwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "app/PlatformConfig.h"
#include "tests/support/EngineHarness.h"
#include "update/net/RateLimit.h"
#include "update/progress/RateMeter.h"

using namespace fltest;

TEST(RateMeter, ASteadyFeedGivesItsRateAndATimeLeftOnlyAfterTenSeconds) {
    fl::CRateMeter m;
    m.Start(0);
    // 1 MiB a second, in pieces every 100 ms.
    for (long long t = 100; t <= 12000; t += 100) {
        m.Add(104858, t);
        if (t == 3000) {
            EXPECT_NEAR(m.Rate(t), 1048580, 20000) << "younger than the window: since the start";
            EXPECT_EQ(m.SecondsLeft(100 << 20, t), -1) << "no time left before 10 s";
        }
    }
    EXPECT_NEAR(m.Rate(12000), 1048580, 20000);
    EXPECT_NEAR(double(m.SecondsLeft(60LL << 20, 12000)), 60, 1);
    EXPECT_EQ(fl::FormatRate(m.Rate(12000)), "1.0 MiB/s");
    EXPECT_EQ(fl::FormatTimeLeft(80), "剩余 1分20秒");
    EXPECT_EQ(fl::FormatTimeLeft(45), "剩余 45秒");
    EXPECT_EQ(fl::FormatTimeLeft(7500), "剩余 2小时5分");
    EXPECT_EQ(fl::FormatRate(512 * 1024), "512 KiB/s");
}

TEST(RateMeter, AStallDropsTheRateToZeroAndHidesTheTimeLeftUntilTheRateIsSteadyAgain) {
    fl::CRateMeter m;
    m.Start(0);
    long long t = 0;
    auto feed = [&](long long until, long long perTenth) {
        for (; t < until; t += 100) m.Add(perTenth, t + 100);
    };
    feed(12000, 100000);  // 1 MB/s
    EXPECT_GT(m.SecondsLeft(50'000'000, t), 0);
    // Nothing for 6 s (the display still asks every second).
    for (long long q = t + 1000; q <= t + 6000; q += 1000) m.Rate(q);
    t += 6000;
    EXPECT_EQ(m.Rate(t), 0) << "nothing arrived in the last 5 s";
    EXPECT_EQ(m.SecondsLeft(50'000'000, t), -1) << "stalled: no time left";
    EXPECT_EQ(fl::FormatRate(m.Rate(t)), "0 B/s");
    // It goes on at 2 MB/s: the rate follows at once, the time left once steady.
    feed(t + 3000, 200000);
    EXPECT_NEAR(m.Rate(t), 2e6, 0.1e6) << "3 s of 2 MB/s: over the time they took";
    EXPECT_EQ(m.SecondsLeft(50'000'000, t), -1) << "not steady yet";
    feed(t + 8000, 200000);
    EXPECT_NEAR(m.Rate(t), 2e6, 0.05e6);
    EXPECT_NEAR(double(m.SecondsLeft(50'000'000, t)), 25, 1);
}

// A server that limits its rate sends a burst a second. The rate is the same
// whatever the moment it is read at (the first piece of a burst, its end, the
// pause after it), and so is the time left.
TEST(RateMeter, BurstsGiveTheirRealRateAndTimeLeftAtEveryPhase) {
    const long long burst = 2 << 20, total = 80LL << 20;
    for (long long phase : {0LL, 3LL, 4LL, 250LL, 500LL, 999LL}) {
        fl::CRateMeter m;
        m.Start(0);
        long long got = 0;
        int estimates = 0;
        for (long long second = 0; got < total; ++second) {
            const long long t0 = 300 + second * 1000;  // the first byte comes a little after the start
            for (int piece = 0; piece < 32; ++piece) m.Add(burst / 32, t0 + piece / 8);  // 32 pieces in 4 ms
            got += burst;
            const long long now = t0 + phase;
            if (second < 6) continue;
            EXPECT_NEAR(m.Rate(now), double(burst), burst * 0.05) << "phase " << phase << " at " << second;
            const long long left = m.SecondsLeft(total - got, now);
            if (left < 0) continue;
            ++estimates;
            const double real = double(total - got) / double(burst) + (phase > 4 ? 1.0 - phase / 1000.0 : 1.0);
            EXPECT_NEAR(double(left), real, std::max(1.0, real * 0.2)) << "phase " << phase << " at " << second;
        }
        EXPECT_GT(estimates, 20) << "the time left shows once the rate is steady";
    }
}

TEST(RateLimit, RatesAreReadWithTheirUnits) {
    EXPECT_EQ(fl::ParseRate("2M"), 2 << 20);
    EXPECT_EQ(fl::ParseRate("500K"), 500 << 10);
    EXPECT_EQ(fl::ParseRate("1G"), 1 << 30);
    EXPECT_EQ(fl::ParseRate("1.5MB"), 3 << 19);
    EXPECT_EQ(fl::ParseRate("123456"), 123456);
    EXPECT_EQ(fl::ParseRate("0"), 0);
    for (const char* bad : {"", "M", "2X", "-5", "2 M B", "1e9", "0.5", "1.2.3M", ".5M", "5.M", "8589934592G",
                            "999999999999999", "0.1"})
        EXPECT_EQ(fl::ParseRate(bad), -1) << bad;
    EXPECT_EQ(fl::ParseRate("0.0"), 0) << "no cap";
    EXPECT_EQ(fl::ParseRate("0.5K"), 512);
}

TEST_F(EngineFixture, ThePercentageNeverGoesBackwardsWithinAStage) {
    app.SetStep(4);
    for (int p : {10, 40, 30, 55, 20, 70}) app.SetProgressPercent(p);
    app.SetStep(5);  // a new stage counts from its start
    for (int p : {0, 5, 3}) app.SetProgressPercent(p);
    EXPECT_EQ(progress.Percents(), (std::vector<int>{10, 40, 40, 55, 55, 70, 0, 5, 5}));
}

// Two workers report at once: what is drawn never steps back, in the order drawn.
TEST_F(EngineFixture, ThePercentageDrawnByWorkersAtOnceNeverStepsBack) {
    // A panel that takes a moment to draw: the moment a late figure could slip in.
    struct SlowPanel : RecordingProgress {
        void SetProgressPercent(int percent) override {
            std::this_thread::sleep_for(std::chrono::microseconds(percent % 3));
            RecordingProgress::SetProgressPercent(percent);
        }
    } panel;
    app.SetProgressHost(&panel);
    app.SetStep(4);
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w)
        workers.emplace_back([this] {
            for (int round = 0; round < 20; ++round)
                for (int p = 0; p <= 100; ++p) app.SetProgressPercent(p);
        });
    for (auto& t : workers) t.join();
    app.SetProgressHost(&progress);
    const auto drawn = panel.Percents();
    ASSERT_EQ(drawn.size(), 4u * 20 * 101);
    EXPECT_TRUE(std::is_sorted(drawn.begin(), drawn.end()));
}

TEST(RateLimit, TheWindowsCapComesFromPlatformIniAndTheEnvironmentWins) {
    TempDir folder;
    WriteFile(folder / "platform.ini", "member_site=http://m.example/\nlimit_rate = 2M\n");
    EXPECT_EQ(fl::ParseRate(fl::LoadPlatformConfig(folder.Path() + "/").strLimitRate), 2 << 20);
    ScopedEnv env{"FLAUNCHER_LIMIT_RATE", "500K"};
    EXPECT_EQ(fl::ParseRate(fl::LoadPlatformConfig(folder.Path() + "/").strLimitRate), 500 << 10);
}
