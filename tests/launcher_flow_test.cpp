#include <gtest/gtest.h>
#include <webkit2/webkit2.h>

#include <atomic>

#include "app/SharedTexts.h"
#include "app/WobrApp.h"
#include "controls/MenuEx.h"
#include "demo/DemoPlatform.h"
#include "platform/Trace.h"
#include "tests/support/EngineHarness.h"
#include "tests/support/GuiHelpers.h"
#include "tests/support/Process.h"
#include "ui/CacheCleaner.h"
#include "ui/DialogSelect.h"
#include "ui/GtkMessageBoxes.h"
#include "ui/LauncherFrontEnd.h"
#include "ui/MenuPopup.h"
#include "ui/ProgressHost.h"
#include "ui/WobrDlg.h"
#include "web/WebContext.h"

using namespace fltest;

namespace {

std::mutex g_traceMutex;
std::vector<std::pair<std::string, std::chrono::steady_clock::time_point>> g_trace;
void Capture(const std::string& line) {
    std::lock_guard lock(g_traceMutex);
    g_trace.push_back({line, std::chrono::steady_clock::now()});
}

// The windowed launcher against the demo platform, in this process.
struct FlowFixture : ::testing::Test {
    TempDir data, install, home;
    ScopedEnv xdg{"XDG_DATA_HOME", data.Path()};
    ScopedEnv homeEnv{"HOME", home.Path()};
    fldemo::ContentOptions options;
    std::unique_ptr<fldemo::CDemoPlatform> platform;
    std::unique_ptr<ScopedEnv> site;
    CapturedBoxes boxes;
    fl::CGtkMessageBoxes gtkBoxes;
    std::unique_ptr<fl::CWobrApp> app;
    std::unique_ptr<fl::CLauncherFrontEnd> front;
    fl::CWobrDlg* dlg = nullptr;
    std::atomic<int> quits{0};
    std::chrono::steady_clock::time_point quitAt;

    void SetUp() override {
        fl::FillSharedTexts();
        fl::SetMessageBoxHost(&boxes);
        fl::SetTraceHook(Capture);
        options.files = 10;
        options.clientBytes = "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > \"$(dirname \"$0\")/ran.txt\"\n";
    }
    void TearDown() override {
        front.reset();  // the window and the update thread end before the application object
        app.reset();
        fl::SetTraceHook(nullptr);
        fl::SetMessageBoxHost(nullptr);
        Pump(100);
    }
    void Start(bool installerPack = true) {
        platform = std::make_unique<fldemo::CDemoPlatform>(fldemo::BuildDemoContent(options));
        if (installerPack) platform->WriteInstallFolder(install.Path());
        site = std::make_unique<ScopedEnv>("FLAUNCHER_MEMBER_SITE", platform->Url(""));
        Launch();
    }
    void Launch() {
        if (front) front->Finish();
        front.reset();
        app = std::make_unique<fl::CWobrApp>();
        app->SetLauncherFolder(install.Path() + "/");
        app->m_strClientBaseOverride = data.Path() + "/fenwazelt/";
        front = std::make_unique<fl::CLauncherFrontEnd>(*app, gtkBoxes);
        quits = 0;
        app->SetMainDlg(front->Create(""));
        dlg = front->Window();
        dlg->m_fnQuit = [this] {
            quitAt = std::chrono::steady_clock::now();
            ++quits;
        };
        ASSERT_TRUE(PumpUntil([&] { return dlg->PageHost().HasWindow() && !dlg->PageHost().m_bFirstDocument; }, 10000));
        Pump(500);
    }
    void LogIn() { dlg->PageHost().NavigateTo(platform->LoginUrl()); }
    std::string RunFolder() const { return data.Path() + "/fenwazelt/fenwa/"; }
    std::vector<std::string> Status() {
        std::lock_guard lock(g_traceMutex);
        std::vector<std::string> out;
        for (auto& [line, at] : g_trace)
            if (line.rfind("status: ", 0) == 0) out.push_back(line.substr(8));
        return out;
    }
    std::chrono::steady_clock::time_point TraceTime(const std::string& text) {
        std::lock_guard lock(g_traceMutex);
        for (auto& [line, at] : g_trace)
            if (line == text) return at;
        return {};
    }
};

}  // namespace

