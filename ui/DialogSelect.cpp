#include "ui/DialogSelect.h"

#include "app/MainWindow.h"
#include "app/SharedTexts.h"

namespace fl {

std::string CDialogSelect::TextFor(int mode) {
    switch (mode) {
        case 0: return g_strRefreshInGame;
        case 1: return g_strQuitStarting;
        case 2: return g_strQuitInGame;
        default: return "正在游戏中，是否确认退出游戏？";
    }
}

CDialogSelect::CDialogSelect(Gtk::Window& parent, IMainWindow* mainWindow, int mode)
    : Gtk::Dialog(g_strTitle, parent, false), m_nMode(mode), m_pMainWnd(mainWindow), m_text(TextFor(mode)) {
    set_position(Gtk::WIN_POS_CENTER_ON_PARENT);
    set_resizable(false);
    m_text.set_margin_top(14);
    m_text.set_margin_bottom(10);
    m_text.set_margin_start(16);
    m_text.set_margin_end(16);
    get_content_area()->pack_start(m_text);
    add_button("是(_Y)", Gtk::RESPONSE_YES)->set_use_underline(true);
    add_button("否(_N)", Gtk::RESPONSE_NO)->set_use_underline(true);
    set_default_response(Gtk::RESPONSE_YES);
    signal_response().connect(sigc::mem_fun(*this, &CDialogSelect::OnResponse));
    show_all_children();
}

void CDialogSelect::OnResponse(int response) {
    if (response == Gtk::RESPONSE_YES)
        OnOK();
    else
        OnCancel();
}

void CDialogSelect::OnOK() {
    if (m_pMainWnd) m_pMainWnd->PostLauncherMessage(kCodeConfirmed, m_nMode);
    hide();
}

void CDialogSelect::OnCancel() { hide(); }

}  // namespace fl
