// The self-update with real processes: the launcher installed in a folder of its
// own fetches a new launcher from the demo platform and runs it from the next
// start on. A new launcher that crashes or hangs gives way after two starts, and
// the version is not fetched again; a good one stays.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <sstream>

#include "demo/DemoPlatform.h"
#include "platform/FileOps.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "update/launcher/LauncherState.h"

using namespace fltest;

namespace {

struct SelfUpdateFixture : ::testing::Test {
    TempDir data, install, home, runtime, out;
    fldemo::ContentOptions options;
    std::unique_ptr<fldemo::CDemoPlatform> platform;
    std::string folder = data / "fenwazelt";
    std::string installLauncher = install / "FLauncher_zelt.exe";
    std::string clientRan = out / "client.txt";
    int starts = 0;

    void SetUp() override {
        options.autoLogin = true;
        options.files = 6;
        options.launcherVersion = "1.0.7";
        options.clientBytes = "#!/bin/sh\necho started >> '" + clientRan + "'\n";
    }
    void Serve() {
        platform = std::make_unique<fldemo::CDemoPlatform>(fldemo::BuildDemoContent(options));
        platform->WriteInstallFolder(install.Path());
        ASSERT_TRUE(fl::CopyFileKeepMode(FL_LAUNCHER, installLauncher, false));
    }
    // The player starts the launcher in the install folder; its trace goes to start-N.txt.
    std::string Start() {
        ProcessOptions o;
        o.env = {{"XDG_DATA_HOME", data.Path()},
                 {"HOME", home.Path()},
                 {"XDG_RUNTIME_DIR", runtime.Path()},
                 {"FLAUNCHER_MEMBER_SITE", platform->Url("")},
                 {"FLAUNCHER_TRACE", "1"}};
        o.workDir = home.Path();
        const std::string err = out / ("start-" + std::to_string(++starts) + ".txt");
        KillAndReap(StartBackground(installLauncher, {}, o, "", err), 0);  // it relaunches and ends at once
        return err;
    }
    int Lines(const std::string& path) {
        const std::string text = ReadFile(path);
        return int(std::count(text.begin(), text.end(), '\n'));
    }
    int LauncherFetches() {
        const auto requests = platform->ResourceRequests();
        return int(std::count_if(requests.begin(), requests.end(),
                                 [](const std::string& r) { return r.rfind("FLauncher_zelt.exe", 0) == 0; }));
    }
    bool WaitForClient(int runs, const std::string& trace) {
        const bool ok = WaitUntil([&] { return Lines(clientRan) >= runs; }, 60000);
        if (!ok) ADD_FAILURE() << "no update completed; the trace ends:\n" << Tail(trace);
        return ok;
    }
    static std::string Tail(const std::string& path) {
        const std::string t = ReadFile(path);
        return t.substr(t.size() > 3000 ? t.size() - 3000 : 0);
    }
    std::string State() { return ReadFile(folder + "/FLuncher.state"); }
};

}  // namespace

TEST_F(SelfUpdateFixture, ANewLauncherThatCrashesGivesWayToTheOneBeforeAndIsNotFetchedAgain) {
    const std::string crashes = out / "crashes.txt";
    options.launcherBytes = "#!/bin/sh\necho crashed >> '" + crashes + "'\nkill -SEGV $$\n";
    Serve();
    const std::string installed = ReadFile(installLauncher);

    // The first start updates, fetches 1.0.7 and restarts: the new launcher crashes.
    const std::string first = Start();
    ASSERT_TRUE(WaitUntil([&] { return Lines(crashes) == 1; }, 60000)) << Tail(first);
    EXPECT_EQ(LauncherFetches(), 1);
    Start();
    ASSERT_TRUE(WaitUntil([&] { return Lines(crashes) == 2; }, 20000));

    // The third start runs the launcher of the install folder, which finishes its update.
    platform->ClearLog();
    const std::string third = Start();
    ASSERT_TRUE(WaitForClient(1, third));
    EXPECT_EQ(Lines(crashes), 2);
    EXPECT_EQ(LauncherFetches(), 0) << "the version set aside is not fetched again";
    const std::string trace = ReadFile(third);
    EXPECT_NE(trace.find("the launcher 1.0.7 (FLuncher.updt"), std::string::npos) << Tail(third);
    EXPECT_NE(trace.find("notice: 新版本登录器(1.0.7)无法正常运行，已换回之前的版本。"), std::string::npos);
    EXPECT_NE(ReadFile(folder + "/GMS__Err.txt").find("never proved itself"), std::string::npos);
    EXPECT_EQ(ReadFile(installLauncher), installed) << "the install folder's launcher is never changed";

    // The server lists a newer launcher: it is fetched (the same bytes would not be).
    platform->EditContent([](fldemo::DemoContent& c) {
        c.launcherVersion = "1.0.8";
        c.launcherBytes += "# 1.0.8\n";
    });
    platform->ClearLog();
    Start();
    ASSERT_TRUE(WaitUntil([&] { return Lines(crashes) == 3; }, 60000)) << "1.0.8 is fetched and started";
    EXPECT_EQ(LauncherFetches(), 1);
}

TEST_F(SelfUpdateFixture, ANewLauncherThatHangsBeforeItsWindowGivesWayToo) {
    const std::string pids = out / "pids.txt";
    options.launcherBytes = "#!/bin/sh\necho $$ >> '" + pids + "'\nexec sleep 600\n";
    Serve();
    Start();
    for (int hung = 1; hung <= 2; ++hung) {
        ASSERT_TRUE(WaitUntil([&] { return Lines(pids) == hung; }, 60000)) << hung;
        std::istringstream in(ReadFile(pids));
        int pid = 0;
        for (int i = 0; i < hung; ++i) in >> pid;
        kill(pid, SIGKILL);  // what a player does to a launcher that never shows
        if (hung == 1) Start();
    }
    platform->ClearLog();
    const std::string third = Start();
    ASSERT_TRUE(WaitForClient(1, third));
    EXPECT_EQ(Lines(pids), 2);
    EXPECT_EQ(LauncherFetches(), 0);
}

TEST_F(SelfUpdateFixture, AGoodNewLauncherIsMarkedGoodAndRunsFromThenOn) {
    ASSERT_TRUE(fl::ReadWholeFile(FL_LAUNCHER, options.launcherBytes));
    Serve();
    const std::string first = Start();
    // Once the new launcher is fetched the server lists it as current (the same build).
    ASSERT_TRUE(WaitUntil([&] { return LauncherFetches() == 1; }, 60000)) << Tail(first);
    platform->EditContent([](fldemo::DemoContent& c) { c.launcherVersion = "1.0.6"; });
    ASSERT_TRUE(WaitForClient(1, first));
    const fl::LauncherState s = fl::LoadLauncherState(folder);
    EXPECT_TRUE(s.updtGood) << State();
    EXPECT_EQ(s.updtVersion, "1.0.7");
    EXPECT_NE(ReadFile(first).find("the launcher 1.0.7 proved itself (it completed an update)"), std::string::npos);

    for (int run = 2; run <= 3; ++run) {
        const std::string trace = Start();
        ASSERT_TRUE(WaitForClient(run, trace));
        EXPECT_EQ(ReadFile(trace).find("on probation"), std::string::npos) << "no probation once proven";
        EXPECT_EQ(fl::LoadLauncherState(folder).runSource, "updt");
    }
    EXPECT_EQ(LauncherFetches(), 1);
    EXPECT_EQ(fl::LoadLauncherState(folder).attempts, 0);
}