TEST_F(FlowFixture, LoginUpdateClientAndCloseThenASecondRunFetchesOnlyTheLists) {
    if (!fl::TraceEnabled()) GTEST_SKIP() << "needs FLAUNCHER_TRACE=1 (set by the test program)";
    Start();
    LogIn();
    ASSERT_TRUE(PumpUntil([&] { return quits == 1; }, 30000));
    // The panel took the page's place and went to 100 %.
    EXPECT_FALSE(gtk_widget_get_visible(dlg->PageHost().Widget()));
    EXPECT_EQ(front->Progress()->Dialog()->m_bar.GetPos(), 100);
    auto status = Status();
    auto at = [&](const std::string& s) { return std::find(status.begin(), status.end(), s) - status.begin(); };
    EXPECT_LT(at("正在解压资源..."), at("资源解压完成."));
    EXPECT_LT(at("资源解压完成."), at("正在下载更新文件...  " + std::to_string(options.packLacks) + "/" +
                                       std::to_string(options.packLacks)));
    EXPECT_EQ(status.back(), "更新完成,正在启动游戏主程序...");
    const auto shownFor = quitAt - TraceTime("CDialogProgess    更新完成");
    EXPECT_GE(shownFor, std::chrono::milliseconds(900)) << "100 % stays about a second";
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(RunFolder() + "ran.txt").find("'pt':'demo'") != std::string::npos; }, 5000));
    EXPECT_NE(ReadFile(RunFolder() + "ran.txt").find("'pt':'demo'"), std::string::npos);
    EXPECT_EQ(ReadFile(RunFolder() + "param.tmp").size() % 2, 0u);
    EXPECT_TRUE(boxes.Texts().empty());

    platform->ClearLog();
    Launch();
    LogIn();
    ASSERT_TRUE(PumpUntil([&] { return quits == 1; }, 30000));
    // Whole for the same signed list, every file as it was left: the other lists are not asked for.
    EXPECT_EQ(platform->ResourceRequests(), (std::vector<std::string>{"luncherVersion.pat", "hash.pat", "hash.pat.minisig"}));
}

TEST_F(FlowFixture, ARefusedRequestSaysSoAndClosesAFailedTransferStaysOpen) {
    options.fileSize = 50000;
    Start();
    platform->SetResourceStatus("version.pat", 404);
    LogIn();
    ASSERT_TRUE(PumpUntil([&] { return quits == 1; }, 20000)) << "the abort closes the launcher";
    EXPECT_TRUE(boxes.Has("文件[version.pat?v=1a]下载失败,请检查网络设置."));

    platform->SetResourceStatus("version.pat", 0);
    const std::string lacking = fldemo::DemoContent::LocalName(std::prev(platform->Content().files.end())->first);
    platform->SetResourceStatus(lacking, -1000);
    Launch();
    LogIn();
    ASSERT_TRUE(PumpUntil([&] { return boxes.Has("文件[" + lacking + "]下载失败,服务器连接中断!"); }, 20000));
    Pump(1500);
    EXPECT_EQ(quits, 0) << "the launcher stays open with its message";
    EXPECT_FALSE(front->Progress()->Dialog()->m_status.GetWindowText().empty());
}

TEST_F(FlowFixture, TheSettingsMenuCommands) {
    Start();
    dlg->m_bCanHide = true;
    auto choose = [&](int command) {
        g_timeout_add(50, [](gpointer c) -> gboolean {
            if (!fl::PopupIsOpen()) return G_SOURCE_CONTINUE;
            int id = GPOINTER_TO_INT(c);
            if (id)
                fl::ChoosePopupItem(id);
            else
                fl::DismissPopup();
            return G_SOURCE_REMOVE;
        }, GINT_TO_POINTER(command));
        front->ShowSettingsMenu();
        Pump(300);
    };
    choose(0);  // dismissed
    EXPECT_TRUE(dlg->get_visible());
    EXPECT_EQ(quits, 0);

    choose(fl::ID_MENU_HIDE_RESTORE);
    EXPECT_FALSE(dlg->get_visible());
    dlg->RunMenuCommand(fl::ID_MENU_HIDE_RESTORE);  // as the notification-area icon would
    EXPECT_TRUE(dlg->get_visible());

    choose(fl::ID_MENU_CLEAR_CACHE);
    ASSERT_NE(front->CacheCleaner(), nullptr);
    EXPECT_TRUE(front->CacheCleaner()->IsOpen());

    choose(fl::ID_MENU_EXIT);
    ASSERT_TRUE(PumpUntil([&] { return quits == 1; }, 3000)) << "exit runs the close path";
}

