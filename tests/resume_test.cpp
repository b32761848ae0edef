// Passing faults are tried again and half-fetched files continued, never mixed.
#include <gtest/gtest.h>

#include "demo/DemoContent.h"
#include "tests/support/DemoHarness.h"
#include "tests/support/EngineHarness.h"
#include "update/net/ResumeRecord.h"
#include "update/net/Retry.h"

using namespace fltest;

namespace {

std::string Body(size_t size, unsigned seed) { return fldemo::GameData(size, seed); }

// A 600,000-byte pack served with `etag`, and its two halves as an earlier run
// left them: the first `held0` bytes of each half of `left`, of body `validator`.
void LeaveHalves(EngineFixture& f, const std::string& served, const std::string& etag, const std::string& left,
                 long long held0, long long held1, const std::string& validator) {
    Behaviour b;
    b.etag = etag;
    f.server.AddFile("/res/pack.zip", served);
    f.server.SetBehaviour("/res/pack.zip", b);
    f.engine->m_strFullPack = "pack";
    f.engine->m_strRequest = "pack.zip";
    f.engine->m_nTotalSize = 600000;
    WriteFile(f.RunFolder() + "pack_0.temp", left.substr(0, size_t(held0)));
    WriteFile(f.RunFolder() + "pack_1.temp", left.substr(300000, size_t(held1)));
    fl::SaveResume(f.RunFolder() + "pack_0.temp", {600000, validator});
    fl::SaveResume(f.RunFolder() + "pack_1.temp", {600000, validator});
}

}  // namespace

TEST(Retry, WaitsGrowFromOneSecondAndFollowTheServer) {
    ScopedEnv base("FLAUNCHER_RETRY_BASE_MS", "1000");
    for (int next : {2, 3, 4}) {
        const long long step = 1000LL << (next - 2);
        EXPECT_EQ(fl::RetryDelayMs(next, -1, 0.0), step * 3 / 4) << next;
        EXPECT_EQ(fl::RetryDelayMs(next, -1, 0.5), step) << next;
        EXPECT_LT(fl::RetryDelayMs(next, -1, 0.999), step * 5 / 4 + 1) << next;
    }
    EXPECT_EQ(fl::RetryDelayMs(2, 7, 0.3), 7000) << "Retry-After in seconds";
    EXPECT_EQ(fl::RetryDelayMs(2, 600, 0.3), 30000) << "but at most 30 s";
    for (long s : {408, 425, 429, 500, 502, 503, 504}) EXPECT_TRUE(fl::IsRetryableStatus(s)) << s;
    for (long s : {301, 302, 400, 401, 403, 404, 410, 416, 501}) EXPECT_FALSE(fl::IsRetryableStatus(s)) << s;
}

TEST_F(EngineFixture, AResetA503AndAStallPassWithoutAMessage) {
    ScopedEnv stall("FLAUNCHER_STALL_TIMEOUT", "1");
    ASSERT_TRUE(StartEngine());
    // A file whose first answer breaks off: the rest is asked for, of the same body.
    const std::string file = Body(300000, 1);
    server.AddFile("/res/f.dat", file);
    Behaviour reset;
    reset.breakAfter = 100000;
    reset.times = 1;
    reset.etag = "\"f1\"";
    server.SetBehaviour("/res/f.dat", reset);
    EXPECT_TRUE(engine->FetchToFile("f.dat"));
    EXPECT_TRUE(ReadFile(RunFolder() + "f.dat") == file);
    EXPECT_FALSE(Exists(fl::ResumePath(RunFolder() + "f.dat.temp")));
    ASSERT_EQ(server.IfRangeHeaders(), std::vector<std::string>{"\"f1\""}) << "continued, not started over";
    const auto ranges = server.RangeHeaders();
    ASSERT_EQ(ranges.size(), 1u);
    EXPECT_EQ(ranges[0].rfind("bytes=", 0), 0u);
    EXPECT_GT(std::atoll(ranges[0].c_str() + 6), 0) << "from the bytes already held";

    // A list answered 503 once, then whole.
    server.AddFile("/res/version.pat", "a.dat|1\nb.dat|2\n");
    Behaviour busy;
    busy.status = 503;
    busy.times = 1;
    server.SetBehaviour("/res/version.pat", busy);
    engine->m_nTaskKind = fl::TASK_FILE_LIST;
    EXPECT_TRUE(engine->FetchListWhole("version.pat"));
    EXPECT_EQ(engine->m_mapServerFiles.size(), 2u);
    EXPECT_EQ(server.Count("/res/version.pat"), 2);

    // A list entry that stalls once, and a pack half that breaks once.
    server.AddFile("/res/s.dat", Body(50000, 2));
    Behaviour stalled;
    stalled.breakAfter = 20000;
    stalled.stallMs = 3000;
    stalled.times = 1;
    server.SetBehaviour("/res/s.dat", stalled);
    engine->m_mapDownloadList = {{"s.dat", "1"}};
    engine->DownloadSegmented(1, 1);
    EXPECT_EQ(ReadFile(RunFolder() + "s.dat"), Body(50000, 2));

    const std::string pack = Body(400000, 3);
    server.AddFile("/res/pack.zip", pack);
    Behaviour half;
    half.breakAfter = 300000;  // inside the second half
    half.times = 2;
    half.etag = "\"p1\"";
    server.SetBehaviour("/res/pack.zip", half);
    engine->m_strFullPack = "pack";
    engine->m_strRequest = "pack.zip";
    engine->m_nTotalSize = (long long)pack.size();
    engine->DownloadSegmented(2, (long long)pack.size());
    engine->MergeSegments();
    EXPECT_TRUE(ReadFile(RunFolder() + "pack.zip") == pack);
    EXPECT_TRUE(boxes.Texts().empty()) << boxes.Texts().front();
    EXPECT_TRUE(engine->m_bSuccess);
}

