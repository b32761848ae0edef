#include <gtest/gtest.h>
#include <gtkmm/window.h>
#include <httplib.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <cstdio>

#include "app/SharedTexts.h"
#include "app/WobrApp.h"
#include "tests/support/FakeMainWindow.h"
#include "tests/support/GuiHelpers.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestServer.h"
#include "web/DialogWeb.h"

using namespace fltest;

namespace {

void Html(TestServer& server, const std::string& path, const std::string& body) {
    server.SetHandler(path, [body](const httplib::Request&, httplib::Response& res) {
        res.set_content("<!DOCTYPE html><html><body>" + body + "</body></html>", "text/html");
    });
}

// The current folder for the life of the object.
class ScopedCwd {
public:
    explicit ScopedCwd(const std::string& folder) {
        m_bSaved = getcwd(m_old, sizeof m_old) != nullptr;
        m_bEntered = m_bSaved && chdir(folder.c_str()) == 0;
    }
    ~ScopedCwd() {
        if (m_bEntered && chdir(m_old) != 0) std::perror("chdir back");
    }
    bool Entered() const { return m_bEntered; }

private:
    char m_old[4096];
    bool m_bSaved = false, m_bEntered = false;
};

int CountCode(FakeMainWindow& w, int code) {
    int n = 0;
    for (auto& [c, p] : w.Posts()) n += c == code;
    return n;
}

struct PageFixture : ::testing::Test {
    TestServer server;
    FakeMainWindow window;
    fl::CWobrApp app;
    Gtk::Window top;
    std::unique_ptr<fl::CDialogWeb> page;
    void SetUp() override {
        app.SetMainDlg(&window);
        server.AddFile("/login", "'rsurl':'http://r/x/','vm':'1','pt':'p'");
        page = std::make_unique<fl::CDialogWeb>(app, "ads.example");
        page->m_pMainWnd = &window;
        page->Create();
        top.add(*Glib::wrap(page->Widget()));
        top.set_default_size(651, 363);
        top.show_all();
        // The window's first navigation (the page host makes none of its own).
        Html(server, "/first", "first");
        Go("/first");
        ASSERT_TRUE(PumpUntil([&] { return CountCode(window, fl::kCodeLoadHomePage) == 1; }, 10000));
    }
    void TearDown() override { page.reset(); }
    void Go(const std::string& path) { page->NavigateTo(server.Url(path)); }
};

}  // namespace

TEST_F(PageFixture, OnlyTheFirstFinishedDocumentAsksForTheHomePage) {
    Html(server, "/home", "home");
    Go("/home");
    ASSERT_TRUE(PumpUntil([&] { return server.Count("/home") == 1; }, 10000));
    Pump(500);
    EXPECT_EQ(CountCode(window, fl::kCodeLoadHomePage), 1);
}

TEST_F(PageFixture, ALoginLinkIsCancelledAndFetchedWithTheClientMarker) {
    Html(server, "/home", "<a id='l' href='/login?user=a'>in</a><script>document.getElementById('l').click()</script>");
    Go("/home");
    ASSERT_TRUE(PumpUntil([&] { return CountCode(window, fl::kCodeStartUpdate) == 1; }, 10000));
    Pump(300);
    auto t = server.Targets();
    EXPECT_NE(std::find(t.begin(), t.end(), "/login?user=a&fclient=9"), t.end());
    EXPECT_EQ(std::find(t.begin(), t.end(), "/login?user=a"), t.end()) << "the page never loads it";
    EXPECT_EQ(window.GameParams().Copy(), "'rsurl':'http://r/x/','vm':'1','pt':'p'");
}

TEST_F(PageFixture, LoginAndGameEntryTogetherRunTheLoginRuleOnce) {
    Go("/login?next=enter_game.php");
    ASSERT_TRUE(PumpUntil([&] { return server.Count("/login") >= 1; }, 10000));
    Pump(500);
    EXPECT_EQ(server.Count("/login"), 1);
    EXPECT_EQ(CountCode(window, fl::kCodeStartUpdate), 1);
}

