#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>

#include "app/SharedTexts.h"
#include "app/WobrApp.h"
#include "controls/SkinImages.h"
#include "tests/support/GuiHelpers.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestServer.h"
#include "ui/DesktopShortcut.h"
#include "ui/WobrDlg.h"

using namespace fltest;

namespace {

struct Shot {
    cairo_surface_t* s = nullptr;
    ~Shot() {
        if (s) cairo_surface_destroy(s);
    }
    uint32_t At(int x, int y) const {
        cairo_surface_flush(s);
        return reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s))[x] &
               0xFFFFFF;
    }
};

bool Near(uint32_t a, uint32_t b, int tolerance = 24) {
    for (int shift : {0, 8, 16})
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) return false;
    return true;
}

struct WindowFixture : ::testing::Test {
    TempDir dir;
    TestServer server;
    fl::CWobrApp app;
    std::unique_ptr<fl::CWobrDlg> dlg;
    int quits = 0, progress = 0;
    // The window is centred on the 1280 x 800 screen of the test server.
    const int left = (1280 - 1030) / 2, top = (800 - 650) / 2;

    void SetUp() override {
        fl::FillSharedTexts();
        server.SetHandler("/yxfenwa/wd", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html><body style='background:#00ff00;margin:0'></body></html>", "text/html");
        });
        fl::PlatformConfig config{server.Url(""), server.Url(""), server.Url(""), "ads.example", ""};
        dlg = std::make_unique<fl::CWobrDlg>(app, config);
        app.SetMainDlg(dlg.get());
        dlg->m_fnQuit = [this] { ++quits; };
        dlg->m_fnShowProgress = [this] { ++progress; };
        dlg->OnInitDialog("");
        ASSERT_TRUE(PumpUntil([&] { return server.Count("/yxfenwa/wd") >= 1; }, 15000));
        Pump(1500);  // the page paints
    }
    void TearDown() override {
        app.SetMainDlg(nullptr);
        dlg.reset();
        Pump(100);
    }
    void Screenshot(Shot& shot) {
        const std::string path = dir / "shot.png";
        ASSERT_EQ(system(("import -window root '" + path + "' 2>/dev/null").c_str()), 0);
        shot.s = cairo_image_surface_create_from_png(path.c_str());
        ASSERT_EQ(cairo_surface_status(shot.s), CAIRO_STATUS_SUCCESS);
    }
};

}  // namespace

TEST_F(WindowFixture, TheLoginViewShowsTheSkinThePageAndTheDesktopThroughTheKey) {
    Shot shot;
    Screenshot(shot);
    const uint32_t desktop = shot.At(5, 5);
    EXPECT_EQ(shot.At(left + 1, top + 1), desktop) << "the corner is see-through";
    EXPECT_EQ(shot.At(left + 515, top + 2), desktop) << "beside the crest too";
    const uint32_t skin = shot.At(left + 100, top + 300);
    EXPECT_NE(skin, desktop);
    EXPECT_NE(skin, 0xFF00FFu) << "no magenta on screen";
    EXPECT_EQ(shot.At(left + 268 + 300, top + 129 + 150), 0x00FF00u) << "the page fills the login area";
}

TEST_F(WindowFixture, TheSkinButtonsOpenTheirPages) {
    const std::string log = dir / "opened.txt";
    WriteFile(dir / "browser", "#!/bin/sh\necho \"$1\" >> '" + log + "'\n");
    chmod((dir / "browser").c_str(), 0755);
    ScopedEnv browser("FLAUNCHER_BROWSER", dir / "browser");
    auto click = [&](int x, int y) {
        system(("xdotool mousemove " + std::to_string(left + x) + " " + std::to_string(top + y) + " click 1").c_str());
        Pump(300);
    };
    click(300 + 40, 98 + 13);  // home
    click(408 + 40, 98 + 13);  // recharge
    click(820 + 40, 98 + 13);  // forum
    click(704 + 40, 98 + 13);  // customer service
    ASSERT_TRUE(PumpUntil(
        [&] {
            const std::string text = ReadFile(log);
            return std::count(text.begin(), text.end(), '\n') >= 4;
        },
        5000));
    EXPECT_EQ(ReadFile(log), server.Url("/yxfenwa/") + "\n" + server.Url("/fenwa/?je=50") + "\n" +
                                 server.Url("/forums/mtag-83392") + "\n" + server.Url("/kefu/yxfenwa.html") + "\n");
}

TEST_F(WindowFixture, CloseInTheLoginViewEndsWithoutAsking) {
    dlg->PostClose();
    ASSERT_TRUE(PumpUntil([&] { return quits == 1; }, 3000));
}

