// A fetched launcher runs on probation: two starts that never prove it set it
// aside for the launcher before it, and a kill at any step of a replacement
// leaves a launcher to start. The programs here are small scripts that record
// which of them ran.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/WobrApp.h"
#include "update/launcher/LauncherHealth.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

using namespace fltest;

namespace {

std::string Recorder(const std::string& tag, const std::string& outFile) {
    return "#!/bin/sh\necho '" + tag + "' >> '" + outFile + "'\n";
}

struct HealthFixture : ::testing::Test {
    TempDir install, data, out;
    ScopedEnv env{"XDG_DATA_HOME", data.Path()};
    std::string folder = data / "fenwazelt";
    std::string installLauncher = install / "FLauncher_zelt.exe";
    std::string ran = out / "ran.txt";

    void SetUp() override {
        WriteFile(installLauncher, Recorder("install", ran));
        chmod(installLauncher.c_str(), 0755);
        mkdir(folder.c_str(), 0755);
    }
    void TearDown() override { fl::CLauncherHealth::SetStepHook(nullptr); }
    std::string At(const char* name) const { return folder + "/" + name; }

    // A self-update's fetch: the bytes as a finished download, put in place.
    void Fetch(const std::string& tag, const std::string& version) {
        WriteFile(At("FLauncher_zelt.exe.temp"), Recorder(tag, ran));
        std::string why;
        ASSERT_TRUE(fl::CLauncherHealth(folder).PlaceNew(At("FLauncher_zelt.exe.temp"), version, why)) << why;
    }
    // One start from the install folder; what ran.
    std::string Start() {
        DeleteRan();
        fl::CWobrApp app;
        app.m_strModulePathOverride = installLauncher;
        app.m_nRelaunchRetryDelayMs = 1;
        EXPECT_TRUE(app.RelaunchFromDataFolder(""));
        WaitUntil([&] { return !ReadFile(ran).empty(); }, 5000);
        std::string who = ReadFile(ran);
        if (!who.empty() && who.back() == '\n') who.pop_back();
        return who;
    }
    void DeleteRan() { unlink(ran.c_str()); }
    // The running copy proving itself, as the copy in the data folder.
    void Prove() { fl::CLauncherHealth(folder).MarkProven(At("FLuncher.dydr"), "a test"); }
};

}  // namespace

TEST_F(HealthFixture, ALauncherThatNeverProvesItselfGivesWayAfterTwoStarts) {
    const std::string before = ReadFile(installLauncher);
    Fetch("bad", "1.0.7");
    EXPECT_EQ(Start(), "bad");
    EXPECT_EQ(Start(), "bad");
    EXPECT_EQ(Start(), "install") << "the third start runs the launcher before it";
    EXPECT_FALSE(Exists(At("FLuncher.updt")));
    EXPECT_EQ(ReadFile(At("FLuncher.bad")), Recorder("bad", ran)) << "kept aside to be looked at";
    EXPECT_NE(ReadFile(At("GMS__Err.txt")).find("the launcher 1.0.7 (FLuncher.updt"), std::string::npos);
    EXPECT_EQ(Start(), "install") << "and every start after";

    fl::CLauncherHealth health(folder);
    EXPECT_EQ(health.TakeNotice(), "新版本登录器(1.0.7)无法正常运行，已换回之前的版本。");
    EXPECT_EQ(health.TakeNotice(), "") << "told once";
    const std::string sha = fl::LoadLauncherState(folder).refusedSha;
    EXPECT_TRUE(health.IsRefused("1.0.7", "")) << "not fetched again";
    EXPECT_TRUE(health.IsRefused("1.0.7", sha));
    EXPECT_TRUE(health.IsRefused("9.9", sha)) << "the same bytes under another version";
    EXPECT_FALSE(health.IsRefused("1.0.7", std::string(64, 'a'))) << "the version published again with other bytes";
    EXPECT_FALSE(health.IsRefused("1.0.8", "")) << "a newer one is fetched";
    EXPECT_EQ(ReadFile(installLauncher), before) << "the install folder's launcher is never changed";
}

// The same bytes placed again (a runner that fetched them again) do not start
// their probation over: the bad launcher still gives way after its two starts.
TEST_F(HealthFixture, TheSameBytesPlacedAgainKeepTheStartsTheyUsed) {
    Fetch("bad", "1.0.7");
    EXPECT_EQ(Start(), "bad");
    Fetch("bad", "1.0.7");
    EXPECT_EQ(fl::LoadLauncherState(folder).attempts, 1);
    EXPECT_TRUE(fl::CLauncherHealth(folder).Holds(fl::LoadLauncherState(folder).updtSha));
    EXPECT_EQ(Start(), "bad");
    Fetch("bad", "1.0.7");
    EXPECT_EQ(Start(), "install") << "two starts, however often it was fetched between them";
    EXPECT_FALSE(fl::CLauncherHealth(folder).Holds(std::string(64, 'a')));
}

