#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>

#include "tests/support/EngineHarness.h"
#include "update/net/HttpConn.h"

using namespace fltest;

namespace {

std::string Pattern(size_t size, unsigned seed = 1) {
    std::string s(size, '\0');
    unsigned x = seed;
    for (auto& c : s) {
        x = x * 1103515245u + 12345u;
        c = char(x >> 16);
    }
    return s;
}

}  // namespace

TEST(HttpConn, ResourceUrlIsSplitIntoServerPortAndBase) {
    fl::HttpConn c;
    ASSERT_TRUE(c.Initialize("http://res.example:8080/a/b/"));
    EXPECT_EQ(c.GetServer(), "res.example");
    EXPECT_EQ(c.GetPort(), 8080);
    EXPECT_EQ(c.GetObjectBase(), "/a/b/");
    ASSERT_TRUE(c.Initialize("http://res.example/a/b"));
    EXPECT_EQ(c.GetPort(), 80);
    EXPECT_EQ(c.GetObjectBase(), "/a/b/") << "an address names a folder, slash or not";
    EXPECT_EQ(c.RequestUrl("luncherVersion.pat", ""), "http://res.example:80/a/b/luncherVersion.pat");
    EXPECT_FALSE(c.Initialize("https://res.example/a/"));
    EXPECT_FALSE(c.Initialize("ftp://res.example/a/"));
    EXPECT_FALSE(c.Initialize("http://res.example:99999/"));
}

TEST(RangeProgress, TextsAndPercentagesFollowTheWholeSize) {
    int pct = -1;
    EXPECT_EQ(fl::RangeProgressText(500, 1001, &pct), "下载更新中...   500B/1001B");
    EXPECT_EQ(pct, 49);
    EXPECT_EQ(fl::RangeProgressText(256000, 512000, &pct), "下载更新中...   250KB/500KB");
    EXPECT_EQ(pct, 50);
    EXPECT_EQ(fl::RangeProgressText(1572864, 3145728, &pct), "下载更新中...   1.50M/3.00M");
    EXPECT_EQ(pct, 50);
}

TEST_F(EngineFixture, RequestPathsCarryTheBaseAndTheVersion) {
    server.AddFile("/a/b/version.pat", "x|1\n");
    server.AddFile("/a/b/f.dat", "data");
    server.AddFile("/a/b/f.dat?v=9", "odd name");
    ASSERT_TRUE(StartEngine("/a/b/"));
    EXPECT_TRUE(engine->FetchToMemory("version.pat"));
    EXPECT_TRUE(engine->FetchToFile("f.dat"));
    // A "?" in a name is part of the name: requested as itself, stored under it.
    EXPECT_TRUE(engine->FetchToFile("f.dat?v=9"));
    EXPECT_EQ(server.Targets(), (std::vector<std::string>{"/a/b/version.pat?v=7b", "/a/b/f.dat?v=7b",
                                                          "/a/b/f.dat%3Fv%3D9?v=7b"}));
    EXPECT_EQ(ReadFile(data.Path() + "/fenwazelt/b/f.dat"), "data");
    EXPECT_EQ(ReadFile(data.Path() + "/fenwazelt/b/f.dat?v=9"), "odd name");
    EXPECT_FALSE(engine->FetchToFile("")) << "an empty name is not handed over";
    EXPECT_TRUE(engine->m_bSuccess);
}

TEST_F(EngineFixture, ARedirectIsARefusalThatAbortsAndClosesWithoutHanging) {
    Behaviour moved;
    moved.status = 302;
    moved.location = "/res/elsewhere.dat";
    server.SetBehaviour("/res/f.dat", moved);
    server.AddFile("/res/elsewhere.dat", "never");
    ASSERT_TRUE(StartEngine());
    EXPECT_FALSE(engine->FetchToFile("f.dat")) << "released, reporting the abort";
    EXPECT_EQ(server.Count("/res/elsewhere.dat"), 0);
    EXPECT_TRUE(progress.HasStatus("连接服务器失败!请检查网络设置."));
    EXPECT_TRUE(boxes.Has("文件[f.dat]下载失败,请检查网络设置."));
    EXPECT_EQ(progress.m_nAborted, 1);
    EXPECT_EQ(window.m_nCloses, 1) << "the application closes";
    EXPECT_FALSE(engine->m_bSuccess);
    EXPECT_FALSE(engine->FetchToFile("other.dat")) << "nothing more after an abort";
    EXPECT_FALSE(engine->FetchToMemory("version.pat")) << "an ignored request still returns";
    EXPECT_EQ(server.Count("/res/other.dat"), 0);
}

