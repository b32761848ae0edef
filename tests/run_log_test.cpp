// The run logs kept in the data folder: the newest by the time each run began.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/StatusText.h"
#include "platform/RunLog.h"
#include "tests/support/TempDir.h"

using namespace fltest;

TEST(RunLog, TheNewestTenAreKeptByTimeWhateverTheirNumberWithinASecond) {
    TempDir data;
    const std::string logs = data / "logs";
    std::filesystem::create_directories(logs);
    // Eleven runs of one second (the second one's log is "-1"), one of a later second.
    for (int n = 0; n < 11; ++n)
        WriteFile(logs + "/launcher-20200101-000000" + (n ? "-" + std::to_string(n) : "") + ".log", "x");
    WriteFile(logs + "/launcher-20200101-000001.log", "x");
    WriteFile(logs + "/other-20000101-000000.log", "not ours");
    ASSERT_TRUE(fl::OpenRunLog(data.Path()));
    fl::CloseRunLog();
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(logs)) names.push_back(e.path().filename().string());
    EXPECT_EQ(names.size(), 11u);
    auto has = [&](const std::string& n) { return std::find(names.begin(), names.end(), n) != names.end(); };
    for (const char* gone : {"launcher-20200101-000000.log", "launcher-20200101-000000-1.log", "launcher-20200101-000000-2.log"})
        EXPECT_FALSE(has(gone)) << gone;
    for (const char* kept : {"launcher-20200101-000000-3.log", "launcher-20200101-000000-10.log", "launcher-20200101-000001.log",
                             "other-20000101-000000.log"})
        EXPECT_TRUE(has(kept)) << kept;
}

// Texts that only count are told from texts that say something, and a
// terminal line is measured in columns (a Chinese character takes two).
TEST(StatusText, CountersAreKnownByTheirFiguresAndWidthsByTheirCharacters) {
    EXPECT_EQ(fl::CounterStem("下载更新中...   1.50M/60.01M"), "下载更新中...");
    EXPECT_EQ(fl::CounterStem("正在下载更新文件...  5/30"), "正在下载更新文件...");
    EXPECT_EQ(fl::CounterStem("下载更新中...   512KB/900KB"), "下载更新中...");
    for (const char* says : {"正在解压资源...", "检测到5M更新,开始下载.", "资源解压完成.", "5/30", "a 1/", "a /5", "版本1.0/x"})
        EXPECT_EQ(fl::CounterStem(says), "") << says;
    EXPECT_TRUE(fl::CounterComplete("下载更新中...   60.01M/60.01M"));
    EXPECT_FALSE(fl::CounterComplete("正在下载更新文件...  29/30"));
    EXPECT_EQ(fl::DisplayWidth("ab"), 2);
    EXPECT_EQ(fl::DisplayWidth("下载 1"), 6);
    EXPECT_EQ(fl::CutToWidth("下载更新", 5), "下载");
    EXPECT_EQ(fl::CutToWidth("ab下", 3), "ab");
}