TEST_F(HealthFixture, AProvenLauncherStaysAndIsTheWayBackFromTheNextOne) {
    Fetch("v7", "1.0.7");
    EXPECT_EQ(Start(), "v7");
    fl::CLauncherHealth(folder).MarkProven(At("somewhere-else"), "not the running copy");
    fl::CLauncherHealth(folder).MarkProven(installLauncher, "not the running copy");
    EXPECT_FALSE(fl::LoadLauncherState(folder).updtGood) << "only the copy that runs proves itself";
    Prove();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Start(), "v7");
    EXPECT_EQ(fl::LoadLauncherState(folder).attempts, 0) << "no probation once proven";

    Fetch("v7", "1.0.7b");  // the same bytes under another version name
    EXPECT_TRUE(fl::LoadLauncherState(folder).updtGood) << "what they proved stays";
    Fetch("v8", "1.0.8");  // fetched by the proven one
    EXPECT_EQ(ReadFile(At("FLuncher.prev")), Recorder("v7", ran));
    EXPECT_EQ(Start(), "v8");
    EXPECT_EQ(Start(), "v8");
    EXPECT_EQ(Start(), "v7") << "back to the one that proved itself, not to the install folder's";
    EXPECT_TRUE(fl::CLauncherHealth(folder).IsRefused("1.0.8", ""));

    // A damaged way back is not taken.
    WriteFile(At("FLuncher.prev"), "#!/bin/sh\nexit 1\n");
    EXPECT_EQ(Start(), "install");
}

TEST_F(HealthFixture, AProbationStartThatProvesItselfEndsTheCount) {
    Fetch("v7", "1.0.7");
    EXPECT_EQ(Start(), "v7");
    Prove();
    // A launcher put in place by hand (not the one recorded) is a new one on probation.
    WriteFile(At("FLuncher.updt"), Recorder("by hand", ran));
    chmod(At("FLuncher.updt").c_str(), 0755);
    EXPECT_EQ(Start(), "by hand");
    EXPECT_EQ(Start(), "by hand");
    EXPECT_EQ(Start(), "install");
    EXPECT_EQ(fl::LoadLauncherState(folder).notice, "新版本登录器无法正常运行，已换回之前的版本。");
    // Copied back in by hand: still set aside.
    WriteFile(At("FLuncher.updt"), Recorder("by hand", ran));
    chmod(At("FLuncher.updt").c_str(), 0755);
    EXPECT_EQ(Start(), "install");
}

TEST_F(HealthFixture, ALauncherThatCannotBeStartedIsSetAsideAtOnce) {
    WriteFile(At("FLauncher_zelt.exe.temp"), std::string("\x7f" "ELF not really a program", 25));
    std::string why;
    ASSERT_TRUE(fl::CLauncherHealth(folder).PlaceNew(At("FLauncher_zelt.exe.temp"), "1.0.7", why));
    EXPECT_EQ(Start(), "install") << "the first start already runs the launcher before it";
    EXPECT_TRUE(fl::CLauncherHealth(folder).IsRefused("1.0.7", ""));
    EXPECT_NE(fl::LoadLauncherState(folder).refusedReason.find("cannot be started"), std::string::npos);
}

TEST_F(HealthFixture, TheRunnerSetsAsideWhatUsedItsStartsAndLeavesTheRestAlone) {
    Fetch("v7", "1.0.7");
    EXPECT_EQ(Start(), "v7");
    fl::CLauncherHealth once(folder);
    once.CheckForRunner();
    EXPECT_TRUE(once.WentBackReason().empty()) << "one start left";
    EXPECT_EQ(Start(), "v7");
    fl::CLauncherHealth twice(folder);
    twice.CheckForRunner();
    EXPECT_NE(twice.WentBackReason().find("never proved itself"), std::string::npos);
    EXPECT_FALSE(Exists(At("FLuncher.updt")));
}

// A kill at each step of putting a fetched launcher in place, and of a start's
// copy: the next start runs a whole launcher, the old one or the new one.
namespace {
const char* g_killAt = nullptr;
void KillHere(const char* step) {
    if (g_killAt && std::string(step) == g_killAt) _exit(9);
}
}  // namespace

TEST_F(HealthFixture, AKillAtAnyStepOfAReplacementLeavesALauncherToStart) {
    const std::vector<const char*> steps = {"kept-previous", "before-rename", "after-rename", "recorded", "copied",
                                            "recorded-start"};
    for (const char* step : steps) {
        SCOPED_TRACE(step);
        RemoveTree(folder);
        mkdir(folder.c_str(), 0755);
        Fetch("v7", "1.0.7");
        EXPECT_EQ(Start(), "v7");
        Prove();
        // In a child process killed at the step: the fetch of v8, then a start.
        const pid_t child = fork();
        if (child == 0) {
            g_killAt = step;
            fl::CLauncherHealth::SetStepHook(KillHere);
            WriteFile(At("FLauncher_zelt.exe.temp"), Recorder("v8", ran));
            std::string why;
            fl::CLauncherHealth(folder).PlaceNew(At("FLauncher_zelt.exe.temp"), "1.0.8", why);
            fl::CWobrApp app;
            app.m_strModulePathOverride = installLauncher;
            app.m_nRelaunchRetryDelayMs = 1;
            app.RelaunchFromDataFolder("");
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 9) << "killed at the step";
        WaitUntil([&] { return false; }, 50);  // a program the child started may still be writing
        const std::string who = Start();
        EXPECT_TRUE(who == "v7" || who == "v8") << who;
        struct stat st {};
        ASSERT_EQ(stat(At("FLuncher.dydr").c_str(), &st), 0);
        EXPECT_TRUE(st.st_mode & S_IXUSR);
    }
}