TEST_F(EngineFixture, ListRunsSplitTheListAndStoreFilesUnderTheirFolders) {
    ASSERT_TRUE(StartEngine());
    for (size_t n : {1u, 2u, 5u}) {
        engine->m_mapDownloadList.clear();
        for (size_t i = 0; i < n; ++i) {
            std::string name = (i % 2 ? "sub\\deep/" : "") + std::string("f") + std::to_string(i) + ".bin";
            std::string path = "/res/" + std::string(i % 2 ? "sub/deep/" : "") + "f" + std::to_string(i) + ".bin";
            server.AddFile(path, Pattern(1000 + i, unsigned(i)));
            engine->m_mapDownloadList[name] = "v" + std::to_string(i);
        }
        engine->DownloadSegmented(1, long(n));
        const size_t first = std::max<size_t>(1, n / 2);
        EXPECT_EQ(engine->m_vecWorkItems[0].entries.size(), first) << n;
        EXPECT_EQ(engine->m_vecWorkItems[1].entries.size(), n - first) << n;
        for (size_t i = 0; i < n; ++i) {
            std::string local = RunFolder() + (i % 2 ? "sub/deep/" : "") + "f" + std::to_string(i) + ".bin";
            EXPECT_EQ(ReadFile(local), Pattern(1000 + i, unsigned(i))) << local;
        }
    }
    EXPECT_EQ(server.Count("/res/f0.bin"), 3);
    auto t = server.Targets();
    EXPECT_NE(std::find(t.begin(), t.end(), "/res/sub/deep/f1.bin?v=v1"), t.end()) << "each with its own version";
    EXPECT_TRUE(progress.HasStatus("正在下载更新文件...  5/5"));
    EXPECT_FALSE(progress.HasStatus("正在下载更新文件...  6/5"));
    EXPECT_TRUE(engine->m_bSuccess);
}

TEST_F(EngineFixture, SegmentedDownloadsGiveTheExactBytes) {
    ASSERT_TRUE(StartEngine());
    for (size_t size : {size_t(1001), size_t(3145728)}) {
        const std::string body = Pattern(size, unsigned(size));
        server.AddFile("/res/pack.zip", body);
        engine->m_strFullPack = "pack";
        engine->m_strRequest = "pack.zip";
        engine->m_nTotalSize = (long long)size;
        engine->m_nReceived = 0;
        engine->DownloadSegmented(2, (long long)size);
        engine->MergeSegments();
        EXPECT_TRUE(ReadFile(RunFolder() + "pack.zip") == body) << size;
        EXPECT_FALSE(Exists(RunFolder() + "pack_0.temp"));
        EXPECT_FALSE(Exists(RunFolder() + "pack_1.temp"));
    }
    EXPECT_TRUE(progress.HasStatus("下载更新中...   1001B/1001B"));
    EXPECT_TRUE(progress.HasStatus("下载更新中...   3.00M/3.00M"));
    EXPECT_EQ(progress.Percents().back(), 100);
    auto ranges = server.RangeHeaders();
    EXPECT_NE(std::find(ranges.begin(), ranges.end(), "bytes=500-1000"), ranges.end()) << "the second half by range";
}

TEST_F(EngineFixture, AServerIgnoringRangesStillGivesTheExactBytes) {
    ASSERT_TRUE(StartEngine());
    const std::string body = Pattern(300001, 3);
    server.AddFile("/res/pack.zip", body);
    Behaviour ignore;
    ignore.ignoreRange = true;
    server.SetBehaviour("/res/pack.zip", ignore);
    engine->m_strFullPack = "pack";
    engine->m_strRequest = "pack.zip";
    engine->m_nTotalSize = (long long)body.size();
    engine->DownloadSegmented(2, (long long)body.size());
    engine->MergeSegments();
    EXPECT_TRUE(ReadFile(RunFolder() + "pack.zip") == body);
    EXPECT_TRUE(engine->m_bSuccess);
}

