#pragma once
// The runner's host of the update engine and of the login fetch: what the
// engine tells goes to the terminal, the step reports and the runner's stand-in
// window; no application object is made.
#include <memory>
#include <mutex>
#include <string>

#include "app/ProgressRelay.h"
#include "app/StepReports.h"
#include "cli/CliFrontEnd.h"
#include "update/Downloader.h"
#include "update/UpdateHost.h"
#include "web/LoginFetch.h"

namespace flcli {

class CCliHost : public fl::IUpdateHost, public fl::ILoginHost {
public:
    // `settings.strLauncherFolder` is the install folder; the run folder lies in `dataFolder`.
    CCliHost(CCliWindow& window, CCliProgress& progress, fl::UpdateSettings settings, std::string dataFolder,
             bool startClient);
    ~CCliHost() override;

    // The engine for the window's login values, made once (null: the values are unusable).
    fl::CDownloader* Engine();
    fl::CDownloader* ExistingEngine();
    // Stops the engine's transfers (a close was asked for).
    void Shutdown();
    fl::CStepReports& StepReports() { return m_stepReports; }

    // fl::IUpdateHost
    void ShowStatusText(const std::string& text) override { m_progress.ShowStatusText(text); }
    void SetProgressPercent(int percent) override { m_progress.SetProgressPercent(percent); }
    void SetProgressRange(int lower, int upper) override { m_progress.SetProgressRange(lower, upper); }
    void ShowRateLine(const std::string& text) override { m_progress.ShowRateLine(text); }
    void ShowTransferNote(const std::string& text) override { m_progress.ShowTransferNote(text); }
    void ShowMessage(const std::string& text) override;
    void SetStep(int step) override;
    std::string GetResFolder() const override;
    void SetResFolder(const std::string& folder) override;
    void LauncherProven(const std::string& why) override;
    void UpdateFinished() override { m_progress.Finish(); }
    void LaunchGameClient() override;
    void PostCloseToMainWindow() override { m_window.PostClose(); }
    // The runner does not start a launcher: the next start of the window runs the new one.
    void RestartLauncher() override;
    void FinishUpdate() override;

    // fl::ILoginHost
    fl::IMainWindow* GetMainDlg() const override { return &m_window; }
    void SetPageValues(const std::string& text) override { m_stepReports.SetPageValues(text); }

private:
    CCliWindow& m_window;
    fl::CProgressRelay m_progress;
    fl::CStepReports m_stepReports;
    const fl::UpdateSettings m_settings;
    const std::string m_strDataFolder;
    const bool m_bStartClient;
    mutable std::mutex m_csResFolder;
    std::string m_strResFolder;
    std::mutex m_csEngine;  // held while the engine is made: a close waits for it
    std::unique_ptr<fl::CDownloader> m_pEngine;
};

}  // namespace flcli
