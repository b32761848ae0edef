#include "app/WobrApp.h"

#include <algorithm>

#include <atomic>

#include "app/AppMessage.h"
#include "platform/Folders.h"
#include "app/LoadingMovie.h"
#include "app/SharedTexts.h"
#include "app/StartupChecks.h"
#include "app/StatusText.h"
#include "platform/CrashFilter.h"
#include "platform/ModulePath.h"
#include "platform/RunLog.h"
#include "platform/Trace.h"
#include "update/Downloader.h"
#include "update/integrity/PinnedKeys.h"
#include "web/PageValue.h"

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
    m_bStopping = true;
    m_hStepEvent.Set();
    if (m_stepThread.joinable()) m_stepThread.join();
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
    {
        std::lock_guard lock(m_csPageValues);
        m_strReportUrl.clear();
    }

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
    {
        std::lock_guard lock(m_csPercent);
        m_nPercentFloor = 0;  // a new stage counts from its start
    }
    m_nStep.store(step);
    m_hStepEvent.Set();
}

void CWobrApp::SetPageValues(const std::string& text) {
    auto values = std::make_shared<PageValues>();
    values->qid = GetPageValue(text, "qid");
    values->serverid = GetPageValue(text, "serverid");
    values->pt = GetPageValue(text, "pt");
    // The account's values never reach the run's log.
    AddLogSecret(values->qid);
    AddLogSecret(values->pt);
    std::string reportUrl = GetPageValue(text, "logoutRecord");
    // The report thread copies both under the same lock, so it sees old or new, whole.
    std::lock_guard lock(m_csPageValues);
    m_pPageValues = std::move(values);
    m_strReportUrl = std::move(reportUrl);
}

ReportValues CWobrApp::GetReportValues() const {
    std::lock_guard lock(m_csPageValues);
    return {m_strReportUrl, m_pPageValues};
}

void CWobrApp::ShowStatusText(const std::string& text) {
    // The run's log gets what the player read, but not every step of a counter
    // (its end only), nor the same text again and again (one per unpacked entry).
    bool log = TraceEnabled();
    if (!log) {
        const bool counter = !CounterStem(text).empty();
        std::lock_guard lock(m_csStatusLog);
        log = (!counter || CounterComplete(text)) && text != m_strLastLogged;
        if (log) m_strLastLogged = text;
    }
    if (log) OutputDebugStringW("status: " + text);
    if (m_pProgressHost) m_pProgressHost->ShowStatusText(text);
}

void CWobrApp::SetProgressPercent(int percent) {
    // Never backwards within a stage (a half that starts over, two workers
    // reporting): the floor is checked and the figure drawn under one lock, so
    // a worker with an older figure cannot draw after one with a newer.
    std::lock_guard lock(m_csPercent);
    percent = std::max(percent, m_nPercentFloor);
    m_nPercentFloor = percent;
    if (m_pProgressHost) m_pProgressHost->SetProgressPercent(percent);
}

void CWobrApp::ShowRateLine(const std::string& text) {
    if (m_pProgressHost) m_pProgressHost->ShowRateLine(text);
}

void CWobrApp::ShowTransferNote(const std::string& text) {
    if (m_pProgressHost) m_pProgressHost->ShowTransferNote(text);
}

void CWobrApp::SetProgressRange(int lower, int upper) {
    std::lock_guard lock(m_csPercent);
    m_nPercentFloor = 0;
    if (m_pProgressHost) m_pProgressHost->SetProgressRange(lower, upper);
}

void CWobrApp::ShowMessage(const std::string& text) { ShowAppMessage(text); }

UpdateSettings CWobrApp::EngineSettings() const {
    UpdateSettings settings;
    settings.strPinnedKeys = m_strPinnedKeys;
    settings.nLimitRate = m_nLimitRate;
    settings.strLauncherFolder = m_strLauncherFolder;
    return settings;
}

void CWobrApp::UpdateFinished() {
    if (m_pProgressHost) m_pProgressHost->Finish();
}

void CWobrApp::FinishUpdate() {
    if (m_pProgressHost) m_pProgressHost->Abort();
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
