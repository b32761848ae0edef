#include "ui/TrayIcon.h"

#include <gio/gio.h>
#include <gtk/gtk.h>
#include <libayatana-appindicator/app-indicator.h>

#include "app/SharedTexts.h"
#include "controls/MenuEx.h"

namespace fl {

bool CTrayIcon::NotificationAreaAvailable() {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return false;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
        g_variant_new("(s)", "org.kde.StatusNotifierWatcher"), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 500,
        nullptr, nullptr);
    gboolean owned = FALSE;
    if (reply) {
        g_variant_get(reply, "(b)", &owned);
        g_variant_unref(reply);
    }
    g_object_unref(bus);
    return owned;
}

CTrayIcon::CTrayIcon(std::function<void(int)> run) : m_fnRun(std::move(run)) {
    if (!NotificationAreaAvailable()) return;
    m_pIndicator = app_indicator_new("fenwazelt-launcher", "applications-games", APP_INDICATOR_CATEGORY_APPLICATION_STATUS);
    m_pMenu = gtk_menu_new();
    g_object_ref_sink(m_pMenu);
    const struct {
        const std::string* text;
        int id;
    } items[] = {{&g_strRefresh, ID_MENU_REFRESH},
                 {&g_strHideRestore, ID_MENU_HIDE_RESTORE},
                 {&g_strClearCache, ID_MENU_CLEAR_CACHE},
                 {nullptr, 0},
                 {&g_strExit, ID_MENU_EXIT}};
    for (const auto& item : items) {
        GtkWidget* entry = item.text ? gtk_menu_item_new_with_label(item.text->c_str()) : gtk_separator_menu_item_new();
        if (item.text) {
            g_object_set_data(G_OBJECT(entry), "command", GINT_TO_POINTER(item.id));
            g_signal_connect(entry, "activate", G_CALLBACK(+[](GtkMenuItem* mi, gpointer self) {
                                 auto* tray = static_cast<CTrayIcon*>(self);
                                 tray->m_fnRun(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(mi), "command")));
                             }),
                             this);
        }
        gtk_menu_shell_append(GTK_MENU_SHELL(m_pMenu), entry);
    }
    gtk_widget_show_all(m_pMenu);
    app_indicator_set_menu(m_pIndicator, GTK_MENU(m_pMenu));
    app_indicator_set_title(m_pIndicator, g_strTitle.c_str());
    app_indicator_set_status(m_pIndicator, APP_INDICATOR_STATUS_ACTIVE);
}

CTrayIcon::~CTrayIcon() {
    if (m_pIndicator) g_object_unref(m_pIndicator);
    if (m_pMenu) g_object_unref(m_pMenu);
}

}  // namespace fl
