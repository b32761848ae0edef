#pragma once
// What the core asks of the main window. The windowed front end implements it
// with the skinned window; the headless runner with a small stand-in.
#include "web/GameParams.h"

namespace fl {

// Command codes of the window's launcher message (lParam).
enum LauncherCode : int {
    kCodeSettingsMenu1 = 1,
    kCodeSettingsMenu2 = 2,
    kCodeEnterGameView = 101,
    kCodeLeaveGameView = 102,
    kCodeLoadHomePage = 103,
    kCodeConfirmed = 104,
    kCodeStartUpdate = 106,
};

class IMainWindow {
public:
    virtual ~IMainWindow() = default;
    // Posts WM_LAUNCHER: callable from any thread, handled later on the UI thread.
    virtual void PostLauncherMessage(int code, long wParam) = 0;
    // Posts WM_CLOSE: the window's close path runs on the UI thread.
    virtual void PostClose() = 0;
    // The record holding the last login answer (m_GameParams).
    virtual CGameParams& GameParams() = 0;
    // DestroyWindow: called by ExitInstance on the UI thread.
    virtual void Destroy() = 0;
};

}  // namespace fl