TEST_F(EngineFixture, FourServerErrorsInARowEndWithTheMessage) {
    ASSERT_TRUE(StartEngine());
    Behaviour busy;
    busy.status = 503;
    server.AddFile("/res/version.pat", "a|1\n");
    server.SetBehaviour("/res/version.pat", busy);
    engine->m_nTaskKind = fl::TASK_FILE_LIST;
    engine->FetchToMemory("version.pat");
    EXPECT_EQ(server.Count("/res/version.pat"), 4);
    EXPECT_TRUE(boxes.Has("文件[version.pat?v=7b]下载失败,请检查网络设置."));
    EXPECT_FALSE(engine->m_bSuccess);
}

TEST_F(EngineFixture, AHalfFetchedFileContinuesOnlyWhileItsBodyIsTheSame) {
    ASSERT_TRUE(StartEngine());
    const std::string oldBody = Body(200000, 4), newBody = Body(200000, 5);
    auto leaveHalf = [&](const std::string& validator) {
        WriteFile(RunFolder() + "f.dat.temp", oldBody.substr(0, 80000));
        fl::SaveResume(RunFolder() + "f.dat.temp", {200000, validator});
    };
    Behaviour b;
    b.etag = "\"old\"";
    server.AddFile("/res/f.dat", oldBody);
    server.SetBehaviour("/res/f.dat", b);
    leaveHalf("\"old\"");
    EXPECT_TRUE(engine->FetchToFile("f.dat"));
    EXPECT_TRUE(ReadFile(RunFolder() + "f.dat") == oldBody);
    EXPECT_EQ(server.BytesServed(), 120000) << "only what was missing";

    // The body changed since: the server answers with all of the new one.
    server.ClearLog();
    b.etag = "\"new\"";
    server.AddFile("/res/f.dat", newBody);
    server.SetBehaviour("/res/f.dat", b);
    leaveHalf("\"old\"");
    EXPECT_TRUE(engine->FetchToFile("f.dat"));
    EXPECT_TRUE(ReadFile(RunFolder() + "f.dat") == newBody) << "never a mix";

    // A server that ignores ranges, and one without validators: all of it, correct.
    for (bool ignore : {true, false}) {
        server.ClearLog();
        Behaviour plain;
        plain.ignoreRange = ignore;
        plain.etag = ignore ? "\"new\"" : "";
        server.SetBehaviour("/res/f.dat", plain);
        leaveHalf("\"new\"");
        if (!ignore) fl::RemoveResume(RunFolder() + "f.dat.temp");
        EXPECT_TRUE(engine->FetchToFile("f.dat"));
        EXPECT_TRUE(ReadFile(RunFolder() + "f.dat") == newBody) << ignore;
        EXPECT_EQ(server.BytesServed(), 200000) << ignore;
    }
    EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(EngineFixture, PackHalvesContinueAndAreMergedOnlyWhenOfOneBody) {
    ASSERT_TRUE(StartEngine());
    const std::string pack = Body(600000, 6);
    LeaveHalves(*this, pack, "\"p\"", pack, 100000, 50000, "\"p\"");  // both part-way
    engine->DownloadSegmented(2, 600000);
    engine->MergeSegments();
    EXPECT_TRUE(ReadFile(RunFolder() + "pack.zip") == pack);
    EXPECT_EQ(server.BytesServed(), 600000 - 150000);
    auto ranges = server.RangeHeaders();
    std::sort(ranges.begin(), ranges.end());
    EXPECT_EQ(ranges, (std::vector<std::string>{"bytes=100000-299999", "bytes=350000-599999"}));

    // Halves of two different bodies are never merged.
    std::remove((RunFolder() + "pack.zip").c_str());
    WriteFile(RunFolder() + "pack_0.temp", pack.substr(0, 300000));
    WriteFile(RunFolder() + "pack_1.temp", pack.substr(300000));
    fl::SaveResume(RunFolder() + "pack_0.temp", {600000, "\"p\""});
    fl::SaveResume(RunFolder() + "pack_1.temp", {600000, "\"q\""});
    engine->m_nSegmentState[0] = 1;
    engine->m_nSegmentState[1] = 1;
    engine->MergeSegments();
    EXPECT_FALSE(Exists(RunFolder() + "pack.zip"));
    EXPECT_FALSE(Exists(RunFolder() + "pack_1.temp")) << "both start over";
    EXPECT_FALSE(engine->m_bSuccess);
}

// Cut off while the second half was appended to the first: both halves and
// their records are still there, and nothing is fetched again.
TEST_F(EngineFixture, AMergeCutOffContinuesFromTheHalvesAndFetchesNothing) {
    ASSERT_TRUE(StartEngine());
    const std::string pack = Body(600000, 9);
    for (size_t appended : {size_t(0), size_t(1), size_t(123456), size_t(300000)}) {
        std::remove((RunFolder() + "pack.zip").c_str());
        LeaveHalves(*this, pack, "\"p\"", pack, 300000, 300000, "\"p\"");
        WriteFile(RunFolder() + "pack_0.temp", pack.substr(0, 300000 + appended));
        server.ClearLog();
        engine->m_bSuccess = true;
        engine->m_nReceived = 0;
        engine->DownloadSegmented(2, 600000);
        engine->MergeSegments();
        EXPECT_TRUE(ReadFile(RunFolder() + "pack.zip") == pack) << appended;
        EXPECT_EQ(server.BytesServed(), 0) << appended;
        EXPECT_TRUE(engine->m_bSuccess);
        for (const char* left : {"pack_0.temp", "pack_1.temp"}) {
            EXPECT_FALSE(Exists(RunFolder() + left)) << left;
            EXPECT_FALSE(Exists(fl::ResumePath(RunFolder() + left))) << left;
        }
        fl::ResumeRecord merged;
        long long held = 0;
        EXPECT_TRUE(fl::LoadResume(RunFolder() + "pack.zip", merged, held)) << "the merged pack keeps its record";
        EXPECT_EQ(held, 600000);
    }
}

TEST_F(DemoFixture, FilesFinishedBeforeARunFailedAreNotFetchedAgain) {
    options.files = 30;
    StartPlatform();
    platform->WriteInstallFolder(install.Path());
    ASSERT_TRUE(RunUpdate().completed);
    // A new version of every file; one of them is refused this time.
    auto& c = Content();
    for (auto& [name, version] : c.versions) version += "n";
    const std::string refused = fldemo::DemoContent::LocalName(std::next(c.files.begin(), 5)->first);
    platform->SetResourceStatus(refused, 404);
    Run first = RunUpdate();
    EXPECT_FALSE(first.completed);
    EXPECT_TRUE(Exists(RunFolder() + ".fenwa-launcher/version.pat.journal"));

    platform->SetResourceStatus(refused, 0);
    Run second = RunUpdate();
    EXPECT_TRUE(second.completed);
    EXPECT_EQ(second.requests, (std::vector<std::string>{"luncherVersion.pat", "hash.pat", "hash.pat.minisig", "PackVersion.pat", "version.pat", refused,
                                                         "version.pat", "PackVersion.pat"}))
        << "only the file that was refused, then the lists saved";
    EXPECT_FALSE(Exists(RunFolder() + ".fenwa-launcher/version.pat.journal")) << "the saved list replaces the journal";
    ExpectTreeMatchesServer();
}

TEST_F(DemoFixture, AnAddressThatRefusesGivesWayToTheNextOne) {
    StartPlatform();
    platform->WriteInstallFolder(install.Path());
    // Port 9 on loopback: nobody listens there.
    WriteFile(install / "hostconfig.ini", "http://127.0.0.1:9/res/fenwa/\r\n\r\n" + platform->ResourceUrl() + "\r\n");
    Run r = RunUpdate();
    EXPECT_TRUE(r.completed) << (r.boxes.empty() ? "" : r.boxes.front());
    EXPECT_TRUE(r.boxes.empty());
    ExpectTreeMatchesServer();
}

TEST_F(EngineFixture, HalvesOfAPackThatChangedSinceStartOverAndGiveTheNewPack) {
    ASSERT_TRUE(StartEngine());
    const std::string oldPack = Body(600000, 7), newPack = Body(600000, 8);
    LeaveHalves(*this, newPack, "\"new\"", oldPack, 200000, 100000, "\"old\"");
    engine->DownloadSegmented(2, 600000);
    engine->MergeSegments();
    EXPECT_TRUE(ReadFile(RunFolder() + "pack.zip") == newPack) << "the new pack, never a mix";
    EXPECT_EQ(server.IfRangeHeaders(), (std::vector<std::string>{"\"old\"", "\"old\""}));
    EXPECT_TRUE(engine->m_bSuccess);
}
