#pragma once
// The launcher's one top-level window: borderless and skinned, with a fixed
// login view (1030 x 650, see-through where the skin is magenta) and a
// resizable game view (caption bar, caption buttons, link bar, settings button).
// Every command reaches it as a posted message handled on the UI thread.
#include <gtkmm/drawingarea.h>
#include <gtkmm/fixed.h>
#include <gtkmm/window.h>

#include <functional>
#include <memory>

#include "app/MainWindow.h"
#include "app/PlatformConfig.h"
#include "controls/MultiButtonBitmap.h"
#include "controls/TBButtonBitmap6.h"
#include "ui/MessagePump.h"
#include "web/DialogWeb.h"

namespace fl {

class CWobrApp;

// The window's one container. Its children are placed and sized by the
// window's layout, never the other way round: the area asks for no size of its
// own, so the window's smallest size is what its size hints say (a child sized
// to the window must not keep the window from shrinking).
class CFreeArea : public Gtk::Fixed {
protected:
    void get_preferred_width_vfunc(int& minimum, int& natural) const override { minimum = natural = 1; }
    void get_preferred_height_vfunc(int& minimum, int& natural) const override { minimum = natural = 1; }
};

class CWobrDlg : public Gtk::Window, public IMainWindow, public IButtonOwner {
public:
    enum SkinButton { kHome, kForum, kRecharge, kService, kClose, kMinimize, kLogo, kButtonCount };

    CWobrDlg(CWobrApp& app, PlatformConfig config);
    ~CWobrDlg() override;

    // Builds the window, shows the login view and loads the page (OnInitDialog).
    void OnInitDialog(const std::string& argText);

    // IMainWindow
    void PostLauncherMessage(int code, long wParam) override;
    void PostClose() override;
    CGameParams& GameParams() override { return m_GameParams; }
    void Destroy() override { DestroyWindow(); }
    // IButtonOwner
    void PostNotify(unsigned message, uintptr_t wParam, long lParam) override;
    void SetMouseCapture(bool) override {}
    void RepaintStrip(CMultiButtonBitmap&) override { m_canvas.queue_draw(); }

    void DestroyWindow();
    // The page host leaves the login area for the progress panel.
    void GiveUpLoginArea();
    CDialogWeb& PageHost() { return m_web; }
    bool IsGameView() const { return m_bGameView; }
    Gtk::Fixed& Area() { return m_fixed; }
    // What the window manager last said.
    bool IsMaximizedNow() const { return m_bMaximized; }

    // Hooks of the front end: the update start (code 106), the settings menu,
    // the confirm dialog and the cache cleaner; quitting the main loop.
    std::function<void()> m_fnShowProgress;
    std::function<void()> m_fnShowSettingsMenu;
    std::function<void(int mode)> m_fnShowConfirm;
    std::function<void()> m_fnShowCacheCleaner;
    std::function<void()> m_fnQuit;
    // Whether "hide" may hide (a notification-area icon brings the window back);
    // otherwise it minimises.
    bool m_bCanHide = false;
    bool IsDestroyed() const { return m_bDestroyed; }

    // The command handlers (public for the front end's dialogs and tests).
    void OnMessage(unsigned message, uintptr_t wParam, long lParam);
    void OnLauncher(int code, long wParam);
    void RunMenuCommand(int command);
    void OnCancel();

    CMultiButtonBitmap m_settingsButton, m_captionButtons, m_linkBar;
    CTBButtonBitmap6 m_buttons[kButtonCount];
    int m_bUpdateStarted = 0;
    int m_bPageInLoginArea = 1;

protected:
    bool on_delete_event(GdkEventAny*) override;
    bool on_configure_event(GdkEventConfigure* event) override;
    bool on_window_state_event(GdkEventWindowState* event) override;

private:
    // Painting and layout (WobrDlgPaint.cpp).
    bool OnPaint(const Cairo::RefPtr<Cairo::Context>& cr);
    void PaintLoginView(cairo_t* cr, int w, int h);
    void PaintGameView(cairo_t* cr, int w, int h);
    void Layout(bool force = false);
    // Game view: a window taller than the work area is moved to its corner and fitted.
    void FitToWorkArea();
    // Game view: maximised until the window manager says so (it may drop a request).
    void EnsureMaximized(int triesLeft);
    void ApplyShape();
    void CenterLoginView();
    // Mouse (WobrDlgMouse.cpp).
    bool OnButtonPress(GdkEventButton* event);
    bool OnButtonRelease(GdkEventButton* event);
    bool OnMotion(GdkEventMotion* event);
    bool OnQueryTooltip(int x, int y, bool keyboard, const Glib::RefPtr<Gtk::Tooltip>& tip);
    int HitZone(int x, int y) const;
    void FeedControls(MouseMsg message, int x, int y);
    // Commands (WobrDlgCommands.cpp).
    void OnSkinButton(uintptr_t wParam, long lParam);
    void OnCaptionButton(uintptr_t wParam, long lParam);
    void EnterGameView();
    void LeaveGameView();
    void ToggleMaximize();
    void Quit();

    CWobrApp& m_app;
    PlatformConfig m_config;
    CGameParams m_GameParams;
    CMessagePump m_pump;
    CFreeArea m_fixed;
    Gtk::DrawingArea m_canvas;
    CDialogWeb m_web;
    bool m_bGameView = false;
    bool m_bResizable = false;
    bool m_bDestroyed = false;
    bool m_bMaximized = false;
    sigc::connection m_ensureMaximized;
    int m_nLastWidth = 0, m_nLastHeight = 0;
    int m_nReleaseX = -1, m_nReleaseY = -1;
    static constexpr int kBorder = 6;
    static constexpr int kMinWidth = 1000, kMinHeight = 650;
    static constexpr int kLoginWidth = 1030, kLoginHeight = 650;
};

}  // namespace fl
