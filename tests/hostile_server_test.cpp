// Whatever the resource server sends, nothing lands outside the run folder and
// no failure ends as a success.
#include <gtest/gtest.h>

#include "demo/PackWriter.h"
#include "update/net/ResumeRecord.h"
#include "tests/support/DemoHarness.h"
#include "tests/support/PackDamage.h"
#include "tests/support/Process.h"

using namespace fltest;
using fldemo::DemoContent;

namespace {

const std::vector<std::string> kLists = {"luncherVersion.pat", "hash.pat", "hash.pat.minisig", "PackVersion.pat", "version.pat"};

// The whole server tree as a pack, its file list first (as real packs have it).
std::string TreePack(const DemoContent& c) {
    std::vector<fldemo::PackEntry> entries{{"version.pat", c.VersionPat(), 0644}};
    for (const auto& [name, bytes] : c.files) entries.push_back({DemoContent::LocalName(name), bytes, 0644});
    return fldemo::BuildPack(entries);
}

struct HostileFixture : DemoFixture {
    // A file that changes on the server: new bytes, new version.
    std::string ChangeOneFile() {
        auto& c = Content();
        const std::string listed = std::next(c.files.begin(), 3)->first;
        c.files[listed] = fldemo::GameData(3000, 99);
        c.versions[listed] = "99";
        return DemoContent::LocalName(listed);
    }
    void StartInstalled() {
        StartPlatform();
        platform->WriteInstallFolder(install.Path());
        ASSERT_TRUE(RunUpdate().completed);
    }
};

}  // namespace

TEST_F(HostileFixture, PackNamesLeavingTheRunFolderAreMissingValuesAndTouchNothing) {
    StartPlatform();
    // Files elsewhere on the disk that a pack name could reach.
    for (const char* f : {"outside/x.zip", "outside/x_0.temp", "outside/x_1.temp", "outside/x.zip.temp"})
        WriteFile(data / f, "precious");
    Content().fullPackName = "../../outside/x";
    Run full = RunUpdate();
    EXPECT_FALSE(full.completed);
    EXPECT_TRUE(Has(full.status, "没有找到对应更新包."));
    EXPECT_TRUE(Has(full.boxes, "更新包下载失败!"));
    EXPECT_EQ(full.requests, (std::vector<std::string>{"luncherVersion.pat", "hash.pat", "hash.pat.minisig", "PackVersion.pat"}));

    // The incremental pack's name, from a run folder at the last version.
    Content().fullPackName = "fenwa_full";
    Content().newVersion = "../../outside/x";
    WriteFile(RunFolder() + "PackVersion.pat", "newversion|p1\r\n");
    Run inc = RunUpdate();
    EXPECT_FALSE(inc.completed);
    EXPECT_TRUE(Has(inc.status, "没有找到对应更新包."));
    for (const char* f : {"outside/x.zip", "outside/x_0.temp", "outside/x_1.temp", "outside/x.zip.temp"})
        EXPECT_EQ(ReadFile(data / f), "precious") << f;
}

TEST_F(HostileFixture, AResourceAddressThatNamesNoPlainFolderIsRefused) {
    StartPlatform();
    for (const std::string path : {"/res/fenwa/sub/../", "/res/fenwa/./", "/res/fenwa/x/..", "/res/fenwa/#x",
                                   "/res/fen#wa/", "/res/fenwa/?x=1", "/res/fenwa?x=/"}) {
        resourceUrl = platform->Url(path);
        Run r = RunUpdate();
        EXPECT_FALSE(r.completed) << path;
        EXPECT_TRUE(Has(r.boxes, "连接服务器失败,请检查网络是否正常.")) << path;
        EXPECT_TRUE(r.requests.empty()) << path;
    }
    for (const char* f : {"version.pat", "client.exe", "fenwazelt/version.pat", "fenwazelt/client.exe"})
        EXPECT_FALSE(Exists(data / f)) << f;
}