TEST_F(PageFixture, TheTestPageWritesItsArgumentAndStartsTheClient) {
    TempDir dir;
    WriteFile(dir / "client.exe", "#!/bin/sh\necho started > \"$(dirname \"$0\")/started.txt\"\n");
    ScopedCwd cwd(dir.Path());  // the test page starts "client.exe" of the current folder
    ASSERT_TRUE(cwd.Entered());
    Html(server, "/test.php", "test");
    Go("/test.php?abc");
    const bool started = PumpUntil([&] { return Exists(dir / "started.txt"); }, 10000);
    EXPECT_TRUE(started);
    EXPECT_EQ(ReadFile(dir / "text.txt"), "abc");
    EXPECT_EQ(CountCode(window, fl::kCodeEnterGameView), 1);
}

TEST_F(PageFixture, AReloadRunsNoRulesANewNavigationDoes) {
    TempDir dir;
    WriteFile(dir / "client.exe", "#!/bin/sh\necho started >> \"$(dirname \"$0\")/started.txt\"\n");
    ScopedCwd cwd(dir.Path());  // the test page starts "client.exe" of the current folder
    ASSERT_TRUE(cwd.Entered());
    Html(server, "/test.php", "test");
    auto starts = [&] {
        const std::string s = ReadFile(dir / "started.txt");
        return std::count(s.begin(), s.end(), '\n');
    };
    Go("/test.php?abc");
    const bool first = PumpUntil(
        [&] {
            // Loaded and finished, so the reload is of this page.
            WebKitWebView* view = WEBKIT_WEB_VIEW(page->Widget());
            const char* uri = webkit_web_view_get_uri(view);
            return starts() == 1 && uri && std::string(uri).find("/test.php") != std::string::npos &&
                   !webkit_web_view_is_loading(view);
        },
        10000);
    page->RefreshPage();  // as the settings menu's refresh, or the page's own reload
    const bool reloaded = PumpUntil([&] { return server.Count("/test.php") == 2; }, 10000);
    Pump(800);
    const long afterReload = starts();
    Go("/test.php?abc");
    const bool again = PumpUntil([&] { return starts() == 2; }, 10000);
    EXPECT_TRUE(first);
    EXPECT_TRUE(reloaded) << "the page was reloaded";
    EXPECT_EQ(afterReload, 1) << "the reload started no client";
    EXPECT_TRUE(again) << "a new navigation runs the rules";
    EXPECT_EQ(CountCode(window, fl::kCodeEnterGameView), 2);
}

TEST_F(PageFixture, ALoginAddressReachedByARedirectStillStartsTheUpdate) {
    Behaviour moved;
    moved.status = 302;
    moved.location = "/login?via=redirect";
    server.SetBehaviour("/go", moved);
    Go("/go");
    ASSERT_TRUE(PumpUntil([&] { return CountCode(window, fl::kCodeStartUpdate) >= 1; }, 10000));
    auto t = server.Targets();
    EXPECT_NE(std::find(t.begin(), t.end(), "/login?via=redirect&fclient=9"), t.end());
}

TEST_F(PageFixture, CallPageFunctionReturnsTheStringOrReportsAMissingFunction) {
    Html(server, "/home", "<script>function logout(){return 'bye?';}</script>");
    Go("/home");
    ASSERT_TRUE(PumpUntil([&] { return server.Count("/home") == 1; }, 10000));
    Pump(500);
    int answers = 0;
    bool made = false;
    page->CallPageFunction("logout", [&](bool m) { made = m; ++answers; });
    ASSERT_TRUE(PumpUntil([&] { return answers == 1; }, 5000));
    EXPECT_TRUE(made);
    EXPECT_EQ(fl::g_strScriptResult, "bye?");
    page->CallPageFunction("missing", [&](bool m) { made = m; ++answers; });
    ASSERT_TRUE(PumpUntil([&] { return answers == 2; }, 5000));
    EXPECT_FALSE(made);
    EXPECT_EQ(fl::g_strScriptResult, "bye?") << "kept";
}
