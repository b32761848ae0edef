#include "app/WobrApp.h"


#include <atomic>

#include "app/AppMessage.h"
#include "platform/Folders.h"
#include "app/LoadingMovie.h"
#include "app/SharedTexts.h"
#include "app/StartupChecks.h"
#include "platform/CrashFilter.h"
#include "platform/ModulePath.h"
#include "platform/Trace.h"
#include "update/Downloader.h"
#include "update/integrity/PinnedKeys.h"

namespace fl {

namespace {
std::atomic<CWobrApp*> g_pApp{nullptr};
}

CWobrApp* CWobrApp::Current() { return g_pApp.load(); }

CWobrApp::CWobrApp() : m_strPinnedKeys(BuildPinnedKeys()) {
    g_pApp.store(this);
    // No home to put the data folder in: the player is told and the window closes.
    SetNoHomeHandler([] {
        ShowAppMessage("获取运行路径失败");
        if (CWobrApp* app = CWobrApp::Current()) app->PostCloseToMainWindow();
    });
}

CWobrApp::~CWobrApp() {
    ShutdownDownloader();
    CWobrApp* self = this;
    g_pApp.compare_exchange_strong(self, nullptr);
}

std::string CWobrApp::GetModulePathForStartup() const {
    return m_strModulePathOverride.empty() ? GetModulePath() : m_strModulePathOverride;
}

CWobrApp::InitResult CWobrApp::InitInstance(int argc, char** argv) {
    // 1. The crash filter writes next to the running module.
    InstallCrashFilter(GetModuleFolder() + "luncher.dmp");

    // 2. One launcher at a time. Only a time-out refuses: a failed wait goes on.
    m_pInstanceLock = std::make_unique<CInstanceLock>(kLauncherMutexName);
    if (m_pInstanceLock->Acquire(5000) == CInstanceLock::Result::TimedOut) {
        ShowMessageBox("当前系统中还有“更新工具”正在运行，请先关闭！！！", "", BoxIcon::Error);
        m_pInstanceLock.reset();
        return InitResult::Failed;
    }

    // 3. The install folder handed over by the relaunch.
    const std::string argText = JoinArguments(argc, argv);
    m_strLauncherFolder = ParseLauncherFolder(argText);
    OutputDebugStringW(m_strLauncherFolder);

    // 4. Step reports run for the life of the process.
    StartStepReports();

    // 5. The published name is required of an install-folder launcher.
    const std::string modulePath = GetModulePathForStartup();
    if (modulePath.empty()) return InitResult::Failed;
    if (PathIsExe(modulePath) && !CheckExecutableName(modulePath)) {
        ShowMessageBox("请不要将登录器改名!", "Durnik");
        return InitResult::Failed;
    }

    // 6. The install-folder launcher hands over to its copy in the data folder.
    if (RelaunchFromDataFolder(argText)) return InitResult::EndWithoutWindow;

    // 7. The loading movie.
    if (!ExtractLoadingMovie()) {
        ShowAppMessage("加载资源失败!");
        return InitResult::EndWithoutWindow;
    }

    // 10. Texts of the windows.
    FillSharedTexts();
    m_stepReports.ForgetReportUrl();

    // 12. The main window.
    if (!m_fnCreateMainWindow) return InitResult::Failed;
    m_pMainDlg = m_fnCreateMainWindow(*this);
    return m_pMainDlg ? InitResult::RunWindow : InitResult::Failed;
}

int CWobrApp::ExitInstance() {
    if (IMainWindow* dlg = m_pMainDlg.exchange(nullptr)) dlg->Destroy();
    return 0;
}

void CWobrApp::SetStep(int step) {
    m_progress.NewStage();
    m_stepReports.SetStep(step);
}

void CWobrApp::ShowStatusText(const std::string& text) { m_progress.ShowStatusText(text); }
void CWobrApp::SetProgressPercent(int percent) { m_progress.SetProgressPercent(percent); }
void CWobrApp::ShowRateLine(const std::string& text) { m_progress.ShowRateLine(text); }
void CWobrApp::ShowTransferNote(const std::string& text) { m_progress.ShowTransferNote(text); }
void CWobrApp::SetProgressRange(int lower, int upper) { m_progress.SetProgressRange(lower, upper); }

void CWobrApp::ShowMessage(const std::string& text) { ShowAppMessage(text); }

UpdateSettings CWobrApp::EngineSettings() const {
    UpdateSettings settings;
    settings.strPinnedKeys = m_strPinnedKeys;
    settings.nLimitRate = m_nLimitRate;
    settings.strLauncherFolder = m_strLauncherFolder;
    return settings;
}

void CWobrApp::UpdateFinished() { m_progress.Finish(); }

void CWobrApp::FinishUpdate() {
    m_progress.Abort();
    PostCloseToMainWindow();
}

void CWobrApp::PostCloseToMainWindow() {
    if (IMainWindow* dlg = m_pMainDlg) dlg->PostClose();
}

std::string CWobrApp::GetResFolder() const {
    std::lock_guard lock(m_csResFolder);
    return m_strResFolder;
}

void CWobrApp::SetResFolder(const std::string& folder) {
    std::lock_guard lock(m_csResFolder);
    m_strResFolder = folder;
}

std::string CWobrApp::GetClientBaseFolder() const {
    return m_strClientBaseOverride.empty() ? GetModuleFolder() : m_strClientBaseOverride;
}

}  // namespace fl
