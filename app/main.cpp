// FLauncher_zelt.exe: the start-up sequence, then the skinned window when a
// display is there. Without one, message boxes print to standard error and
// the run ends after start-up.
#include <gtk/gtk.h>
#include <gtkmm/main.h>

#include <memory>

#include "platform/Folders.h"
#include "app/PlatformConfig.h"
#include "app/SharedTexts.h"
#include "app/StartupChecks.h"
#include "app/WobrApp.h"
#include "platform/RunLog.h"
#include "platform/Trace.h"
#include "update/Downloader.h"
#include "ui/GtkMessageBoxes.h"
#include "ui/LauncherFrontEnd.h"
#include "ui/MessagePump.h"
#include "ui/WobrDlg.h"

int main(int argc, char** argv) {
    const std::string argText = fl::JoinArguments(argc, argv);
    fl::CWobrApp app;
    // No display is not an error: start-up still runs (and relaunches).
    const bool display = gtk_init_check(nullptr, nullptr);
    fl::CGtkMessageBoxes boxes;
    std::unique_ptr<fl::CLauncherFrontEnd> frontEnd;
    if (display) {
        Gtk::Main::init_gtkmm_internals();
        fl::MarkUiThread();
        fl::SetMessageBoxHost(&boxes);
        app.m_fnCreateMainWindow = [&](fl::CWobrApp& a) -> fl::IMainWindow* {
            frontEnd = std::make_unique<fl::CLauncherFrontEnd>(a, boxes);
            return frontEnd->Create(argText);
        };
    }
    const auto result = app.InitInstance(argc, argv);
    int status = result == fl::CWobrApp::InitResult::Failed ? 1 : 0;
    if (result == fl::CWobrApp::InitResult::RunWindow) {
        // The copy that shows the window runs the update: its run has a log.
        fl::OpenRunLog(fl::GetDataFolder());
        fl::TraceF("launcher %s", fl::kLauncherVersion);
        // A start that went back to the launcher before says so, once.
        const std::string notice = app.TakeLauncherNotice();
        if (!notice.empty()) boxes.ShowNotice(notice, fl::kGameName);
        gtk_main();
        fl::EndUiLoop();  // a box an engine thread asks for now is traced, not waited for
        status = app.ExitInstance();
        frontEnd->Finish();
        fl::CDownloader* engine = app.Downloader();
        fl::TraceF("result: %s", !engine                  ? "no update ran"
                                 : engine->m_bCompleted   ? "the update completed, the client was started"
                                                          : "the update did not complete");
        fl::CloseRunLog();
    }
    fl::SetMessageBoxHost(nullptr);
    return status;
}