TEST_F(HostileFixture, NamesAreRequestedAndStoredAsThemselves) {
    StartPlatform();
    platform->WriteInstallFolder(install.Path());
    auto& c = Content();
    for (const std::string odd : {"%41.dat", "h#x.dat", "q?v=2.dat", "sp ace.dat", "dir\\p%2F.dat"}) {
        c.files[odd] = "odd:" + odd;
        c.versions[odd] = "1";
    }
    Run r = RunUpdate();
    EXPECT_TRUE(r.completed) << (r.boxes.empty() ? "" : r.boxes.front());
    ExpectTreeMatchesServer();
    EXPECT_TRUE(Has(r.requests, "q?v=2.dat"));
    // Whole for the same signed list, and nothing changed since: not even the other lists.
    EXPECT_EQ(RunUpdate().requests, std::vector<std::string>(kLists.begin(), kLists.begin() + 3))
        << "nothing is fetched again on the next run";

    // An incremental pack whose name holds a "?".
    c.newVersion = "inc?2";
    WriteFile(RunFolder() + "PackVersion.pat", "x|p1\r\n");
    Run inc = RunUpdate();
    EXPECT_TRUE(inc.completed);
    EXPECT_TRUE(Has(inc.requests, "inc?2.zip"));
    EXPECT_TRUE(Has(inc.status, "update to new version[inc?2] success!"));
    EXPECT_FALSE(Exists(RunFolder() + "inc?2.zip"));
}

TEST_F(HostileFixture, AnArchiveWhoseDirectoryIsGarbageIsAFailedUnpack) {
    StartPlatform();  // no installer's pack: the full pack comes by segments
    Content().fullPack = DamageDirectory(Content().fullPack);
    ASSERT_FALSE(Content().fullPack.empty());
    Run r = RunUpdate();
    EXPECT_FALSE(r.completed);
    EXPECT_FALSE(Has(r.status, "资源解压完成."));
    EXPECT_TRUE(Has(r.status, "文件[" + RunFolder() + "fenwa_full.zip]解压失败,你可以尝试手动解压该文件."));
    EXPECT_FALSE(Exists(RunFolder() + "PackVersion.pat"));
    EXPECT_FALSE(Exists(RunFolder() + "version.pat"));
}

TEST_F(HostileFixture, AnIncrementalPackThatBrokeOffIsNeverUnpacked) {
    StartInstalled();
    WriteFile(RunFolder() + "PackVersion.pat", "x|p1\r\n");
    platform->SetResourceStatus("p2.zip", -100);
    Run r = RunUpdate();
    EXPECT_FALSE(r.completed);
    EXPECT_TRUE(Has(r.boxes, "文件[p2.zip]下载失败,服务器连接中断!"));
    EXPECT_FALSE(Has(r.status, "资源解压完成."));
    EXPECT_FALSE(Has(r.status, "update to new version[p2] success!"));
    EXPECT_EQ(ReadFile(RunFolder() + "PackVersion.pat"), "x|p1\r\n");
}

// A damaged entry in each way a pack arrives: its file list never takes effect
// alone, and the run (or the next good one) leaves the folder whole.
TEST_F(HostileFixture, ADamagedInstallersPackLeavesNoListAndTheServerRepairsIt) {
    StartPlatform();
    WithoutHashList();  // the unpacker is what stops a damaged entry here
    platform->WriteInstallFolder(install.Path());
    const std::string victim = DemoContent::LocalName(std::next(Content().files.begin(), 3)->first);
    WriteFile(install / "fenwa_full.dydr", DamageEntry(TreePack(Content()), victim));
    Run r = RunUpdate();
    EXPECT_TRUE(Has(r.boxes, "文件[" + victim + "]解压失败!"));
    EXPECT_TRUE(Has(r.requests, "fenwa_full.zip")) << "no list in place: the full pack was fetched";
    EXPECT_TRUE(r.completed);
    ExpectTreeMatchesServer();
}