TEST_F(FlowFixture, TheConfirmDialogAnswers) {
    Start();
    auto ask = [&](int mode, bool yes) {
        fl::CDialogSelect confirm(*dlg, dlg, mode);
        EXPECT_EQ(fl::CDialogSelect::TextFor(mode),
                  mode == 0 ? fl::g_strRefreshInGame : mode == 1 ? fl::g_strQuitStarting : fl::g_strQuitInGame);
        if (yes)
            confirm.OnOK();
        else
            confirm.OnCancel();
        Pump(300);
    };
    ask(2, false);
    EXPECT_EQ(quits, 0) << "no changes nothing";
    ask(0, true);
    EXPECT_EQ(quits, 0) << "mode 0 refreshes";
    ask(1, true);
    EXPECT_EQ(quits, 1);
    ask(2, true);
    EXPECT_EQ(quits, 2);
}

TEST_F(FlowFixture, TheCacheCleanerChecksYesAndCleansOnlyWhatItShould) {
    Start();
    // Flash data of the resource server's host and of another site.
    const std::string flash = home.Path() + "/.macromedia/Flash_Player/#SharedObjects/ABC/";
    WriteFile(flash + "127.0.0.1/game.sol", "x");
    WriteFile(flash + "other.example/keep.sol", "y");
    dlg->GameParams().Assign("'rsurl':'" + platform->ResourceUrl() + "','vm':'1'");
    // A file in the browser's cache folder, and a cookie.
    WebKitWebsiteDataManager* manager = webkit_web_context_get_website_data_manager(fl::LauncherWebContext());
    const char* cacheDir = webkit_website_data_manager_get_base_cache_directory(manager);
    ASSERT_NE(cacheDir, nullptr);
    const std::string cache = cacheDir;
    WriteFile(cache + "/junk/entry.bin", "cached");
    SoupCookie* cookie = soup_cookie_new("session", "kept", "127.0.0.1", "/", 3600);
    bool added = false;
    webkit_cookie_manager_add_cookie(webkit_web_context_get_cookie_manager(fl::LauncherWebContext()), cookie,
                                     nullptr, [](GObject*, GAsyncResult*, gpointer d) { *static_cast<bool*>(d) = true; },
                                     &added);
    soup_cookie_free(cookie);
    ASSERT_TRUE(PumpUntil([&] { return added; }, 5000));

    fl::CDialogSetting& cleaner = *front->CacheCleaner();
    cleaner.Open(*dlg);
    cleaner.BrowserBox()->set_active(true);
    for (const char* wrong : {"YES ", ""}) {
        cleaner.Entry()->set_text(wrong);
        cleaner.OnOK();
        EXPECT_EQ(cleaner.m_nCleanings, 0) << "'" << wrong << "' only focuses the box";
    }
    EXPECT_TRUE(Exists(flash + "127.0.0.1/game.sol"));
    cleaner.Entry()->set_text("yes");
    cleaner.OnOK();
    EXPECT_EQ(cleaner.m_nCleanings, 1);
    EXPECT_EQ(std::string(cleaner.Entry()->get_text()), "YES");
    EXPECT_FALSE(Exists(flash + "127.0.0.1")) << "the resource host's folder goes";
    EXPECT_TRUE(Exists(flash + "other.example/keep.sol")) << "nothing else is touched";
    EXPECT_FALSE(Exists(cache + "/junk"));
    EXPECT_TRUE(Exists(cache)) << "the cache folder stays";

    int cookies = -1;
    webkit_cookie_manager_get_cookies(
        webkit_web_context_get_cookie_manager(fl::LauncherWebContext()), "http://127.0.0.1/", nullptr,
        [](GObject* m, GAsyncResult* r, gpointer d) {
            GList* list = webkit_cookie_manager_get_cookies_finish(WEBKIT_COOKIE_MANAGER(m), r, nullptr);
            *static_cast<int*>(d) = int(g_list_length(list));
            g_list_free_full(list, reinterpret_cast<GDestroyNotify>(soup_cookie_free));
        },
        &cookies);
    ASSERT_TRUE(PumpUntil([&] { return cookies >= 0; }, 5000));
    EXPECT_EQ(cookies, 1) << "cookies survive";

    // Opened again: the previous text and boxes.
    cleaner.Open(*dlg);
    EXPECT_EQ(std::string(cleaner.Entry()->get_text()), "YES");
    EXPECT_TRUE(cleaner.BrowserBox()->get_active());
    EXPECT_TRUE(cleaner.FlashBox()->get_active());
}
