#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/WobrApp.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

using namespace fltest;

namespace {

// A program that records the arguments and the working directory it got.
std::string Recorder(const std::string& tag, const std::string& outFile) {
    return "#!/bin/sh\n{ echo '" + tag + "'; for a in \"$@\"; do echo \"[$a]\"; done; pwd; } > '" + outFile + "'\n";
}

struct RelaunchFixture : ::testing::Test {
    TempDir install, data, out;
    ScopedEnv env{"XDG_DATA_HOME", data.Path()};
    fl::CWobrApp app;
    std::string dataFolder = data / "fenwazelt";

    void SetUp() override {
        WriteFile(install / "FLauncher_zelt.exe", Recorder("install", out / "ran.txt"));
        chmod((install / "FLauncher_zelt.exe").c_str(), 0755);
        app.m_strModulePathOverride = install / "FLauncher_zelt.exe";
        app.m_nRelaunchRetryDelayMs = 1;
    }
    std::string WaitForRun() {
        WaitUntil([&] { return ReadFile(out / "ran.txt").find(dataFolder + "\n") != std::string::npos; }, 5000);
        return ReadFile(out / "ran.txt");
    }
};

}  // namespace

TEST_F(RelaunchFixture, CopiesItselfAndStartsTheCopyInTheDataFolder) {
    ASSERT_TRUE(app.RelaunchFromDataFolder("-a \"b c\""));
    struct stat st {};
    ASSERT_EQ(stat((dataFolder + "/FLuncher.dydr").c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR) << "the copy keeps its run permission";
    EXPECT_EQ(WaitForRun(), "install\n[" + install.Path() + "/\"-a \"b c\"]\n" + dataFolder + "\n")
        << "one argument: the install folder, a quote, the forwarded text; run in the data folder";
}

TEST_F(RelaunchFixture, ANewerLauncherLeftByTheSelfUpdateWins) {
    WriteFile(dataFolder + "/FLuncher.updt", Recorder("updated", out / "ran.txt"));
    ASSERT_TRUE(app.RelaunchFromDataFolder(""));
    EXPECT_EQ(WaitForRun().substr(0, 8), "updated\n");
    EXPECT_TRUE(Exists(dataFolder + "/FLuncher.updt")) << "kept for every later launch";
}

TEST_F(RelaunchFixture, AFailingCopyStillStartsTheOldCopy) {
    WriteFile(dataFolder + "/FLuncher.dydr", Recorder("old copy", out / "ran.txt"));
    chmod((dataFolder + "/FLuncher.dydr").c_str(), 0755);
    ASSERT_EQ(mkdir((dataFolder + "/FLuncher.dydr.new").c_str(), 0755), 0);  // no copy can be written
    ASSERT_TRUE(app.RelaunchFromDataFolder(""));
    EXPECT_EQ(WaitForRun().substr(0, 9), "old copy\n");
}

TEST_F(RelaunchFixture, OnlyALowerCaseExeIsRelocated) {
    app.m_strModulePathOverride = install / "FLauncher_zelt.EXE";
    EXPECT_FALSE(app.RelaunchFromDataFolder(""));
    app.m_strModulePathOverride = data / "fenwazelt/FLuncher.dydr";
    EXPECT_FALSE(app.RelaunchFromDataFolder(""));
    EXPECT_FALSE(Exists(dataFolder + "/FLuncher.dydr"));
}