TEST_F(EngineFixture, BrokenBodiesNeverReplaceTheOldFile) {
    ASSERT_TRUE(StartEngine());
    WriteFile(RunFolder() + "f.dat", "old");
    server.AddFile("/res/f.dat", Pattern(200000));
    Behaviour broken;
    broken.breakAfter = 50000;
    server.SetBehaviour("/res/f.dat", broken);

    EXPECT_TRUE(engine->FetchToFile("f.dat")) << "the caller is released";
    EXPECT_EQ(ReadFile(RunFolder() + "f.dat"), "old");
    EXPECT_TRUE(Exists(RunFolder() + "f.dat.temp"));
    EXPECT_TRUE(boxes.Has("文件[f.dat]下载失败,服务器连接中断!"));
    EXPECT_FALSE(engine->m_bSuccess);

    // The same in a list run and in a segmented run.
    engine->m_mapDownloadList = {{"f.dat", "2"}};
    engine->DownloadSegmented(1, 1);
    EXPECT_EQ(ReadFile(RunFolder() + "f.dat"), "old");

    server.AddFile("/res/pack.zip", Pattern(200000));
    server.SetBehaviour("/res/pack.zip", broken);
    engine->m_strFullPack = "pack";
    engine->m_strRequest = "pack.zip";
    engine->m_nTotalSize = 200000;
    engine->DownloadSegmented(2, 200000);
    engine->MergeSegments();
    EXPECT_FALSE(Exists(RunFolder() + "pack.zip")) << "a short half is never merged";
    EXPECT_TRUE(Exists(RunFolder() + "pack_0.temp"));
}

TEST_F(EngineFixture, AStalledServerTimesOutInsteadOfHanging) {
    ScopedEnv stall("FLAUNCHER_STALL_TIMEOUT", "1");
    ASSERT_TRUE(StartEngine());
    WriteFile(RunFolder() + "f.dat", "old");
    server.AddFile("/res/f.dat", Pattern(100000));
    Behaviour stalled;
    stalled.breakAfter = 1000;
    stalled.stallMs = 8000;
    server.SetBehaviour("/res/f.dat", stalled);
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(engine->FetchToFile("f.dat"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
    EXPECT_EQ(ReadFile(RunFolder() + "f.dat"), "old");
    EXPECT_FALSE(engine->m_bSuccess);
}

TEST_F(EngineFixture, ATransferTriedAgainSaysSoOnThePanelUntilBytesFlowAgain) {
    ASSERT_TRUE(StartEngine());
    server.AddFile("/res/f.dat", Pattern(100000));
    Behaviour reset;
    reset.breakAfter = 1000;
    reset.times = 1;
    reset.etag = "\"f\"";
    server.SetBehaviour("/res/f.dat", reset);
    EXPECT_TRUE(engine->FetchToFile("f.dat"));
    EXPECT_TRUE(engine->m_bSuccess);
    const auto lines = progress.RateLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "网络不稳定,正在重试(2/4)"), lines.end());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "") << "gone once the bytes came";
}

TEST_F(EngineFixture, ALockedFinalFileKeepsTheTempFile) {
    ASSERT_TRUE(StartEngine());
    server.AddFile("/res/f.dat", "new");
    // A non-empty folder in the way stands for a file another program holds.
    WriteFile(RunFolder() + "f.dat/held", "x");
    EXPECT_TRUE(engine->FetchToFile("f.dat"));
    EXPECT_EQ(ReadFile(RunFolder() + "f.dat.temp"), "new");
    EXPECT_TRUE(boxes.Has("文件[" + RunFolder() + "f.dat]写入数据失败, 请先关闭该文件!"));
    EXPECT_FALSE(engine->m_bSuccess);
}

TEST_F(EngineFixture, ChunkedBodiesAreReadWhole) {
    ASSERT_TRUE(StartEngine());
    Behaviour chunked;
    chunked.chunked = true;
    const std::string body = Pattern(50000);
    server.AddFile("/res/f.dat", body);
    server.SetBehaviour("/res/f.dat", chunked);
    server.AddFile("/res/PackVersion.pat", "newversion|n2\nlastversion | n1\nmy_full_pack|full3");
    server.SetBehaviour("/res/PackVersion.pat", chunked);
    EXPECT_TRUE(engine->FetchToFile("f.dat"));
    EXPECT_TRUE(ReadFile(RunFolder() + "f.dat") == body);
    engine->m_nTaskKind = fl::TASK_PACK_LIST;
    EXPECT_TRUE(engine->FetchToMemory("PackVersion.pat"));
    EXPECT_EQ(engine->m_strNewVersion, "n2");
    EXPECT_EQ(engine->m_strLastVersion, "n1");
    EXPECT_EQ(engine->m_strFullPack, "full3") << "the last line without a line end";
    EXPECT_TRUE(engine->m_bSuccess);
}

