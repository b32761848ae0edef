// A close request at any stage of the update ends the launcher at once and
// frees the single-instance lock: the real launcher, on the test's X server.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include "demo/DemoPlatform.h"
#include "demo/PackWriter.h"
#include "platform/Folders.h"
#include "platform/FileOps.h"
#include "platform/InstanceLock.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

using namespace fltest;

namespace {

struct CloseFixture : ::testing::Test {
    TempDir data, install, home, runtime;
    ScopedEnv runtimeEnv{"XDG_RUNTIME_DIR", runtime.Path()};
    fldemo::ContentOptions options;
    std::unique_ptr<fldemo::CDemoPlatform> platform;
    bool keepSiteFromEnvironment = true;  // else the launcher finds its addresses in the install folder

    void SetUp() override {
        options.autoLogin = true;
        options.files = 60;
        options.fileSize = 20000;
    }
    void Start(bool installerPack) {
        platform = std::make_unique<fldemo::CDemoPlatform>(fldemo::BuildDemoContent(options));
        if (installerPack) platform->WriteInstallFolder(install.Path());
    }
    struct Closed {
        bool reached = false, exited = false, lockFree = false;
        double seconds = 0;
        std::string trace;
    };
    // Starts the launcher as its relaunched copy runs, waits for `marker` in its
    // trace, presses the close button and times the end of the process.
    Closed CloseAt(const std::string& marker) {
        const std::string folder = data.Path() + "/fenwazelt/";
        fl::EnsureFolder(folder);
        const std::string copy = folder + "FLuncher.dydr";
        EXPECT_TRUE(fl::CopyFileKeepMode(FL_LAUNCHER, copy, false));
        ProcessOptions o;
        o.env = {{"XDG_DATA_HOME", data.Path()},
                 {"HOME", home.Path()},
                 {"XDG_RUNTIME_DIR", runtime.Path()},
                 {"FLAUNCHER_MEMBER_SITE", keepSiteFromEnvironment ? platform->Url("") : ""},
                 {"FLAUNCHER_TRACE", "1"}};
        o.workDir = folder;
        const std::string err = home / "trace.txt";
        const pid_t pid = StartBackground(copy, {install.Path() + "/\""}, o, "", err);
        Closed c;
        c.reached = WaitUntil([&] { return ReadFile(err).find(marker) != std::string::npos; }, 40000);
        // The close button of the login view, on the window centred on the 1280 x 800 screen.
        const int left = (1280 - 1030) / 2, top = (800 - 650) / 2;
        const auto asked = std::chrono::steady_clock::now();
        system(("xdotool mousemove " + std::to_string(left + 925) + " " + std::to_string(top + 74) + " click 1").c_str());
        int status = 0;
        c.exited = WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 10000);
        c.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
        if (!c.exited) KillAndReap(pid);
        fl::CInstanceLock lock(fl::kLauncherMutexName);
        c.lockFree = lock.Acquire(0) == fl::CInstanceLock::Result::Acquired;
        c.trace = ReadFile(err);
        return c;
    }
    void ExpectPromptEnd(const Closed& c, const std::string& stage) {
        EXPECT_TRUE(c.reached) << stage << ": never reached\n" << c.trace.substr(c.trace.size() > 3000 ? c.trace.size() - 3000 : 0);
        EXPECT_TRUE(c.exited) << stage;
        // The end must not wait for the stage to finish; a generous bound keeps a busy machine from failing it.
        EXPECT_LT(c.seconds, 2.0) << stage;
        EXPECT_TRUE(c.lockFree) << stage << ": a second launcher would be refused";
        std::printf("[ closed  ] %-10s exit %.2f s after the close\n", stage.c_str(), c.seconds);
    }
};

}  // namespace

TEST_F(CloseFixture, ClosingWhileThePackArrivesEndsAtOnce) {
    Start(false);  // no installer's pack: the full pack comes by segments, slowly
    platform->SetResourceDelay("fenwa_full.zip", 0, 2, 100 * 1024);
    ExpectPromptEnd(CloseAt("status: 下载更新中..."), "download");
}

TEST_F(CloseFixture, ClosingWhileTheInstallersPackIsCopiedOrUnpackedEndsAtOnce) {
    // A pack big enough to take a while to copy, with many entries to unpack.
    std::vector<fldemo::PackEntry> entries;
    for (int i = 0; i < 400; ++i) entries.push_back({"big/" + std::to_string(i) + ".dat", fldemo::GameData(512 * 1024, unsigned(i))});
    options.files = 4;
    Start(true);
    platform->Content().fullPack = fldemo::BuildPack(entries);
    platform->WriteInstallFolder(install.Path());
    ExpectPromptEnd(CloseAt("copying the installer's pack"), "copy");
    RemoveTree(data.Path() + "/fenwazelt/fenwa");
    ExpectPromptEnd(CloseAt("status: 正在解压资源..."), "unpack");
}

TEST_F(CloseFixture, ClosingDuringTheFileStageOrTheFinalSaveEndsAtOnce) {
    options.delayMs = 400;  // each file answered late
    options.packLacks = 30;
    Start(true);
    ExpectPromptEnd(CloseAt("status: 正在下载更新文件..."), "per-file");
    platform->SetFileDelay(0);
    platform->ClearLog();  // requests are counted from here
    platform->SetResourceDelay("version.pat", 20000, 2);  // the list arrives; its saving hangs
    ExpectPromptEnd(CloseAt("status: 更新完成,正在启动游戏主程序..."), "final save");
}

TEST_F(CloseFixture, ALauncherToldItsInstallFolderUsesThePlatformAddressesConfiguredThere) {
    Start(true);
    // No address from the environment: only the install folder's "platform.ini" names the site.
    WriteFile(install / "platform.ini", "member_site=" + platform->Url("") + "\nmain_site=" + platform->Url("") + "\n");
    keepSiteFromEnvironment = false;
    const Closed c = CloseAt("登陆地址:" + platform->Url("/yxfenwa/wd"));
    EXPECT_TRUE(c.reached) << c.trace.substr(0, 2000);
    EXPECT_TRUE(c.exited);
}
