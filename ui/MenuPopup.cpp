#include "ui/MenuPopup.h"

#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

#include <vector>

namespace fl {

namespace {

struct Popup {
    CMenuEx* menu = nullptr;
    GtkWidget* window = nullptr;
    std::vector<CRect> rects;
    int hover = -1;
    int result = 0;
    bool done = false;
    GMainLoop* loop = nullptr;
};

Popup* g_popup = nullptr;

void Close(Popup* p, int result) {
    if (p->done) return;
    p->done = true;
    p->result = result;
    if (p->loop) g_main_loop_quit(p->loop);
}

int ItemAt(Popup* p, int x, int y) {
    for (size_t i = 0; i < p->rects.size(); ++i)
        if (p->rects[i].PtInRect(x, y)) return int(i);
    return -1;
}

gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer data) {
    auto* p = static_cast<Popup*>(data);
    for (size_t i = 0; i < p->rects.size(); ++i) {
        const CMenuItemRecord& item = p->menu->Item(int(i));
        unsigned state = 0;
        if (int(i) == p->hover) state |= ODS_SELECTED;
        if (item.nState & MF_GRAYED) state |= ODS_GRAYED;
        if (item.nState & MF_CHECKED) state |= ODS_CHECKED;
        p->menu->DrawItem(cr, item, p->rects[i], state);
    }
    // A thin frame around the whole menu.
    cairo_set_source_rgb(cr, 0.55, 0.55, 0.55);
    cairo_set_line_width(cr, 1);
    const int w = gtk_widget_get_allocated_width(p->window), h = gtk_widget_get_allocated_height(p->window);
    cairo_rectangle(cr, 0.5, 0.5, w - 1, h - 1);
    cairo_stroke(cr);
    return TRUE;
}

gboolean OnMotion(GtkWidget* w, GdkEventMotion* e, gpointer data) {
    auto* p = static_cast<Popup*>(data);
    int index = ItemAt(p, int(e->x), int(e->y));
    if (index >= 0 && p->menu->Item(index).IsSeparator()) index = -1;
    if (index != p->hover) {
        p->hover = index;
        gtk_widget_queue_draw(w);
    }
    return TRUE;
}

gboolean OnRelease(GtkWidget*, GdkEventButton* e, gpointer data) {
    auto* p = static_cast<Popup*>(data);
    const int w = gtk_widget_get_allocated_width(p->window), h = gtk_widget_get_allocated_height(p->window);
    if (e->x < 0 || e->y < 0 || e->x >= w || e->y >= h) {
        Close(p, 0);  // a click outside dismisses
        return TRUE;
    }
    const int index = ItemAt(p, int(e->x), int(e->y));
    if (index < 0) return TRUE;
    const CMenuItemRecord& item = p->menu->Item(index);
    if (item.IsSeparator() || (item.nState & (MF_GRAYED | MF_DISABLED)) || item.bSubMenu) return TRUE;
    Close(p, item.nId);
    return TRUE;
}

gboolean OnPress(GtkWidget*, GdkEventButton* e, gpointer data) {
    auto* p = static_cast<Popup*>(data);
    const int w = gtk_widget_get_allocated_width(p->window), h = gtk_widget_get_allocated_height(p->window);
    if (e->x < 0 || e->y < 0 || e->x >= w || e->y >= h) Close(p, 0);
    return TRUE;
}

gboolean OnKey(GtkWidget*, GdkEventKey* e, gpointer data) {
    if (e->keyval == GDK_KEY_Escape) Close(static_cast<Popup*>(data), 0);
    return TRUE;
}

}  // namespace

int TrackPopupMenu(CMenuEx& menu, int screenX, int screenY, const std::function<void()>& onShown) {
    Popup p;
    p.menu = &menu;
    int width = 0, y = 0;
    for (int i = 0; i < menu.GetItemCount(); ++i) {
        int w = 0, h = 0;
        menu.MeasureItem(menu.Item(i), &w, &h);
        width = std::max(width, w);
        p.rects.push_back({0, y, 0, y + h});
        y += h;
    }
    width = std::max(width + 16, 120);
    for (auto& r : p.rects) r.right = width;

    p.window = gtk_window_new(GTK_WINDOW_POPUP);
    gtk_window_set_type_hint(GTK_WINDOW(p.window), GDK_WINDOW_TYPE_HINT_POPUP_MENU);
    gtk_widget_set_app_paintable(p.window, TRUE);
    gtk_widget_set_size_request(p.window, width, y);
    gtk_window_move(GTK_WINDOW(p.window), screenX, screenY);
    gtk_widget_add_events(p.window, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                        GDK_KEY_PRESS_MASK);
    g_signal_connect(p.window, "draw", G_CALLBACK(OnDraw), &p);
    g_signal_connect(p.window, "motion-notify-event", G_CALLBACK(OnMotion), &p);
    g_signal_connect(p.window, "button-press-event", G_CALLBACK(OnPress), &p);
    g_signal_connect(p.window, "button-release-event", G_CALLBACK(OnRelease), &p);
    g_signal_connect(p.window, "key-press-event", G_CALLBACK(OnKey), &p);
    gtk_widget_show(p.window);

    // Every click goes to the menu while it is open, so one outside closes it.
    GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
    gdk_seat_grab(seat, gtk_widget_get_window(p.window), GDK_SEAT_CAPABILITY_ALL, TRUE, nullptr, nullptr, nullptr,
                  nullptr);
    g_popup = &p;
    if (onShown) onShown();
    if (!p.done) {
        p.loop = g_main_loop_new(nullptr, FALSE);
        g_main_loop_run(p.loop);
        g_main_loop_unref(p.loop);
    }
    g_popup = nullptr;
    gdk_seat_ungrab(seat);
    gtk_widget_destroy(p.window);
    return p.result;
}

void ChoosePopupItem(int commandId) {
    if (g_popup) Close(g_popup, commandId);
}

void DismissPopup() {
    if (g_popup) Close(g_popup, 0);
}

bool PopupIsOpen() { return g_popup != nullptr; }

}  // namespace fl
