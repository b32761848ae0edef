#include "cli/CliHost.h"

#include "app/AppMessage.h"
#include "app/ClientParams.h"
#include "platform/ModulePath.h"
#include "platform/Trace.h"
#include "update/launcher/LauncherHealth.h"
#include "update/launcher/LauncherName.h"

namespace flcli {

CCliHost::CCliHost(CCliWindow& window, CCliProgress& progress, fl::UpdateSettings settings, std::string dataFolder,
                   bool startClient)
    : m_window(window), m_settings(std::move(settings)), m_strDataFolder(std::move(dataFolder)),
      m_bStartClient(startClient) {
    m_progress.SetHost(&progress);
}

CCliHost::~CCliHost() {
    Shutdown();
    std::lock_guard lock(m_csEngine);
    m_pEngine.reset();
}

fl::CDownloader* CCliHost::Engine() {
    std::lock_guard lock(m_csEngine);
    if (m_pEngine) return m_pEngine.get();
    auto engine = std::make_unique<fl::CDownloader>(*this, m_settings);
    if (!engine->Initialize(m_window.GameParams().Copy())) return nullptr;  // a later call tries again
    m_pEngine = std::move(engine);
    return m_pEngine.get();
}

fl::CDownloader* CCliHost::ExistingEngine() {
    std::lock_guard lock(m_csEngine);
    return m_pEngine.get();
}

void CCliHost::Shutdown() {
    // Stopped, not destroyed: the update thread may still be inside the task.
    std::lock_guard lock(m_csEngine);
    if (m_pEngine) m_pEngine->Shutdown();
}

void CCliHost::ShowMessage(const std::string& text) { fl::ShowAppMessage(text); }

void CCliHost::SetStep(int step) {
    m_progress.NewStage();
    m_stepReports.SetStep(step);
}

std::string CCliHost::GetResFolder() const {
    std::lock_guard lock(m_csResFolder);
    return m_strResFolder;
}

void CCliHost::SetResFolder(const std::string& folder) {
    std::lock_guard lock(m_csResFolder);
    m_strResFolder = folder;
}

void CCliHost::LauncherProven(const std::string& why) { fl::MarkLauncherProven(fl::GetModulePath(), why); }

void CCliHost::LaunchGameClient() {
    SetStep(7);
    const std::string text = m_window.GameParams().Copy();
    if (text.empty() || !m_bStartClient) return;
    // The runner stands where the relaunched launcher stands: its client is the data folder's.
    fl::StartGameClient(m_strDataFolder + "/" + GetResFolder(), text, m_settings.strLauncherFolder + fl::kLauncherFileName);
}

void CCliHost::RestartLauncher() {
    fl::OutputDebugStringW("a new launcher was fetched; the next start runs it");
    PostCloseToMainWindow();
}

void CCliHost::FinishUpdate() {
    m_progress.Abort();
    PostCloseToMainWindow();
}

}  // namespace flcli
