#include "ui/LauncherFrontEnd.h"

#include <glibmm/main.h>

#include <cstdint>
#include <utility>
#include <gtk/gtk.h>

#include "platform/Folders.h"
#include "app/PlatformConfig.h"
#include "app/WobrApp.h"
#include "app/SharedTexts.h"
#include "controls/MenuEx.h"
#include "ui/CacheCleaner.h"
#include "ui/DialogSelect.h"
#include "ui/MenuPopup.h"
#include "ui/TrayIcon.h"
#include "update/Downloader.h"
#include "web/NavigationRules.h"
#include "update/net/RateLimit.h"
#include "web/PageValue.h"
#include "ui/GtkMessageBoxes.h"
#include "ui/ProgressHost.h"
#include "ui/WobrDlg.h"

namespace fl {

CLauncherFrontEnd::CLauncherFrontEnd(CWobrApp& app, CGtkMessageBoxes& boxes) : m_app(app), m_boxes(boxes) {}

CLauncherFrontEnd::~CLauncherFrontEnd() { Finish(); }

IMainWindow* CLauncherFrontEnd::Create(const std::string& argText) {
    // "platform.ini" lies beside the launcher in its install folder.
    const std::string folder = m_app.GetLauncherFolder().empty() ? GetModuleFolder() : m_app.GetLauncherFolder();
    const PlatformConfig config = LoadPlatformConfig(folder);
    const long long cap = ParseRate(config.strLimitRate);
    m_app.m_nLimitRate = cap > 0 ? cap : 0;
    m_pDlg = std::make_unique<CWobrDlg>(m_app, config);
    m_pProgress = std::make_unique<CProgressHost>(m_app);
    m_app.SetProgressHost(m_pProgress.get());
    m_boxes.SetOwner(m_pDlg.get());

    CWobrDlg* dlg = m_pDlg.get();
    dlg->m_fnShowProgress = [this] { m_pProgress->ShowProgress(*m_pDlg); };
    dlg->m_fnQuit = [] { gtk_main_quit(); };
    dlg->m_fnShowConfirm = [this, dlg](int mode) {
        // One dialog at a time: the one up in this mode is shown again; one in
        // another mode gives way to a new one.
        if (m_pConfirm && m_pConfirm->Mode() == mode) {
            m_pConfirm->present();
            return;
        }
        CloseConfirm();
        m_pConfirm = new CDialogSelect(*dlg, dlg, mode);
        CDialogSelect* confirm = m_pConfirm;
        confirm->signal_hide().connect([this, confirm] {
            if (m_pConfirm != confirm) return;  // already let go (the front end is finishing)
            m_pConfirm = nullptr;
            // Deleted once its own signal has returned.
            Glib::signal_idle().connect_once([confirm] { delete confirm; });
        });
        confirm->show();
        confirm->present();
    };
    dlg->m_fnShowSettingsMenu = [this] { ShowSettingsMenu(); };
    m_pCleaner = std::make_unique<CDialogSetting>([this] { return ResourceHost(); });
    dlg->m_fnShowCacheCleaner = [this, dlg] { m_pCleaner->Open(*dlg); };
    m_pTray = std::make_unique<CTrayIcon>([dlg](int command) { dlg->PostLauncherMessage(kCodeSettingsMenu2, command); });
    dlg->m_bCanHide = m_pTray->IsShown();

    dlg->OnInitDialog(argText);
    return dlg;
}

std::string CLauncherFrontEnd::ResourceHost() const {
    std::string url;
    if (CDownloader* engine = m_app.Downloader()) url = engine->m_strResUrl;
    if (url.empty() && m_pDlg) url = GetPageValue(m_pDlg->GameParams().Copy(), "rsurl");
    return HostOf(url);
}

void CLauncherFrontEnd::ShowSettingsMenu() {
    CWobrDlg* dlg = m_pDlg.get();
    if (!dlg || !dlg->get_window()) return;
    CMenuEx menu;
    menu.m_nPopupMode = 1;
    if (!menu.LoadMenu(171)) return;
    CMenuEx* sub = menu.GetSubMenu(0);
    if (!sub) return;
    dlg->OnLauncher(kCodeSettingsMenu1, long(reinterpret_cast<uintptr_t>(sub)));
    int x = 0, y = 0;
    dlg->get_window()->get_origin(x, y);
    const CRect& button = dlg->m_settingsButton.m_rect;
    const int command = TrackPopupMenu(*sub, x + button.left, y + button.bottom);
    // The window may have gone while the menu was open: then nothing runs.
    if (m_pDlg && !m_pDlg->IsDestroyed()) m_pDlg->OnLauncher(kCodeSettingsMenu2, command);
}

void CLauncherFrontEnd::CloseConfirm() {
    if (m_pConfirm) m_pConfirm->hide();  // its hide handler lets it go
}

void CLauncherFrontEnd::Finish() {
    if (m_bFinished) return;
    m_bFinished = true;
    if (CDialogSelect* confirm = std::exchange(m_pConfirm, nullptr)) delete confirm;  // no loop runs to do it later
    if (m_pProgress) m_pProgress->Shutdown();
    m_pTray.reset();
    m_pCleaner.reset();
    m_boxes.SetOwner(nullptr);
}

}  // namespace fl
