#include <gtest/gtest.h>

#include "tests/support/EngineHarness.h"
#include "update/VersionFiles.h"

using namespace fltest;

namespace {

struct ParseFixture : ::testing::Test {
    fl::CWobrApp app;
    fl::CDownloader engine{app, app.EngineSettings()};
    void Feed(int kind, const std::vector<std::string>& blocks) {
        engine.m_nTaskKind = kind;
        engine.m_strPendingLine.clear();
        for (const auto& b : blocks) engine.OnReceiveText(b.data(), b.size());
        engine.OnReceiveText(nullptr, 0);
        if (!engine.m_strPendingLine.empty()) engine.ParseVersionLine(engine.m_strPendingLine);
        engine.m_strPendingLine.clear();
    }
};

}  // namespace

TEST_F(ParseFixture, PackListKeysAreTrimmedAndMatchedAsTheFileMeansThem) {
    Feed(fl::TASK_PACK_LIST, {"  newversion   |   v2  \r\n", "LastVersion|v1\n", "x_full_pack_y|big\nFULL_PACK|no"});
    EXPECT_EQ(engine.m_strNewVersion, "v2");
    EXPECT_EQ(engine.m_strLastVersion, "v1");
    EXPECT_EQ(engine.m_strFullPack, "big") << "a substring in lower case only";
}

TEST_F(ParseFixture, LinesSplitBetweenBlocksAreJoinedAndTheLastLineCounts) {
    Feed(fl::TASK_FILE_LIST, {"data/a.bin|1\nda", "ta/b.bin|2\n|3\nc.bin|\n   \n", "d.bin|x|y\nd.bin|4\r\n", "e\xE4\xB8", "\xAD.bin|5"});
    EXPECT_EQ(engine.m_mapServerFiles,
              (std::map<std::string, std::string>{
                  {"data/a.bin", "1"}, {"data/b.bin", "2"}, {"d.bin", "4"}, {"e中.bin", "5"}}))
        << "empty keys and values are ignored; the later of two lines wins";
    Feed(fl::TASK_LAUNCHER_VERSION, {"a|1.0.5\nb| 1.0.7 "});
    EXPECT_EQ(engine.m_strServerLauncherVersion, "1.0.7");
    engine.m_mapServerFiles.clear();
    Feed(fl::TASK_FILE_LIST, {"a|b|c"});
    EXPECT_EQ(engine.m_mapServerFiles["a"], "b|c") << "the value runs from the first bar";
}

TEST(VersionFiles, ResourceFolderNameIsTheUrlsLastSegment) {
    EXPECT_EQ(fl::GetUrlLastSegment("http://h:8080/a/fenwa/"), "fenwa");
    EXPECT_EQ(fl::GetUrlLastSegment(" http://h:8080/a/fenwa "), "fenwa");
    EXPECT_EQ(fl::GetUrlLastSegment("fenwa"), "");
    EXPECT_EQ(fl::GetUrlLastSegment("http://h/"), "h");
}

TEST_F(EngineFixture, LocalPackStateReadsTheLastBarOfTheFirstVersionLine) {
    ASSERT_TRUE(StartEngine());
    engine->m_strFullPack = "full";
    engine->m_strNewVersion = "n2";
    engine->m_strLastVersion = "n1";
    auto state = [&](const std::string& local) {
        WriteFile(RunFolder() + "PackVersion.pat", local);
        return engine->GetPackState();
    };
    EXPECT_EQ(state("\n  \nanything|x|N1\nnewversion|n2\n"), 1);
    EXPECT_EQ(state("k|FULL"), 0);
    EXPECT_EQ(state("k|n2"), 0);
    EXPECT_EQ(state("no bar here\n"), 2);
    EXPECT_EQ(state("k|other"), 2);
    std::remove((RunFolder() + "PackVersion.pat").c_str());
    EXPECT_EQ(engine->GetPackState(), 3);
}

TEST_F(EngineFixture, InitializationReadsThePageValuesAndTheHostConfiguration) {
    ASSERT_TRUE(StartEngine("/res/", ""));
    EXPECT_EQ(engine->m_strPreloadVer, "7b");
    EXPECT_EQ(app.GetResFolder(), "res/");

    engine = std::make_unique<fl::CDownloader>(app, app.EngineSettings());
    EXPECT_TRUE(engine->Initialize("'rsurl':'" + server.Url("/res/") + "','preloadver':'7'")) << "no vm is fine";
    EXPECT_EQ(engine->m_strPreloadVer, "7");

    engine = std::make_unique<fl::CDownloader>(app, app.EngineSettings());
    EXPECT_FALSE(engine->Initialize("'rsurl':'https://secure.example/res/','preloadver':'7'"));
    EXPECT_TRUE(progress.HasStatus("HttpConn Initiallize err"));

    engine = std::make_unique<fl::CDownloader>(app, app.EngineSettings());
    EXPECT_FALSE(engine->Initialize("'preloadver':'7'"));
    EXPECT_TRUE(boxes.Has("连接服务器失败,请检查网络是否正常."));

    // hostconfig.ini overrides the address, and the version changes from run to run.
    TempDir install;
    WriteFile(install / "hostconfig.ini", "\n" + server.Url("/other/") + "\n");
    app.SetLauncherFolder(install.Path() + "/");
    engine = std::make_unique<fl::CDownloader>(app, app.EngineSettings());
    ASSERT_TRUE(engine->Initialize("'rsurl':'http://unused/x/','preloadver':'7','vm':'b'"));
    EXPECT_EQ(engine->m_strResUrl, server.Url("/other/"));
    const std::string first = engine->m_strPreloadVer;
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    engine = std::make_unique<fl::CDownloader>(app, app.EngineSettings());
    ASSERT_TRUE(engine->Initialize("'rsurl':'http://unused/x/','preloadver':'7','vm':'b'"));
    EXPECT_NE(engine->m_strPreloadVer, first);
    EXPECT_EQ(engine->m_strPreloadVer.back(), 'b');
}

TEST_F(EngineFixture, TheLauncherCheckComparesTextsIgnoringCaseAndSpaces) {
    ASSERT_TRUE(StartEngine());
    server.AddFile("/res/luncherVersion.pat", "version| 1.0.6 \n");
    EXPECT_TRUE(engine->CheckLauncherVersion());
    EXPECT_FALSE(engine->m_bLauncherUpdated);

    server.AddFile("/res/luncherVersion.pat", "a|1.0.6\nb|1.0.60\n");
    server.AddFile("/res/FLauncher_zelt.exe", "#!/bin/sh\n");
    app.m_bHeadless = true;
    EXPECT_TRUE(engine->CheckLauncherVersion());
    EXPECT_TRUE(engine->m_bLauncherUpdated);
    EXPECT_EQ(ReadFile(data / "fenwazelt/FLuncher.updt"), "#!/bin/sh\n") << "in the data folder itself";
    EXPECT_EQ(window.m_nCloses, 1) << "the restart closes the window";

    server.AddFile("/res/luncherVersion.pat", "nothing here\n");
    engine->m_strServerLauncherVersion.clear();
    EXPECT_FALSE(engine->CheckLauncherVersion());
    EXPECT_TRUE(boxes.Has("登录器版本号获取失败"));
    EXPECT_TRUE(boxes.Has("登录器更新失败"));
}
