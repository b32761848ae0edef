// The main window under a real window manager (openbox): sizes, places and
// states are read back from the window manager, not from our own variables.
#include <gtest/gtest.h>
#include <httplib.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "app/SharedTexts.h"
#include "app/WobrApp.h"
#include "tests/support/EngineHarness.h"
#include "tests/support/GuiHelpers.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestServer.h"
#include "ui/DialogSelect.h"
#include "ui/GtkMessageBoxes.h"
#include "ui/LauncherFrontEnd.h"
#include "ui/WobrDlg.h"

// From gdkx.h, whose X11 headers clash with the test framework's names.
extern "C" unsigned long gdk_x11_window_get_xid(GdkWindow* window);

using namespace fltest;

namespace {

int Field(const std::string& text, const std::string& label) {
    const size_t at = text.find(label);
    return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + label.size());
}

struct Geometry {
    int x = -1, y = -1, w = -1, h = -1;
};

struct WmFixture : ::testing::Test {
    TestServer server;
    TempDir home;
    ScopedEnv homeEnv{"HOME", home.Path()};
    std::unique_ptr<ScopedEnv> site;
    fl::CGtkMessageBoxes boxes;
    std::unique_ptr<fl::CWobrApp> app;
    std::unique_ptr<fl::CLauncherFrontEnd> front;
    fl::CWobrDlg* dlg = nullptr;
    int quits = 0;

    void SetUp() override {
        fl::FillSharedTexts();
        server.SetHandler("/yxfenwa/wd", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html><body style='background:#00ff00;margin:0'></body></html>", "text/html");
        });
        site = std::make_unique<ScopedEnv>("FLAUNCHER_MEMBER_SITE", server.Url(""));
        Launch();
    }
    void TearDown() override {
        front.reset();
        app.reset();
        Pump(100);
    }
    void Launch() {
        front.reset();
        app = std::make_unique<fl::CWobrApp>();
        // A window destroyed in the game view starts "the launcher" again: here a program that does nothing.
        app->m_strModulePathOverride = "/bin/true";
        front = std::make_unique<fl::CLauncherFrontEnd>(*app, boxes);
        app->SetMainDlg(front->Create(""));
        dlg = front->Window();
        dlg->m_fnQuit = [this] { ++quits; };
    }
    std::string Xid() const {
        return std::to_string(gdk_x11_window_get_xid(dlg->get_window()->gobj()));
    }
    // What the window manager says.
    bool Maximized() {
        const std::string s = Shell("xprop -id " + Xid() + " _NET_WM_STATE");
        return s.find("_NET_WM_STATE_MAXIMIZED_VERT") != std::string::npos &&
               s.find("_NET_WM_STATE_MAXIMIZED_HORZ") != std::string::npos;
    }
    Geometry Where() {
        const std::string s = Shell("xwininfo -id " + Xid());
        return {Field(s, "Absolute upper-left X:"), Field(s, "Absolute upper-left Y:"), Field(s, "Width:"),
                Field(s, "Height:")};
    }
    Geometry WorkArea() {
        const std::string s = Shell("xprop -root _NET_WORKAREA");
        Geometry g;
        if (std::sscanf(s.c_str() + s.find('=') + 1, " %d, %d, %d, %d", &g.x, &g.y, &g.w, &g.h) != 4) return {};
        return g;
    }
    bool Settles(const std::function<bool()>& pred, int ms = 4000) { return PumpUntil(pred, ms); }
    void EnterGameView() {
        dlg->PostLauncherMessage(fl::kCodeEnterGameView, 0);
        Settles([&] { return dlg->IsGameView() && Maximized() && dlg->IsMaximizedNow(); });
        Pump(200);
    }
};

}  // namespace

TEST_F(WmFixture, TheGameViewRestoresShrinksToItsMinimumAndFitsTheWorkArea) {
    const Geometry login = Where();
    EXPECT_EQ(login.w, 1030);
    EXPECT_EQ(login.h, 650);
    EnterGameView();
    ASSERT_TRUE(Maximized());
    EXPECT_NE(Shell("xprop -id " + Xid() + " WM_NORMAL_HINTS").find("minimum size: 1000 by 650"), std::string::npos);

    // The caption button restores the size and place the window had before.
    dlg->OnMessage(fl::WM_CAPTIONBUTTON, reinterpret_cast<uintptr_t>(&dlg->m_captionButtons), 1);
    ASSERT_TRUE(Settles([&] { return !Maximized() && Where().w == 1030; }));
    const Geometry restored = Where(), area = WorkArea();
    EXPECT_EQ(restored.w, login.w);
    EXPECT_EQ(restored.h, login.h);
    EXPECT_EQ(restored.x, login.x);
    EXPECT_EQ(restored.y, login.y);
    EXPECT_GE(restored.x, area.x);
    EXPECT_LE(restored.x + restored.w, area.x + area.w) << "wholly on the work area";

    // Shrunk by the window manager: down to 1000 x 650 and no further.
    Shell("xdotool windowsize " + Xid() + " 600 400");
    ASSERT_TRUE(Settles([&] { return Where().w == 1000; }));
    EXPECT_EQ(Where().h, 650);
    Shell("xdotool windowsize " + Xid() + " 1010 700");
    ASSERT_TRUE(Settles([&] { return Where().w == 1010 && Where().h == 700; })) << "it shrinks and grows freely";

    // Taller than the work area: moved to its corner and fitted.
    Shell("xdotool windowsize " + Xid() + " 1100 " + std::to_string(area.h + 150));
    ASSERT_TRUE(Settles([&] { return Where().h == area.h; }));
    const Geometry fitted = Where();
    EXPECT_EQ(fitted.y, area.y);
    EXPECT_EQ(fitted.x, area.x);
    EXPECT_EQ(fitted.w, area.w);
}

