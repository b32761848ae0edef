// Starting the update task on the update thread.
#include "app/AppMessage.h"
#include "platform/ErrorFile.h"
#include "app/WobrApp.h"
#include "update/Downloader.h"

namespace fl {

CDownloader* CWobrApp::GetDownloader(const std::string& pageValueText) {
    std::lock_guard lock(m_csDownloader);
    if (m_pDownloader) return m_pDownloader.get();
    auto engine = std::make_unique<CDownloader>(*this, EngineSettings());
    if (!engine->Initialize(pageValueText)) return nullptr;  // a later call tries again
    m_pDownloader = std::move(engine);
    return m_pDownloader.get();
}

CDownloader* CWobrApp::Downloader() {
    std::lock_guard lock(m_csDownloader);
    return m_pDownloader.get();
}

void CWobrApp::ShutdownDownloader() {
    // Stopped, not destroyed: the update thread may still be inside the task.
    std::lock_guard lock(m_csDownloader);
    if (m_pDownloader) m_pDownloader->Shutdown();
}

void CWobrApp::StartDownloader() {
    IMainWindow* dlg = m_pMainDlg;
    if (!dlg) {
        WriteErrorLine("StartDownloader err");
        ShowAppMessage("获取服务器数据失败，请稍后再尝试。");
        return;
    }
    if (CDownloader* engine = GetDownloader(dlg->GameParams().Copy())) engine->StartDownLoadTask();
}

}  // namespace fl
