// The speed and time left from a scripted byte feed (no sleeping), the rate
// cap's text, and a percentage that never goes backwards.
#include <gtest/gtest.h>

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
    EXPECT_EQ(fl::FormatRate(m.Rate(12000)), "1.0 MB/s");
    EXPECT_EQ(fl::FormatTimeLeft(80), "剩余 1分20秒");
    EXPECT_EQ(fl::FormatTimeLeft(45), "剩余 45秒");
    EXPECT_EQ(fl::FormatTimeLeft(7500), "剩余 2小时5分");
    EXPECT_EQ(fl::FormatRate(512 * 1024), "512 KB/s");
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
    EXPECT_NEAR(m.Rate(t), 1.2e6, 0.1e6) << "3 s of 2 MB/s in the 5 s window";
    EXPECT_EQ(m.SecondsLeft(50'000'000, t), -1) << "not steady yet";
    feed(t + 8000, 200000);
    EXPECT_NEAR(m.Rate(t), 2e6, 0.05e6);
    EXPECT_NEAR(double(m.SecondsLeft(50'000'000, t)), 25, 1);
}

TEST(RateLimit, RatesAreReadWithTheirUnits) {
    EXPECT_EQ(fl::ParseRate("2M"), 2 << 20);
    EXPECT_EQ(fl::ParseRate("500K"), 500 << 10);
    EXPECT_EQ(fl::ParseRate("1G"), 1 << 30);
    EXPECT_EQ(fl::ParseRate("1.5MB"), 3 << 19);
    EXPECT_EQ(fl::ParseRate("123456"), 123456);
    EXPECT_EQ(fl::ParseRate("0"), 0);
    for (const char* bad : {"", "M", "2X", "-5", "2 M B", "1e9"}) EXPECT_EQ(fl::ParseRate(bad), -1) << bad;
}

TEST_F(EngineFixture, ThePercentageNeverGoesBackwardsWithinAStage) {
    app.SetStep(4);
    for (int p : {10, 40, 30, 55, 20, 70}) app.SetProgressPercent(p);
    app.SetStep(5);  // a new stage counts from its start
    for (int p : {0, 5, 3}) app.SetProgressPercent(p);
    EXPECT_EQ(progress.Percents(), (std::vector<int>{10, 40, 40, 55, 55, 70, 0, 5, 5}));
}

TEST(RateLimit, TheWindowsCapComesFromPlatformIniAndTheEnvironmentWins) {
    TempDir folder;
    WriteFile(folder / "platform.ini", "member_site=http://m.example/\nlimit_rate = 2M\n");
    EXPECT_EQ(fl::ParseRate(fl::LoadPlatformConfig(folder.Path() + "/").strLimitRate), 2 << 20);
    ScopedEnv env{"FLAUNCHER_LIMIT_RATE", "500K"};
    EXPECT_EQ(fl::ParseRate(fl::LoadPlatformConfig(folder.Path() + "/").strLimitRate), 500 << 10);
}
