#pragma once
// The cache cleaner: what to clean (the browser's cache, the Flash Player's
// data), and "YES" typed before anything is done. The choices and the text
// stay for the next opening.
#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/dialog.h>
#include <gtkmm/entry.h>
#include <gtkmm/label.h>
#include <gtkmm/window.h>

#include <functional>
#include <memory>

namespace fl {

class CDialogStatus : public Gtk::Window {
public:
    explicit CDialogStatus(Gtk::Window& parent);

private:
    Gtk::Label m_text;
};

class CDialogSetting {
public:
    // The host of the resource server (for the Flash data), asked when cleaning.
    explicit CDialogSetting(std::function<std::string()> resourceHost);
    ~CDialogSetting();

    // Destroys an open window and makes a new one over `parent`.
    void Open(Gtk::Window& parent);
    void DestroyWindow();
    void OnOK();
    void OnCancel();
    bool IsOpen() const { return m_pDialog != nullptr; }

    // The members keep their values while the object lives.
    std::string m_strConfirm;
    bool m_bCleanBrowser = false;
    bool m_bCleanFlash = true;

    // The widgets of the open window (tests drive them).
    Gtk::Entry* Entry() { return m_pEntry.get(); }
    Gtk::CheckButton* BrowserBox() { return m_pBrowser.get(); }
    Gtk::CheckButton* FlashBox() { return m_pFlash.get(); }
    Gtk::Dialog* Dialog() { return m_pDialog.get(); }
    CDialogStatus* Status() { return m_pStatus.get(); }
    int m_nCleanings = 0;  // runs that passed the check

private:
    void ClearBrowserCache();

    std::function<std::string()> m_fnResourceHost;
    std::unique_ptr<Gtk::Dialog> m_pDialog;
    std::unique_ptr<Gtk::Entry> m_pEntry;
    std::unique_ptr<Gtk::CheckButton> m_pBrowser, m_pFlash;
    std::unique_ptr<Gtk::Label> m_pWarning, m_pTypeYes;
    std::unique_ptr<CDialogStatus> m_pStatus;
};

}  // namespace fl
