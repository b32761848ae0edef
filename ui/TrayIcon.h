#pragma once
// The notification-area icon with the settings menu's commands, so a hidden
// window can always be brought back. Where the desktop has no notification
// area, "hide" minimises instead (the window then comes back from the task bar).
#include <functional>

typedef struct _AppIndicator AppIndicator;
typedef struct _GtkWidget GtkWidget;

namespace fl {

class CTrayIcon {
public:
    // `run` carries out a settings-menu command id.
    explicit CTrayIcon(std::function<void(int)> run);
    ~CTrayIcon();
    // Whether a notification area answers on this desktop session.
    static bool NotificationAreaAvailable();
    bool IsShown() const { return m_pIndicator != nullptr; }

private:
    std::function<void(int)> m_fnRun;
    AppIndicator* m_pIndicator = nullptr;
    GtkWidget* m_pMenu = nullptr;
};

}  // namespace fl