TEST_F(EngineFixture, NamesOutsideTheRunFolderAreNeverFetched) {
    ASSERT_TRUE(StartEngine());
    engine->m_mapDownloadList = {{"../escape.txt", "1"}, {"/etc/x", "1"}, {"a\\..\\..\\b", "1"}};
    engine->DownloadSegmented(1, 3);
    EXPECT_TRUE(server.Targets().empty());
    EXPECT_FALSE(Exists(data.Path() + "/fenwazelt/escape.txt"));
}

TEST_F(EngineFixture, AMissingListFileClearsSuccess) {
    ASSERT_TRUE(StartEngine());
    server.AddFile("/res/a.txt", "a");
    engine->m_mapDownloadList = {{"a.txt", "1"}, {"gone.txt", "1"}};
    engine->DownloadSegmented(1, 2);
    EXPECT_EQ(ReadFile(RunFolder() + "a.txt"), "a");
    EXPECT_FALSE(engine->m_bSuccess);
    EXPECT_TRUE(boxes.Has("文件[gone.txt]下载失败!"));
}

TEST_F(EngineFixture, ARangeAnswerOtherThanTheOneAskedForIsAFailedHalf) {
    ASSERT_TRUE(StartEngine());
    const std::string body = Pattern(100000, 5);
    // The second half is answered with 206 but not with the range asked for.
    for (const std::string contentRange : {"bytes 0-49999/100000", "bytes 50000-99999/200000", "", "bytes 50000-99999"}) {
        server.SetHandler("/res/pack.zip", [body, contentRange](const httplib::Request& req, httplib::Response& res) {
            const bool second = req.get_header_value("Range") == "bytes=50000-99999";
            const_cast<httplib::Request&>(req).ranges.clear();  // the answer is ours, not the library's
            res.status = 206;
            if (!second) {
                res.set_header("Content-Range", "bytes 0-49999/100000");
            } else if (!contentRange.empty()) {
                res.set_header("Content-Range", contentRange);
            }
            res.set_content(body.substr(0, 50000), "application/octet-stream");
        });
        engine->m_bSuccess = true;
        engine->m_strFullPack = "pack";
        engine->m_strRequest = "pack.zip";
        engine->m_nTotalSize = 100000;
        engine->DownloadSegmented(2, 100000);
        engine->MergeSegments();
        EXPECT_FALSE(engine->m_bSuccess) << contentRange;
        EXPECT_FALSE(Exists(RunFolder() + "pack.zip")) << contentRange << ": nothing merged";
        EXPECT_TRUE(boxes.Has("文件[pack.zip]下载失败!"));
    }
    // A server that ignores the range and sends a file of another size than asked about.
    // Captured by value: the server's threads outlive nothing of the test's.
    server.SetHandler("/res/pack.zip", [body](const httplib::Request& req, httplib::Response& res) {
        const_cast<httplib::Request&>(req).ranges.clear();
        res.set_content(body + "more", "application/octet-stream");
    });
    engine->m_bSuccess = true;
    engine->DownloadSegmented(2, 100000);
    engine->MergeSegments();
    EXPECT_FALSE(engine->m_bSuccess);
    EXPECT_FALSE(Exists(RunFolder() + "pack.zip"));
}

TEST_F(EngineFixture, AListThatIsNotTextFailsOnceWithoutAMessagePerName) {
    server.AddFile("/res/luncherVersion.pat", "v|1.0.6\n");
    server.AddFile("/res/PackVersion.pat", "newversion|p2\nfull_pack|full\n");
    std::string list;
    for (char c : std::string("a.dat|1\r\nb.dat|2\r\nc/d.dat|3\r\n")) list += std::string{c, '\0'};  // UTF-16LE
    unsigned x = 7;
    for (int i = 0; i < 20000; ++i) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        list += char(x);
    }
    server.AddFile("/res/version.pat", list);
    ASSERT_TRUE(StartEngine());
    WriteFile(RunFolder() + "PackVersion.pat", "newversion|p2\r\n");
    WriteFile(RunFolder() + "version.pat", "a.dat|1\r\n");
    engine->StartDownLoadTask();
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"版本文件下载失败!"});
    EXPECT_EQ(server.Targets().size(), 4u) << "no garbage name was requested (the lists and an absent hash.pat)";
    EXPECT_FALSE(engine->m_bCompleted);
}