// The installer's pack and the server's both hold an entry that never unpacks:
// the files come one by one, and neither pack (as large as the game) stays.
TEST_F(HostileFixture, APackThatNeverUnpacksIsNotKept) {
    StartPlatform();
    WithoutHashList();
    platform->WriteInstallFolder(install.Path());
    const std::string victim = DemoContent::LocalName(std::next(Content().files.begin(), 2)->first);
    const std::string bad = DamageEntry(TreePack(Content()), victim);
    WriteFile(install / "fenwa_full.dydr", bad);
    Content().fullPack = bad;
    Run r = RunUpdate();
    EXPECT_TRUE(Has(r.requests, "fenwa_full.zip"));
    EXPECT_TRUE(r.completed);
    ExpectTreeMatchesServer();
    for (const char* left : {"fenwa_full.zip", "fenwa_full_0.temp", "fenwa_full_1.temp"}) {
        EXPECT_FALSE(Exists(RunFolder() + left)) << left;
        EXPECT_FALSE(Exists(fl::ResumePath(RunFolder() + left))) << left;
    }
}

TEST_F(HostileFixture, ADamagedInstallersPackOfANewInstallKeepsThePreviousList) {
    StartInstalled();
    WithoutHashList();  // the unpacker is what stops a damaged entry here
    const std::string victim = ChangeOneFile();
    WriteFile(install / "installver.pat", "i2\r\n");
    WriteFile(install / "fenwa_full.dydr", DamageEntry(TreePack(Content()), victim));
    Run r = RunUpdate();
    EXPECT_TRUE(Has(r.boxes, "文件[" + victim + "]解压失败!"));
    EXPECT_TRUE(Has(r.requests, victim)) << "the previous list does not claim the new version";
    EXPECT_TRUE(r.completed);
    ExpectTreeMatchesServer();
}

TEST_F(HostileFixture, ADamagedIncrementalPackFailsAndALaterGoodOneRepairs) {
    StartInstalled();
    const std::string listBefore = ReadFile(RunFolder() + "version.pat");
    const std::string victim = ChangeOneFile();
    Content().newPack = DamageEntry(TreePack(Content()), victim);
    WriteFile(RunFolder() + "PackVersion.pat", "x|p1\r\n");
    Run r = RunUpdate();
    EXPECT_FALSE(r.completed);
    EXPECT_TRUE(Has(r.boxes, "更新包下载失败!"));
    const std::string listAfter = ReadFile(RunFolder() + "version.pat");
    EXPECT_EQ(listAfter.find("|99"), std::string::npos) << "the pack's list did not take effect";
    EXPECT_LT(listAfter.size(), listBefore.size()) << "it forgot the files the pack replaced";

    Content().newPack = TreePack(Content());
    Run again = RunUpdate();
    EXPECT_TRUE(again.completed);
    ExpectTreeMatchesServer();
}

TEST_F(HostileFixture, ADamagedFullPackBySegmentsFailsAndALaterGoodOneRepairs) {
    StartInstalled();
    const std::string listBefore = ReadFile(RunFolder() + "version.pat");
    const std::string victim = ChangeOneFile();
    const std::string good = TreePack(Content());
    Content().fullPack = DamageEntry(good, victim);
    WriteFile(RunFolder() + "PackVersion.pat", "whatever|zz\r\n");
    Run r = RunUpdate();
    EXPECT_FALSE(r.completed);
    EXPECT_TRUE(Has(r.boxes, "文件[" + victim + "]解压失败!"));
    const std::string listAfter = ReadFile(RunFolder() + "version.pat");
    EXPECT_EQ(listAfter.find("|99"), std::string::npos) << "the pack's list did not take effect";
    EXPECT_LT(listAfter.size(), listBefore.size()) << "it forgot the files the pack replaced";

    Content().fullPack = good;
    EXPECT_TRUE(RunUpdate().completed);
    ExpectTreeMatchesServer();
}

TEST_F(HostileFixture, ADamagedFullPackInTheFileStageLeavesEveryFileToFetch) {
    StartInstalled();
    std::remove((RunFolder() + "version.pat").c_str());
    const std::string victim = ChangeOneFile();
    Content().fullPack = DamageEntry(TreePack(Content()), victim);
    Run r = RunUpdate();
    EXPECT_TRUE(Has(r.boxes, "文件[" + victim + "]解压失败!"));
    EXPECT_TRUE(Has(r.requests, victim));
    EXPECT_TRUE(r.completed);
    ExpectTreeMatchesServer();
}

