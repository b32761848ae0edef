// The main window: set-up, messages, the views and the end of the window.
#include "ui/WobrDlg.h"

#include <glibmm/main.h>
#include <gtk/gtk.h>

#include <algorithm>

#include "app/SharedTexts.h"
#include "app/WobrApp.h"
#include "controls/SkinImages.h"
#include "platform/ModulePath.h"
#include "platform/ProcessStart.h"
#include "platform/Trace.h"
#include "ui/DesktopShortcut.h"

namespace fl {

namespace {

struct ButtonSetup {
    int normal, hover, pressed;
};
// In the order of CWobrDlg::SkinButton.
const ButtonSetup kButtonImages[CWobrDlg::kButtonCount] = {
    {270, 271, 272},  // home
    {276, 277, 278},  // forum
    {273, 274, 275},  // recharge
    {279, 280, 281},  // customer service
    {219, 220, 221},  // close
    {223, 224, 222},  // minimize
    {262, 262, 262},  // platform logo
};

GdkPixbuf* IconPixbuf(int size) {
    CSkinImage icon;
    if (!LoadIconImage(&icon, size)) return nullptr;
    return gdk_pixbuf_get_from_surface(icon.Surface(), 0, 0, size, size);
}

}  // namespace

CWobrDlg::CWobrDlg(CWobrApp& app, PlatformConfig config)
    : m_app(app),
      m_config(std::move(config)),
      m_pump([this](unsigned m, uintptr_t w, long l) { OnMessage(m, w, l); }),
      m_web(app, m_config.strAdvertisingHost) {}

CWobrDlg::~CWobrDlg() {
    m_ensureMaximized.disconnect();  // no check may run on a window that is gone
    DestroyWindow();
}

void CWobrDlg::OnInitDialog(const std::string& argText) {
    m_bUpdateStarted = 0;
    // The icon at every size the desktop may ask for.
    GList* icons = nullptr;
    for (int size : {16, 32, 48, 64, 128, 256})
        if (GdkPixbuf* p = IconPixbuf(size)) icons = g_list_append(icons, p);
    gtk_window_set_icon_list(GTK_WINDOW(gobj()), icons);
    g_list_free_full(icons, g_object_unref);

    m_settingsButton.SetColorKey(0xFF00FF);
    m_settingsButton.SetBitmaps(229, 230, 225, 229);
    m_settingsButton.SetOwner(this);
    m_settingsButton.m_nCount = 1;
    m_settingsButton.m_nWidths[0] = 44;
    m_settingsButton.SetMessage(WM_CAPTIONBUTTON);
    m_settingsButton.SetCaption(g_strSettings);

    m_captionButtons.SetColorKey(0xFF00FF);
    m_captionButtons.SetBitmaps(176, 177, 178, 176);
    m_captionButtons.SetOwner(this);
    m_captionButtons.m_nCount = 3;
    m_captionButtons.m_nWidths[0] = 28;
    m_captionButtons.m_nWidths[1] = 29;
    m_captionButtons.m_nWidths[2] = 33;
    m_captionButtons.SetMessage(WM_CAPTIONBUTTON);

    m_linkBar.SetColorKey(0xFF00FF);
    m_linkBar.SetBitmaps(190, 189, 191, 190);
    m_linkBar.SetOwner(this);
    m_linkBar.m_nCount = 4;
    const int linkWidths[4] = {28, 29, 30, 30};
    std::copy(linkWidths, linkWidths + 4, m_linkBar.m_nWidths);
    m_linkBar.SetMessage(WM_CAPTIONBUTTON);

    for (int i = 0; i < kButtonCount; ++i) {
        m_buttons[i].EnableButton(true);
        m_buttons[i].SetOwner(this);
        m_buttons[i].SetMessage(WM_SKINBUTTON);
        m_buttons[i].SetImages(kButtonImages[i].normal, kButtonImages[i].hover, kButtonImages[i].pressed,
                               kButtonImages[i].normal);
        m_buttons[i].m_clrKey = 0xFF00FF;
        m_buttons[i].m_bFlag2 = true;
    }

    // Borderless and painted by us; see-through where a compositor allows it.
    set_decorated(false);
    set_app_paintable(true);
    if (auto visual = get_screen()->get_rgba_visual()) gtk_widget_set_visual(GTK_WIDGET(gobj()), visual->gobj());
    set_title(g_strTitle);
    m_canvas.add_events(Gdk::BUTTON_PRESS_MASK | Gdk::BUTTON_RELEASE_MASK | Gdk::POINTER_MOTION_MASK |
                        Gdk::LEAVE_NOTIFY_MASK);
    m_canvas.set_has_tooltip(true);
    m_canvas.signal_draw().connect(sigc::mem_fun(*this, &CWobrDlg::OnPaint));
    m_canvas.signal_button_press_event().connect(sigc::mem_fun(*this, &CWobrDlg::OnButtonPress));
    m_canvas.signal_button_release_event().connect(sigc::mem_fun(*this, &CWobrDlg::OnButtonRelease));
    m_canvas.signal_motion_notify_event().connect(sigc::mem_fun(*this, &CWobrDlg::OnMotion));
    m_canvas.signal_query_tooltip().connect(sigc::mem_fun(*this, &CWobrDlg::OnQueryTooltip));
    m_fixed.put(m_canvas, 0, 0);
    add(m_fixed);

    m_web.m_pMainWnd = this;
    m_web.Create();
    m_fixed.put(*Glib::wrap(m_web.Widget()), 268, 129);

    CenterLoginView();
    show_all();
    ApplyShape();
    Layout(true);

    OutputDebugStringW("登陆地址:" + m_config.HomePage());
    m_web.NavigateTo(m_config.HomePage());
    CreateDesktopShortcut(argText, g_strTitle);
}

void CWobrDlg::CenterLoginView() {
    Gdk::Geometry hints{};
    hints.min_width = hints.max_width = kLoginWidth;
    hints.min_height = hints.max_height = kLoginHeight;
    set_geometry_hints(*this, hints, Gdk::HINT_MIN_SIZE | Gdk::HINT_MAX_SIZE);
    resize(kLoginWidth, kLoginHeight);
    auto screen = get_screen();
    move((screen->get_width() - kLoginWidth) / 2, (screen->get_height() - kLoginHeight) / 2);
}

void CWobrDlg::PostLauncherMessage(int code, long wParam) { m_pump.Post(WM_LAUNCHER, uintptr_t(wParam), code); }

void CWobrDlg::PostClose() { m_pump.Post(WM_CLOSE, 0, 0); }

void CWobrDlg::PostNotify(unsigned message, uintptr_t wParam, long lParam) { m_pump.Post(message, wParam, lParam); }

void CWobrDlg::OnMessage(unsigned message, uintptr_t wParam, long lParam) {
    if (m_bDestroyed) return;
    switch (message) {
        case WM_LAUNCHER:
            OnLauncher(int(lParam), long(wParam));
            break;
        case WM_SKINBUTTON:
            OnSkinButton(wParam, lParam);
            break;
        case WM_CAPTIONBUTTON:
            OnCaptionButton(wParam, lParam);
            break;
        case WM_CLOSE:
            OnCancel();
            break;
        default:
            break;
    }
}

bool CWobrDlg::on_delete_event(GdkEventAny*) {
    OnCancel();
    return true;  // the close path decides
}

bool CWobrDlg::on_configure_event(GdkEventConfigure* event) {
    const bool r = Gtk::Window::on_configure_event(event);
    FitToWorkArea();
    Layout();
    return r;
}

bool CWobrDlg::on_window_state_event(GdkEventWindowState* event) {
    const bool r = Gtk::Window::on_window_state_event(event);
    m_bMaximized = (event->new_window_state & GDK_WINDOW_STATE_MAXIMIZED) != 0;
    if (m_bMaximized) m_ensureMaximized.disconnect();  // the request went through: no more asking
    if (!m_bGameView && !m_bMaximized) {
        // Back in the login view: whatever the window manager restored, the view is 1030 x 650, centred.
        int w = 0, h = 0;
        get_size(w, h);
        if (w != kLoginWidth || h != kLoginHeight) CenterLoginView();
    }
    ApplyShape();
    Layout(true);
    return r;
}

void CWobrDlg::FitToWorkArea() {
    if (!m_bGameView || m_bMaximized) return;
    auto window = get_window();
    if (!window) return;
    GdkMonitor* monitor = gdk_display_get_monitor_at_window(gdk_window_get_display(window->gobj()), window->gobj());
    if (!monitor) return;
    GdkRectangle area{};
    gdk_monitor_get_workarea(monitor, &area);
    int w = 0, h = 0;
    get_size(w, h);
    if (h > area.height) {
        move(area.x, area.y);
        resize(area.width, area.height);
    } else if (w < kMinWidth || h < kMinHeight) {
        const int nw = std::max(w, kMinWidth), nh = std::max(h, kMinHeight);
        resize(nw, nh);
        move(area.x + (area.width - nw) / 2, area.y + (area.height - nh) / 2);
    }
}

void CWobrDlg::EnsureMaximized(int triesLeft) {
    // A request made while the window manager is still busy with the window can
    // be lost: ask again until it reports the window maximised.
    m_ensureMaximized.disconnect();
    m_ensureMaximized = Glib::signal_timeout().connect(
        [this, triesLeft] {
            if (m_bDestroyed || !m_bGameView || m_bMaximized || triesLeft <= 0) return false;
            maximize();
            EnsureMaximized(triesLeft - 1);
            return false;
        },
        400);
}

void CWobrDlg::EnterGameView() {
    if (m_bGameView) return;
    m_bGameView = true;
    m_app.LauncherProven("it showed the game view");
    m_bResizable = true;
    // No hide and show around it: a window withdrawn and mapped again in quick
    // succession loses its maximised state to the window manager.
    Gdk::Geometry hints{};
    hints.min_width = kMinWidth;
    hints.min_height = kMinHeight;
    set_geometry_hints(*this, hints, Gdk::HINT_MIN_SIZE);
    ApplyShape();
    maximize();
    EnsureMaximized(5);
    Layout(true);
}

void CWobrDlg::LeaveGameView() {
    m_ensureMaximized.disconnect();
    m_bGameView = false;
    m_bResizable = false;
    unmaximize();
    CenterLoginView();
    m_web.NavigateTo(m_config.HomePage());
    ApplyShape();
    Layout(true);
}

void CWobrDlg::ToggleMaximize() {
    // The player's choice wins over a maximise request still being repeated.
    m_ensureMaximized.disconnect();
    if (m_bMaximized)
        unmaximize();
    else
        maximize();
}

void CWobrDlg::GiveUpLoginArea() {
    if (GtkWidget* web = m_web.Widget()) {
        gtk_widget_set_size_request(web, 1, 1);
        gtk_fixed_move(GTK_FIXED(m_fixed.gobj()), web, 1, 1);
        gtk_widget_hide(web);
    }
    m_web.Stop();
    m_bPageInLoginArea = 0;
}

void CWobrDlg::Quit() {
    hide();
    if (m_fnQuit)
        m_fnQuit();
    else
        gtk_main_quit();
}

void CWobrDlg::DestroyWindow() {
    if (m_bDestroyed) return;
    m_bDestroyed = true;
    m_web.DestroyWindow();
    // Leaving from the game view starts a new launcher. It is told the install
    // folder the way the relaunch tells it, so it finds the same "platform.ini".
    if (m_bGameView) {
        std::string why;
        const std::string folder = m_app.GetLauncherFolder();
        if (ShellOpenProgram(m_app.GetModulePathForStartup(), folder.empty() ? "" : folder + "\"", &why) != 0)
            OutputDebugStringW(why);
    }
    hide();
}

}  // namespace fl
