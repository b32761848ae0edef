#pragma once
// The windowed front end: creates the main window and connects it with the
// application (the update start, the progress panel, the dialogs).
#include <memory>
#include <string>
#include <thread>

#include "platform/Event.h"

namespace fl {

class CWobrApp;
class CWobrDlg;
class CGtkMessageBoxes;
class IMainWindow;
class CProgressHost;
class CDialogSetting;
class CTrayIcon;
class CDialogSelect;

class CLauncherFrontEnd {
public:
    CLauncherFrontEnd(CWobrApp& app, CGtkMessageBoxes& boxes);
    ~CLauncherFrontEnd();
    // Step 12 of start-up: the main window, shown with its page loading.
    IMainWindow* Create(const std::string& argText);
    // After the main loop: the update thread is stopped and joined.
    void Finish();
    CWobrDlg* Window() { return m_pDlg.get(); }
    CProgressHost* Progress() { return m_pProgress.get(); }
    CDialogSetting* CacheCleaner() { return m_pCleaner.get(); }
    // Opens the settings menu under the settings button and runs the choice.
    void ShowSettingsMenu();
    // The resource server's host, for the Flash data.
    std::string ResourceHost() const;
    // The confirm dialog that is up, if any.
    CDialogSelect* Confirm() { return m_pConfirm; }

private:
    CWobrApp& m_app;
    CGtkMessageBoxes& m_boxes;
    std::unique_ptr<CWobrDlg> m_pDlg;
    std::unique_ptr<CProgressHost> m_pProgress;
    std::unique_ptr<CDialogSetting> m_pCleaner;
    std::unique_ptr<CTrayIcon> m_pTray;
    bool m_bFinished = false;
    CDialogSelect* m_pConfirm = nullptr;  // owned by itself: deleted after it is hidden
    void CloseConfirm();
};

}  // namespace fl