TEST_F(HostileFixture, ListsThatAreNotSavedMeanNoClientAndNoSuccess) {
    StartPlatform();
    platform->WriteInstallFolder(install.Path());
    platform->SetResourceStatus("version.pat", 404, 2);  // the list arrives, its saving is refused
    Run refused = RunUpdate();
    EXPECT_FALSE(refused.completed);
    EXPECT_EQ(refused.finished, 0);
    EXPECT_TRUE(Has(refused.boxes, "文件[version.pat]下载失败,请检查网络设置."));

    platform->SetResourceStatus("version.pat", 0);
    platform->SetResourceStatus("PackVersion.pat", -5, 2);  // the saving breaks off
    Run broken = RunUpdate();
    EXPECT_FALSE(broken.completed);
    EXPECT_EQ(broken.finished, 0);
    EXPECT_TRUE(Has(broken.boxes, "文件[PackVersion.pat]下载失败,服务器连接中断!"));
    EXPECT_FALSE(Exists(RunFolder() + "PackVersion.pat"));
}

TEST_F(HostileFixture, FilesAnOlderPackReplacedBeforeItBrokeAreFetchedAgain) {
    StartInstalled();
    WithoutHashList();  // the unpacker is what stops a damaged entry here
    auto& c = Content();
    // An older installer's pack: its list first, then an old copy of one file, then a damaged one.
    const std::string older = DemoContent::LocalName(std::next(c.files.begin(), 2)->first);
    const std::string victim = DemoContent::LocalName(std::next(c.files.begin(), 3)->first);
    const std::string pack = fldemo::BuildPack(
        {{"version.pat", "old list|0\r\n", 0644}, {older, "an old copy", 0644}, {victim, std::string(5000, 'v'), 0644}});
    WriteFile(install / "installver.pat", "i0\r\n");
    WriteFile(install / "fenwa_full.dydr", DamageEntry(pack, victim));
    Run r = RunUpdate();
    EXPECT_TRUE(Has(r.boxes, "文件[" + victim + "]解压失败!"));
    EXPECT_TRUE(Has(r.requests, older)) << "the list forgot the file the pack replaced";
    EXPECT_FALSE(Has(r.requests, victim)) << "the damaged entry left its file as it was";
    EXPECT_TRUE(r.completed);
    ExpectTreeMatchesServer();
}

// The engine stops promptly when the application closes, whatever it is doing
// (run under ThreadSanitizer too: the stop races with every stage).
TEST_F(HostileFixture, AStopAtAnyStageEndsTheTaskAtOnce) {
    options.files = 40;
    options.fileSize = 20000;
    options.packLacks = 20;
    StartPlatform();
    auto stopAt = [&](const std::string& marker, const std::function<void()>& prepare) {
        prepare();
        RecordingProgress progress;
        FakeMainWindow window;
        fl::CWobrApp app;
        Wire(app, window, progress);
        std::atomic<bool> ended{false};
        std::thread task([&] {
            app.StartDownloader();
            ended = true;
        });
        const bool reached = WaitUntil(
            [&] {
                for (const auto& s : progress.Status())
                    if (s.rfind(marker, 0) == 0) return true;
                return false;
            },
            20000);
        const auto asked = std::chrono::steady_clock::now();
        app.ShutdownDownloader();
        const bool stopped = WaitUntil([&] { return ended.load(); }, 5000);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
        task.join();
        EXPECT_TRUE(reached) << marker;
        EXPECT_TRUE(stopped) << marker;
        EXPECT_LT(seconds, 1.0) << marker;
    };
    stopAt("下载更新中...", [&] { platform->SetResourceDelay("fenwa_full.zip", 0, 2, 50 * 1024); });
    RemoveTree(RunFolder());
    platform->WriteInstallFolder(install.Path());
    stopAt("正在解压资源...", [] {});
    stopAt("正在下载更新文件...  1/" + std::to_string(options.packLacks), [&] {
        RemoveTree(RunFolder());
        platform->SetFileDelay(300);
    });
    stopAt("更新完成,正在启动游戏主程序...", [&] {
        platform->SetFileDelay(0);
        platform->SetResourceDelay("version.pat", 20000, 2);
    });
}
