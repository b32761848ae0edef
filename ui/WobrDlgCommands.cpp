// What the main window does when its buttons, its page or its dialogs ask.
#include "app/SharedTexts.h"
#include "app/WobrApp.h"
#include "controls/MenuEx.h"
#include "platform/MessageBox.h"
#include "platform/ProcessStart.h"
#include "platform/Trace.h"
#include "ui/WobrDlg.h"

namespace fl {

namespace {

void Open(const std::string& url) {
    if (url.empty()) return;
    if (int err = OpenInBrowser(url)) TraceF("cannot open %s: %d", url.c_str(), err);
}

}  // namespace

void CWobrDlg::OnLauncher(int code, long wParam) {
    switch (code) {
        case kCodeEnterGameView:
            EnterGameView();
            break;
        case kCodeLeaveGameView:
            LeaveGameView();
            break;
        case kCodeLoadHomePage:
            if (m_web.HasWindow()) m_web.NavigateTo(m_config.HomePage());
            break;
        case kCodeConfirmed:
            if (wParam == 0) {
                if (m_web.HasWindow()) m_web.RefreshPage();
            } else {
                Quit();
            }
            break;
        case kCodeStartUpdate:
            if (m_bUpdateStarted) break;
            m_bUpdateStarted = 1;
            if (m_fnShowProgress) m_fnShowProgress();
            break;
        case kCodeSettingsMenu1:
            if (auto* menu = reinterpret_cast<CMenuEx*>(wParam)) {
                menu->ModifyItem(ID_MENU_REFRESH, MF_OWNERDRAW, ID_MENU_REFRESH, g_strRefresh);
                menu->ModifyItem(ID_MENU_HIDE_RESTORE, MF_OWNERDRAW, ID_MENU_HIDE_RESTORE, g_strHideRestore);
                menu->ModifyItem(ID_MENU_CLEAR_CACHE, MF_OWNERDRAW, ID_MENU_CLEAR_CACHE, g_strClearCache);
                menu->ModifyItem(ID_MENU_EXIT, MF_OWNERDRAW, ID_MENU_EXIT, g_strExit);
            }
            break;
        case kCodeSettingsMenu2:
            RunMenuCommand(int(wParam));
            break;
        default:
            break;
    }
}

void CWobrDlg::RunMenuCommand(int command) {
    switch (command) {
        case ID_MENU_REFRESH:
            if (m_web.HasWindow()) m_web.RefreshPage();
            break;
        case ID_MENU_HIDE_RESTORE:
            if (!m_bCanHide) {
                // Nothing could bring a hidden window back: minimise instead.
                if (get_window() && (get_window()->get_state() & Gdk::WINDOW_STATE_ICONIFIED))
                    deiconify();
                else
                    iconify();
            } else if (get_visible()) {
                hide();
            } else {
                show();
            }
            break;
        case ID_MENU_EXIT:
            OnCancel();
            break;
        case ID_MENU_CLEAR_CACHE:
            if (m_fnShowCacheCleaner) m_fnShowCacheCleaner();
            break;
        default:
            break;  // dismissed: nothing
    }
}

void CWobrDlg::OnSkinButton(uintptr_t wParam, long lParam) {
    if (wParam == 1) {
        m_canvas.queue_draw();
        return;
    }
    int which = -1;
    for (int i = 0; i < kButtonCount; ++i)
        if (wParam == reinterpret_cast<uintptr_t>(&m_buttons[i])) which = i;
    // A release counts as a click only over the button that was pressed (the
    // platform logo too: one click opens its page once).
    if (lParam != 1 || which < 0 || !m_buttons[which].m_rect.PtInRect(m_nReleaseX, m_nReleaseY)) return;
    switch (which) {
        case kHome: Open(m_config.GameHomePage()); break;
        case kRecharge: Open(m_config.RechargePage()); break;
        case kService: Open(m_config.CustomerServicePage()); break;
        case kForum: Open(m_config.ForumPage()); break;
        case kClose: OnCancel(); break;
        case kMinimize: iconify(); break;
        case kLogo: Open(m_config.MainSitePage()); break;
        default: break;
    }
}

void CWobrDlg::OnCaptionButton(uintptr_t wParam, long lParam) {
    if (wParam == reinterpret_cast<uintptr_t>(&m_settingsButton)) {
        if (m_fnShowSettingsMenu) m_fnShowSettingsMenu();
    } else if (wParam == reinterpret_cast<uintptr_t>(&m_captionButtons)) {
        if (lParam == 0) iconify();
        if (lParam == 1) ToggleMaximize();
        if (lParam == 2) OnCancel();
    } else if (wParam == reinterpret_cast<uintptr_t>(&m_linkBar)) {
        if (lParam == 0) Open(m_config.GameHomePage());
        if (lParam == 1) Open(g_strSecondLink);
        if (lParam == 2) Open(m_config.CustomerServicePage());
        if (lParam == 3) Open(m_config.ForumPage());
    }
}

void CWobrDlg::OnCancel() {
    if (!m_bGameView) {
        PostLauncherMessage(kCodeConfirmed, 1);  // the login view ends without asking
        return;
    }
    // The page may supply the exit question; the answer arrives later.
    m_web.CallPageFunction("logout", [this](bool) {
        if (m_bDestroyed) return;
        if (g_strScriptResult.empty()) {
            if (m_fnShowConfirm) m_fnShowConfirm(2);
            return;
        }
        if (ShowMessageBox(g_strScriptResult, g_strExitCaption, BoxIcon::None, true) == BoxResult::Yes)
            PostLauncherMessage(kCodeConfirmed, 2);
    });
}

}  // namespace fl
