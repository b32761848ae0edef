#include "ui/LauncherFrontEnd.h"

#include <glibmm/main.h>
#include <gtk/gtk.h>

#include "app/Folders.h"
#include "app/PlatformConfig.h"
#include "app/WobrApp.h"
#include "ui/DialogSelect.h"
#include "ui/GtkMessageBoxes.h"
#include "ui/ProgressHost.h"
#include "ui/WobrDlg.h"

namespace fl {

CLauncherFrontEnd::CLauncherFrontEnd(CWobrApp& app, CGtkMessageBoxes& boxes) : m_app(app), m_boxes(boxes) {}

CLauncherFrontEnd::~CLauncherFrontEnd() { Finish(); }

IMainWindow* CLauncherFrontEnd::Create(const std::string& argText) {
    // "platform.ini" lies beside the launcher in its install folder.
    const std::string folder = m_app.GetLauncherFolder().empty() ? GetModuleFolder() : m_app.GetLauncherFolder();
    m_pDlg = std::make_unique<CWobrDlg>(m_app, LoadPlatformConfig(folder));
    m_pProgress = std::make_unique<CProgressHost>(m_app);
    m_app.SetProgressHost(m_pProgress.get());
    m_boxes.SetOwner(m_pDlg.get());

    CWobrDlg* dlg = m_pDlg.get();
    dlg->m_fnShowProgress = [this] { m_pProgress->ShowProgress(*m_pDlg); };
    dlg->m_fnQuit = [] { gtk_main_quit(); };
    dlg->m_fnShowConfirm = [this, dlg](int mode) {
        auto* confirm = new CDialogSelect(*dlg, dlg, mode);
        // Deleted once its own signal has returned.
        confirm->signal_hide().connect([confirm] { Glib::signal_idle().connect_once([confirm] { delete confirm; }); });
        confirm->show();
        confirm->present();
    };
    dlg->OnInitDialog(argText);
    return dlg;
}

void CLauncherFrontEnd::Finish() {
    if (m_pProgress) m_pProgress->Shutdown();
    m_boxes.SetOwner(nullptr);
}

}  // namespace fl
