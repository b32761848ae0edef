#pragma once
// The yes/no confirmation: mode 0 refresh while in game, 1 quit while the game
// starts, 2 quit while in game. Yes posts code 104 with the mode; No posts nothing.
#include <gtkmm/dialog.h>
#include <gtkmm/label.h>

namespace fl {

class IMainWindow;

class CDialogSelect : public Gtk::Dialog {
public:
    CDialogSelect(Gtk::Window& parent, IMainWindow* mainWindow, int mode);
    int Mode() const { return m_nMode; }
    static std::string TextFor(int mode);
    void OnOK();
    void OnCancel();

private:
    void OnResponse(int response);
    int m_nMode;
    IMainWindow* m_pMainWnd;
    Gtk::Label m_text;
};

}  // namespace fl
