#include <gtest/gtest.h>

#include "platform/InstanceLock.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

using namespace fltest;

namespace {
const char* kBusyText = "当前系统中还有“更新工具”正在运行，请先关闭！！！";
}

TEST(InstanceLock, SecondHolderTimesOutUntilTheFirstReleases) {
    TempDir runtime;
    ScopedEnv env("XDG_RUNTIME_DIR", runtime.Path());
    fl::CInstanceLock first("test-lock"), second("test-lock");
    ASSERT_EQ(first.Acquire(0), fl::CInstanceLock::Result::Acquired);
    EXPECT_EQ(second.Acquire(100), fl::CInstanceLock::Result::TimedOut);
    first.Release();
    EXPECT_EQ(second.Acquire(100), fl::CInstanceLock::Result::Acquired);
}

// The launcher against a lock held by another process, then abandoned by it.
TEST(InstanceLock, LauncherWaitsFiveSecondsThenRefusesAndProceedsOnceTheHolderDied) {
    TempDir runtime, install, data;
    ProcessOptions opts;
    opts.env = {{"XDG_RUNTIME_DIR", runtime.Path()}, {"XDG_DATA_HOME", data.Path()}};
    opts.workDir = install.Path();

    pid_t holder = StartBackground(FL_LOCK_HOLDER, {}, opts, install / "held.txt");
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(install / "held.txt") == "held\n"; }, 5000));

    // ".EXE" passes the name check but is not relocated: it runs where it stands.
    const std::string launcher = install / "FLauncher_zelt.EXE";
    ASSERT_EQ(system(("cp '" FL_LAUNCHER "' '" + launcher + "'").c_str()), 0);

    ProcessResult busy = RunProcess(launcher, {}, opts);
    EXPECT_GE(busy.seconds, 4.8);
    EXPECT_LT(busy.seconds, 9.0);
    EXPECT_NE(busy.err.find(kBusyText), std::string::npos) << busy.err;
    EXPECT_NE(busy.exitCode, 0);
    EXPECT_FALSE(Exists(install / "loading.swf")) << "a refused launcher does nothing more";

    KillAndReap(holder, 9);  // an abandoned lock
    ProcessResult next = RunProcess(launcher, {}, opts);
    EXPECT_LT(next.seconds, 2.0);
    EXPECT_EQ(next.err.find(kBusyText), std::string::npos) << next.err;
    EXPECT_TRUE(Exists(install / "loading.swf")) << "start-up went on past the lock";
}
