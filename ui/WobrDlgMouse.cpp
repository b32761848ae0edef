// The main window and the mouse: skin buttons, moving, resizing, tool tips.
#include <gtkmm/tooltip.h>

#include "app/SharedTexts.h"
#include "ui/WobrDlg.h"

namespace fl {

int CWobrDlg::HitZone(int x, int y) const {
    const int w = get_width(), h = get_height(), b = kBorder;
    const bool left = x < b, right = x >= w - b, top = y < b, bottom = y >= h - b;
    if (top && left) return 1;
    if (top && right) return 3;
    if (top) return 2;
    if (bottom && left) return 7;
    if (bottom && right) return 9;
    if (bottom) return 8;
    if (left) return 4;
    if (right) return 6;
    return 0;
}

void CWobrDlg::FeedControls(MouseMsg message, int x, int y) {
    if (m_bGameView) {
        m_settingsButton.OnMouse(message, x, y);
        m_captionButtons.OnMouse(message, x, y);
        m_linkBar.OnMouse(message, x, y);
    } else {
        for (auto& b : m_buttons) b.OnMouse(message, x, y);
    }
}

bool CWobrDlg::OnButtonPress(GdkEventButton* event) {
    if (event->button != 1) return true;
    const int x = int(event->x), y = int(event->y);
    if (event->type == GDK_2BUTTON_PRESS) {
        // Double-click on the skin: maximise or restore (game view, outside the caption controls).
        if (m_bGameView && !m_captionButtons.Contains(x, y) && !m_settingsButton.Contains(x, y) &&
            !m_linkBar.Contains(x, y))
            ToggleMaximize();
        return true;
    }
    if (event->type != GDK_BUTTON_PRESS) return true;
    FeedControls(MouseMsg::LButtonDown, x, y);
    if (m_bResizable && !m_bMaximized) {
        static const Gdk::WindowEdge edges[10] = {Gdk::WINDOW_EDGE_NORTH_WEST, Gdk::WINDOW_EDGE_NORTH_WEST,
                                                  Gdk::WINDOW_EDGE_NORTH,      Gdk::WINDOW_EDGE_NORTH_EAST,
                                                  Gdk::WINDOW_EDGE_WEST,       Gdk::WINDOW_EDGE_WEST,
                                                  Gdk::WINDOW_EDGE_EAST,       Gdk::WINDOW_EDGE_SOUTH_WEST,
                                                  Gdk::WINDOW_EDGE_SOUTH,      Gdk::WINDOW_EDGE_SOUTH_EAST};
        // The window manager resizes; the size hints stop it at 1000 x 650.
        if (int zone = HitZone(x, y)) {
            begin_resize_drag(edges[zone], 1, int(event->x_root), int(event->y_root), event->time);
            return true;
        }
    }
    if (m_bGameView) {
        if (m_settingsButton.Contains(x, y) || m_captionButtons.Contains(x, y) || m_linkBar.Contains(x, y))
            return true;
    } else {
        // The logo too: a press on it is the start of a click, not of a window move.
        for (int i : {kHome, kRecharge, kForum, kService, kMinimize, kClose, kLogo})
            if (m_buttons[i].m_rect.PtInRect(x, y)) return true;
    }
    if (!m_bMaximized) begin_move_drag(1, int(event->x_root), int(event->y_root), event->time);
    return true;
}

bool CWobrDlg::OnButtonRelease(GdkEventButton* event) {
    if (event->button != 1) return true;
    m_nReleaseX = int(event->x);
    m_nReleaseY = int(event->y);
    FeedControls(MouseMsg::LButtonUp, m_nReleaseX, m_nReleaseY);
    return true;
}

bool CWobrDlg::OnMotion(GdkEventMotion* event) {
    const int x = int(event->x), y = int(event->y);
    FeedControls(MouseMsg::Move, x, y);
    if (auto window = m_canvas.get_window()) {
        const char* name = nullptr;
        if (m_bResizable && !m_bMaximized) {
            static const char* cursors[10] = {nullptr,    "nw-resize", "n-resize", "ne-resize", "w-resize",
                                              nullptr,    "e-resize",  "sw-resize", "s-resize", "se-resize"};
            name = cursors[HitZone(x, y)];
        }
        if (m_bGameView && m_linkBar.Contains(x, y)) name = "pointer";
        window->set_cursor(name ? Gdk::Cursor::create(get_display(), name) : Glib::RefPtr<Gdk::Cursor>());
    }
    return true;
}

bool CWobrDlg::OnQueryTooltip(int x, int y, bool, const Glib::RefPtr<Gtk::Tooltip>& tip) {
    if (!m_bGameView) return false;
    if (m_settingsButton.Contains(x, y)) {
        tip->set_text(g_strSettings);
        return true;
    }
    switch (m_captionButtons.HitTest(x, y)) {
        case 0: tip->set_text(g_strMinimize); return true;
        case 1: tip->set_text(g_strMaximize); return true;
        case 2: tip->set_text(g_strClose); return true;
        default: return false;
    }
}

}  // namespace fl
