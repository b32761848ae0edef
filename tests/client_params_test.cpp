#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/ClientParams.h"
#include "app/WobrApp.h"
#include "tests/support/FakeMainWindow.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

using namespace fltest;

namespace {
const std::string kExe = "/opt/fenwa/FLauncher_zelt.exe";
}

TEST(ClientParams, IconPairsGoToTheFileAndTheRestToTheClient) {
    auto p = fl::SplitClientParams("'pt':'7','small_icon':'s.png','middle_icon':'m.png','serverid':'3'", kExe);
    EXPECT_EQ(p.strIconText, "'small_icon':'s.png','middle_icon':'m.png',");
    EXPECT_EQ(p.strClientArgs, "'LauncherPath':'/opt/fenwa/FLauncher_zelt.exe','pt':'7','serverid':'3'");
}

TEST(ClientParams, ATailWithoutAQuoteIsDroppedButItsCommaStays) {
    auto p = fl::SplitClientParams("'pt':'7',garbage", kExe);
    EXPECT_EQ(p.strIconText, "");
    EXPECT_EQ(p.strClientArgs, "'LauncherPath':'/opt/fenwa/FLauncher_zelt.exe','pt':'7',");
}

TEST(ClientParams, AnIconPairAtTheVeryEndStaysWithTheClient) {
    auto p = fl::SplitClientParams("'pt':'7','small_icon':'s.png'", kExe);
    EXPECT_EQ(p.strIconText, "");
    EXPECT_EQ(p.strClientArgs, "'LauncherPath':'/opt/fenwa/FLauncher_zelt.exe','pt':'7','small_icon':'s.png'");
}

TEST(ClientParams, AnIconValueWithACommaIsCutThere) {
    auto p = fl::SplitClientParams("'pt':'7','small_icon':'a,b','qid':'9'", kExe);
    EXPECT_EQ(p.strIconText, "'small_icon':'a,");
    EXPECT_EQ(p.strClientArgs, "'LauncherPath':'/opt/fenwa/FLauncher_zelt.exe','pt':'7',b','qid':'9'");
}

struct LaunchFixture : ::testing::Test {
    TempDir base, out;
    FakeMainWindow window;
    fl::CWobrApp app;
    void SetUp() override {
        app.SetMainDlg(&window);
        app.m_strClientBaseOverride = base.Path() + "/";
        app.SetResFolder("res/");
        app.SetLauncherFolder("/opt/fenwa/");
        // Arrives without the run permission, as unpacked files do.
        WriteFile(base / "res/client.exe",
                  "#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\"; done > '" + out.Path() + "/args.txt'\n");
    }
};

TEST_F(LaunchFixture, WritesTheParameterFileAndStartsTheClient) {
    window.GameParams().Assign("'pt':'a b','small_icon':'小.png','qid':'9'");
    app.LaunchGameClient();
    // Complete once its line end is there: the script writes while we look.
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(out / "args.txt").find('\n') != std::string::npos; }, 5000));
    EXPECT_EQ(ReadFile(out / "args.txt"),
              "['LauncherPath':'/opt/fenwa/FLauncher_zelt.exe','pt':'a b','qid':'9']\n");
    const std::string expected = std::string("'\0s\0m\0a\0l\0l\0_\0i\0c\0o\0n\0'\0:\0'\0\x0F\x5C.\0p\0n\0g\0'\0,\0", 42);
    EXPECT_EQ(ReadFile(base / "res/param.tmp"), expected) << "UTF-16LE, no byte-order mark";
}

TEST_F(LaunchFixture, AnEmptyAnswerStartsNothing) {
    app.LaunchGameClient();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(Exists(out / "args.txt"));
    EXPECT_FALSE(Exists(base / "res/param.tmp"));
}
