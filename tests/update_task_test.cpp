#include <gtest/gtest.h>
#include <sys/stat.h>

#include "demo/PackWriter.h"
#include "update/net/ResumeRecord.h"
#include "tests/support/DemoHarness.h"

using namespace fltest;

TEST_F(DemoFixture, FreshInstallUsesTheInstallersPackThenFetchesWhatItLacks) {
    StartPlatform();
    platform->WriteInstallFolder(install.Path());
    Run r = RunUpdate();
    EXPECT_TRUE(r.completed);
    EXPECT_TRUE(r.boxes.empty()) << r.boxes.front();
    ExpectTreeMatchesServer();
    EXPECT_FALSE(Has(r.requests, "fenwa_full.zip")) << "the installer's pack was used";
    EXPECT_EQ(std::count_if(r.requests.begin(), r.requests.end(),
                            [](const std::string& s) { return s.find("res") == 0 || s.find("data/") == 0; }),
              options.packLacks)
        << "only the files the pack lacks";
    EXPECT_EQ(ReadFile(RunFolder() + "version.pat"), Content().VersionPat());
    EXPECT_EQ(ReadFile(RunFolder() + "PackVersion.pat"), Content().PackVersionPat());
    EXPECT_EQ(ReadFile(RunFolder() + "installver.pat"), "i1\r\n");
    EXPECT_EQ(ReadFile(RunFolder() + "preloadver.pat"), "1a");
    EXPECT_FALSE(Exists(RunFolder() + "fenwa_full.zip")) << "the copied pack is removed";
    struct stat st {};
    ASSERT_EQ(stat((RunFolder() + "client.exe").c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR) << "the pack's permission bits are kept";
    EXPECT_EQ(r.finished, 1);
    EXPECT_EQ(r.closes, 1);
}

TEST_F(DemoFixture, ASecondRunWithEverythingCurrentFetchesOnlyTheLists) {
    StartPlatform();
    platform->WriteInstallFolder(install.Path());
    ASSERT_TRUE(RunUpdate().completed);
    // A mark that a saved list would wipe out.
    WriteFile(RunFolder() + "version.pat", Content().VersionPat() + "kept\n");
    Run r = RunUpdate();
    EXPECT_TRUE(r.completed);
    EXPECT_FALSE(r.changed);
    EXPECT_EQ(r.requests, (std::vector<std::string>{"luncherVersion.pat", "hash.pat", "hash.pat.minisig",
                                                    "PackVersion.pat", "version.pat"}))
        << "a saved list changed since the folder was whole: the lists are compared again";
    EXPECT_EQ(ReadFile(RunFolder() + "version.pat"), Content().VersionPat() + "kept\n") << "nothing saved";
}

TEST_F(DemoFixture, AnIncrementalPackBringsTheLastVersionUpToDate) {
    StartPlatform();
    platform->WriteInstallFolder(install.Path());
    ASSERT_TRUE(RunUpdate().completed);
    WriteFile(RunFolder() + "PackVersion.pat", "newversion|P1\r\n");  // letter case does not matter
    const std::string first = Content().files.begin()->first;
    WriteFile(RunFolder() + fldemo::DemoContent::LocalName(first), "stale");
    Run r = RunUpdate();
    EXPECT_TRUE(r.completed);
    EXPECT_TRUE(Has(r.requests, "p2.zip"));
    EXPECT_FALSE(Has(r.requests, "fenwa_full.zip"));
    EXPECT_TRUE(Has(r.status, "update to new version[p2] success!"));
    ExpectTreeMatchesServer();
    EXPECT_EQ(ReadFile(RunFolder() + "PackVersion.pat"), Content().PackVersionPat());
}

TEST_F(DemoFixture, AnUnknownPackVersionFetchesTheFullPackBySegments) {
    StartPlatform();  // no installer's pack: the full pack comes from the server
    WriteFile(RunFolder() + "PackVersion.pat", "whatever|zz\r\n");
    Run r = RunUpdate();
    EXPECT_TRUE(r.completed);
    EXPECT_EQ(std::count(r.requests.begin(), r.requests.end(), "fenwa_full.zip"), 3) << "size, then two halves";
    ExpectTreeMatchesServer();
    EXPECT_FALSE(Exists(RunFolder() + "fenwa_full_0.temp"));
}

TEST_F(DemoFixture, ADifferentInstalledPackageWinsOverACurrentPackList) {
    StartPlatform();
    platform->WriteInstallFolder(install.Path());
    ASSERT_TRUE(RunUpdate().completed);
    WriteFile(install / "installver.pat", "i2\n");
    const std::string first = Content().files.begin()->first;
    WriteFile(RunFolder() + fldemo::DemoContent::LocalName(first), "stale");
    Run r = RunUpdate();
    EXPECT_TRUE(r.completed);
    EXPECT_TRUE(Has(r.status, "资源解压完成."));
    EXPECT_FALSE(Has(r.requests, "fenwa_full.zip"));
    EXPECT_EQ(ReadFile(RunFolder() + "installver.pat"), "i2\n");
    ExpectTreeMatchesServer();
}

// Installed without the installer's pack: the server's full pack stands in for
// it once, and the installed version is recorded as the installer's pack would.
TEST_F(DemoFixture, AnInstallWithoutItsPackFetchesTheFullPackOnce) {
    StartPlatform();
    platform->WriteInstallFolder(install.Path());
    std::remove((install / (Content().fullPackName + ".dydr")).c_str());
    Run first = RunUpdate();
    EXPECT_TRUE(first.completed);
    EXPECT_TRUE(Has(first.requests, "fenwa_full.zip"));
    EXPECT_EQ(ReadFile(RunFolder() + "installver.pat"), ReadFile(install / "installver.pat"));
    ExpectTreeMatchesServer();
    Run second = RunUpdate();
    EXPECT_TRUE(second.completed);
    EXPECT_FALSE(Has(second.requests, "fenwa_full.zip")) << "the folder is whole: no pack";
    EXPECT_FALSE(Has(second.requests, Content().fullPackName + ".zip"));
}

TEST_F(DemoFixture, AnEmptyArchiveFallsBackToTheFileList) {
    StartPlatform();
    Content().fullPack = fldemo::BuildPack({});
    Run r = RunUpdate();
    EXPECT_TRUE(Has(r.status, "解压文件出错,尝试下载文件列表"));
    EXPECT_TRUE(r.completed);
    ExpectTreeMatchesServer();
    EXPECT_FALSE(Exists(RunFolder() + "fenwa_full.zip"));
}

TEST_F(DemoFixture, APackEntryLeavingTheRunFolderIsNeverWritten) {
    StartPlatform();
    Content().fullPack = fldemo::BuildPack({{"ok.txt", "fine"}, {"../escaped.txt", "bad"}});
    Run r = RunUpdate();
    EXPECT_FALSE(r.completed);
    EXPECT_TRUE(Has(r.boxes, "文件[../escaped.txt]解压失败!"));
    EXPECT_TRUE(Has(r.boxes, "更新包下载失败!"));
    EXPECT_FALSE(Exists(data / "fenwazelt/escaped.txt"));
    EXPECT_FALSE(Exists(RunFolder() + "fenwa_full.zip")) << "a pack that never unpacks is not kept";
    EXPECT_FALSE(Exists(fl::ResumePath(RunFolder() + "fenwa_full.zip")));
}

TEST_F(DemoFixture, AListedNameLeavingTheRunFolderIsNeverFetched) {
    StartPlatform();
    platform->WriteInstallFolder(install.Path());
    Content().versions["..\\escaped.dat"] = "1";
    Content().files["..\\escaped.dat"] = "bad";
    Run r = RunUpdate();
    EXPECT_TRUE(r.completed);
    EXPECT_FALSE(Has(r.requests, "../escaped.dat"));
    EXPECT_FALSE(Exists(data / "fenwazelt/escaped.dat"));
}

TEST_F(DemoFixture, ABrokenTransferKeepsTheOldFilesAndALaterRunConverges) {
    StartPlatform();
    platform->WriteInstallFolder(install.Path());
    ASSERT_TRUE(RunUpdate().completed);
    const std::string savedList = ReadFile(RunFolder() + "version.pat");
    // A new version of one file, whose transfer breaks off.
    auto& c = Content();
    const std::string name = std::next(c.files.begin(), 3)->first;
    const std::string local = fldemo::DemoContent::LocalName(name);
    const std::string old = c.files[name];
    c.files[name] = std::string(5000, 'N');
    c.versions[name] = "99";
    platform->SetResourceStatus(local, -1000);
    Run broken = RunUpdate();
    EXPECT_FALSE(broken.completed);
    EXPECT_TRUE(Has(broken.boxes, "文件[" + local + "]下载失败,服务器连接中断!"));
    EXPECT_EQ(ReadFile(RunFolder() + local), old);
    EXPECT_EQ(ReadFile(RunFolder() + "version.pat"), savedList) << "the list is not saved";

    platform->SetResourceStatus(local, 0);
    Run again = RunUpdate();
    EXPECT_TRUE(again.completed);
    ExpectTreeMatchesServer();
    EXPECT_FALSE(Exists(RunFolder() + local + ".temp"));
}
