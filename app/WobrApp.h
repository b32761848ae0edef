#pragma once
// The application object: start-up, the login record, step reports, the
// progress operations and the start of the update task.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/MainWindow.h"
#include "app/ProgressHost.h"
#include "app/ProgressRelay.h"
#include "app/StepReports.h"
#include "platform/Event.h"
#include "platform/InstanceLock.h"
#include "update/UpdateHost.h"
#include "web/LoginFetch.h"

namespace fl {

class CDownloader;

// The launcher's host of the update engine: what the engine tells goes to the
// progress holder, the step reports and the main window.
class CWobrApp : public IUpdateHost, public ILoginHost {
public:
    CWobrApp();
    ~CWobrApp() override;
    CWobrApp(const CWobrApp&) = delete;
    CWobrApp& operator=(const CWobrApp&) = delete;

    // The application object of this process (the last one constructed).
    static CWobrApp* Current();

    enum class InitResult { Failed, EndWithoutWindow, RunWindow };
    // The start-up sequence. RunWindow: the front end runs its loop until the
    // main window quits, then calls ExitInstance.
    InitResult InitInstance(int argc, char** argv);
    int ExitInstance();

    // Step 12 of start-up: creates the main window (null = none).
    std::function<IMainWindow*(CWobrApp&)> m_fnCreateMainWindow;
    // Where the engine's progress operations go (the progress holder).
    void SetProgressHost(IProgressHost* host) { m_progress.SetHost(host); }
    // Test hook: replaces the module path start-up reads (empty = the real one).
    std::string m_strModulePathOverride;
    // Pause between two attempts of the relaunch copy.
    int m_nRelaunchRetryDelayMs = 1000;
    // Run without a window (tests of the whole application): no client start, and
    // a restart after a self-update only ends the run instead of starting a launcher.
    bool m_bSkipClientLaunch = false;
    bool m_bHeadless = false;
    // The keys a signed hash list is accepted from (the build's; tests set their own).
    std::string m_strPinnedKeys;
    // A cap in bytes a second for every transfer of the engine together (0: none).
    long long m_nLimitRate = 0;
    // What the engine is given: the keys, the cap and the install folder above.
    UpdateSettings EngineSettings() const;

    // Login record and steps.
    void SetStep(int step) override;
    void SetPageValues(const std::string& text) override { m_stepReports.SetPageValues(text); }
    ReportValues GetReportValues() const { return m_stepReports.GetReportValues(); }
    void StartStepReports() { m_stepReports.Start(); }
    void UpdataStepLog(int step) { m_stepReports.UpdataStepLog(step); }

    // Progress operations, forwarded to the progress holder.
    void ShowStatusText(const std::string& text) override;
    void SetProgressPercent(int percent) override;
    void ShowTransferNote(const std::string& text) override;
    void ShowRateLine(const std::string& text) override;
    void SetProgressRange(int lower, int upper) override;
    void ShowMessage(const std::string& text) override;
    void UpdateFinished() override;
    void FinishUpdate() override;

    // The update task, run on the update thread.
    void StartDownloader();
    CDownloader* GetDownloader(const std::string& pageValueText);
    CDownloader* Downloader();
    // Stops the engine's transfers and threads (the application is closing).
    void ShutdownDownloader();

    // Hand-off between programs.
    bool RelaunchFromDataFolder(const std::string& argText);
    void RestartLauncher() override;
    // The running launcher did what a launcher is for: one on probation stays.
    void LauncherProven(const std::string& why) override;
    // The line a start that went back to the launcher before left for the player (taken once).
    std::string TakeLauncherNotice();
    void LaunchGameClient() override;

    void PostCloseToMainWindow() override;

    // Accessors.
    std::string GetResFolder() const override;
    void SetResFolder(const std::string& folder) override;
    const std::string& GetLauncherFolder() const { return m_strLauncherFolder; }
    void SetLauncherFolder(const std::string& folder) { m_strLauncherFolder = folder; }
    IMainWindow* GetMainDlg() const override { return m_pMainDlg; }
    void SetMainDlg(IMainWindow* dlg) { m_pMainDlg = dlg; }
    std::string GetModulePathForStartup() const;
    // Where the client and its parameter file live: the module folder of the
    // running copy (a test may name another).
    std::string m_strClientBaseOverride;
    std::string GetClientBaseFolder() const;

private:
    // Read by the update thread while the UI thread may clear it at the end.
    std::atomic<IMainWindow*> m_pMainDlg{nullptr};
    CProgressRelay m_progress;
    mutable std::mutex m_csResFolder;
    std::string m_strResFolder;
    std::string m_strLauncherFolder;
    CStepReports m_stepReports;

    std::unique_ptr<CInstanceLock> m_pInstanceLock;
    std::mutex m_csDownloader;
    std::unique_ptr<CDownloader> m_pDownloader;
};

}  // namespace fl