TEST_F(WindowFixture, TheGameViewShowsTheCaptionBarAndStopsResizingAtTheMinimum) {
    dlg->PostLauncherMessage(fl::kCodeEnterGameView, 0);
    ASSERT_TRUE(PumpUntil([&] { return dlg->IsGameView(); }, 3000));
    Pump(800);
    int x = 0, y = 0;
    dlg->get_window()->get_origin(x, y);
    Shot shot;
    Screenshot(shot);
    cairo_surface_t* tile = fl::SkinSurface(227);
    cairo_surface_flush(tile);
    const uint32_t tileColour =
        reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(tile) + 14 * cairo_image_surface_get_stride(tile))[0] &
        0xFFFFFF;
    EXPECT_TRUE(Near(shot.At(x + 205, y + 14), tileColour, 8)) << std::hex << shot.At(x + 205, y + 14);

    dlg->resize(800, 500);
    Pump(500);
    int w = 0, h = 0;
    dlg->get_size(w, h);
    EXPECT_GE(w, 1000);
    EXPECT_GE(h, 650);

    dlg->PostLauncherMessage(fl::kCodeEnterGameView, 0);  // already there: nothing
    Pump(200);
    EXPECT_TRUE(dlg->IsGameView());
    dlg->PostLauncherMessage(fl::kCodeLeaveGameView, 0);
    ASSERT_TRUE(PumpUntil([&] { return !dlg->IsGameView(); }, 3000));
}

TEST_F(WindowFixture, TheUpdateStartsOncePerRun) {
    dlg->PostLauncherMessage(fl::kCodeStartUpdate, 0);
    dlg->PostLauncherMessage(fl::kCodeStartUpdate, 0);
    Pump(300);
    EXPECT_EQ(progress, 1);
}

TEST(DesktopShortcut, MadeOnlyForAnInstallFolderOtherThanTheDesktop) {
    TempDir desktop;
    ScopedEnv env("XDG_DESKTOP_DIR", desktop.Path());
    EXPECT_FALSE(fl::CreateDesktopShortcut("", "zeltFenwa")) << "started directly: no quote";
    EXPECT_FALSE(fl::CreateDesktopShortcut(desktop.Path() + "/\"", "zeltFenwa")) << "installed on the desktop";
    EXPECT_FALSE(Exists(desktop / "zeltFenwa.desktop"));
    ASSERT_TRUE(fl::CreateDesktopShortcut(" /opt/fenwa/\" -x", "zeltFenwa"));
    const std::string entry = ReadFile(desktop / "zeltFenwa.desktop");
    EXPECT_NE(entry.find("Exec=\"/opt/fenwa/FLauncher_zelt.exe\""), std::string::npos) << entry;
    EXPECT_NE(entry.find("Name=zeltFenwa"), std::string::npos);
}

TEST_F(WindowFixture, ThePlatformLogoOpensTheMainSiteOncePerClick) {
    const std::string log = dir / "opened.txt";
    WriteFile(dir / "browser", "#!/bin/sh\necho \"$1\" >> '" + log + "'\n");
    chmod((dir / "browser").c_str(), 0755);
    ScopedEnv browser("FLAUNCHER_BROWSER", dir / "browser");
    system(("xdotool mousemove " + std::to_string(left + 708 + 93) + " " + std::to_string(top + 510 + 23) +
            " click 1").c_str());
    ASSERT_TRUE(PumpUntil([&] { return !ReadFile(log).empty(); }, 5000));
    Pump(1000);
    EXPECT_EQ(ReadFile(log), server.Url("/") + "\n") << "pressed and released: one page";
}

TEST_F(WindowFixture, LeavingFromTheGameViewStartsTheLauncherWithItsInstallFolder) {
    const std::string args = dir / "args.txt";
    WriteFile(dir / "launcher", "#!/bin/sh\nprintf '%s' \"$1\" > '" + args + "'\n");
    chmod((dir / "launcher").c_str(), 0755);
    app.m_strModulePathOverride = dir / "launcher";
    app.SetLauncherFolder("/opt/fenwa/");
    dlg->PostLauncherMessage(fl::kCodeEnterGameView, 0);
    ASSERT_TRUE(PumpUntil([&] { return dlg->IsGameView(); }, 3000));
    dlg->DestroyWindow();
    // The shell makes the file before it writes to it: wait for its words.
    ASSERT_TRUE(WaitUntil([&] { return !ReadFile(args).empty(); }, 5000));
    EXPECT_EQ(ReadFile(args), "/opt/fenwa/\"") << "told the install folder as the relaunch tells it";
}