// The game view asks again until the window manager maximises it; a restore by
// the player while those requests are still pending must stay restored.
TEST_F(WmFixture, ARestoreRightAfterEnteringTheGameViewStaysRestored) {
    for (int i = 0; i < 3; ++i) {
        dlg->PostLauncherMessage(fl::kCodeEnterGameView, 0);
        ASSERT_TRUE(Settles([&] { return dlg->IsGameView(); }));
        // A busy machine: the window manager's answer comes after the first repeat is due.
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        ASSERT_TRUE(Settles([&] { return dlg->IsMaximizedNow(); }));
        dlg->OnMessage(fl::WM_CAPTIONBUTTON, reinterpret_cast<uintptr_t>(&dlg->m_captionButtons), 1);
        Pump(2500);  // longer than every pending request together
        EXPECT_FALSE(Maximized());
        EXPECT_FALSE(dlg->IsMaximizedNow());
        dlg->PostLauncherMessage(fl::kCodeLeaveGameView, 0);
        ASSERT_TRUE(Settles([&] { return !dlg->IsGameView() && Where().w == 1030; }));
    }
}

TEST_F(WmFixture, LeavingAMaximisedGameViewGivesTheLoginViewAsAtStart) {
    EnterGameView();
    ASSERT_TRUE(Maximized());
    dlg->PostLauncherMessage(fl::kCodeLeaveGameView, 0);
    ASSERT_TRUE(Settles([&] { return !dlg->IsGameView() && !Maximized() && Where().w == 1030; }));
    Pump(300);
    const Geometry g = Where(), area = WorkArea();
    EXPECT_EQ(g.w, 1030);
    EXPECT_EQ(g.h, 650);
    EXPECT_EQ(g.x, area.x + (area.w - 1030) / 2);
    EXPECT_EQ(g.y, area.y + (area.h - 650) / 2);
    GtkAllocation page{};
    gtk_widget_get_allocation(dlg->PageHost().Widget(), &page);
    EXPECT_EQ(page.x, 268);
    EXPECT_EQ(page.y, 129);
    EXPECT_EQ(page.width, 651);
    EXPECT_EQ(page.height, 363);
    EXPECT_NE(Shell("xprop -id " + Xid() + " WM_NORMAL_HINTS").find("maximum size: 1030 by 650"), std::string::npos);
}

TEST_F(WmFixture, AnyNumberOfCloseRequestsLeaveOneConfirmDialog) {
    EnterGameView();
    auto dialogs = [] {
        int n = 0;
        GList* all = gtk_window_list_toplevels();
        for (GList* l = all; l; l = l->next)
            if (GTK_IS_DIALOG(l->data) && gtk_widget_get_visible(GTK_WIDGET(l->data))) ++n;
        g_list_free(all);
        return n;
    };
    for (int i = 0; i < 4; ++i) {
        dlg->OnCancel();  // the page has no exit question of its own: the confirm dialog
        Pump(300);
    }
    EXPECT_EQ(dialogs(), 1);
    ASSERT_NE(front->Confirm(), nullptr);
    EXPECT_EQ(front->Confirm()->Mode(), 2);
    const std::string managed = Shell("wmctrl -l");
    EXPECT_EQ(std::count(managed.begin(), managed.end(), '\n'), 2) << "the window and one dialog:\n" << managed;
    front->Confirm()->OnCancel();  // "否": one answer is enough
    Pump(300);
    EXPECT_EQ(dialogs(), 0);
    EXPECT_EQ(quits, 0);
    dlg->OnCancel();
    Pump(300);
    EXPECT_EQ(dialogs(), 1);
}

// A race shows only over many tries.
TEST_F(WmFixture, TheGameViewOpensMaximisedEveryTime) {
    int maximised = 0, restored = 0;
    for (int i = 0; i < 20; ++i) {
        dlg->PostLauncherMessage(fl::kCodeEnterGameView, 0);
        maximised += Settles([&] { return dlg->IsGameView() && Maximized(); }, 3000);
        dlg->PostLauncherMessage(fl::kCodeLeaveGameView, 0);
        restored += Settles([&] { return !dlg->IsGameView() && !Maximized() && Where().w == 1030; }, 3000);
    }
    EXPECT_EQ(maximised, 20);
    EXPECT_EQ(restored, 20);
}

TEST_F(WmFixture, TheHomePageAppearsAtEveryStart) {
    int shown = 0;
    for (int i = 0; i < 20; ++i) {
        if (i > 0) Launch();
        const int before = server.Count("/yxfenwa/wd");
        const bool loaded = PumpUntil(
            [&] {
                WebKitWebView* view = WEBKIT_WEB_VIEW(dlg->PageHost().Widget());
                const char* uri = webkit_web_view_get_uri(view);
                return server.Count("/yxfenwa/wd") > before && !dlg->PageHost().m_bFirstDocument && uri &&
                       std::string(uri) == server.Url("/yxfenwa/wd") && !webkit_web_view_is_loading(view);
            },
            15000);
        shown += loaded;
    }
    EXPECT_EQ(shown, 20);
}
