// The update task from start to end, on the update thread.
#include "platform/Clock.h"
#include "platform/Trace.h"
#include "update/Downloader.h"
#include "update/PathSafety.h"

namespace fl {

void CDownloader::StartDownLoadTask() {
    const uint32_t taskStart = timeGetTime();
    m_bAbort = false;
    m_bChanged = false;
    const CCapturedState captured(*this);

    if (!CheckLauncherVersion()) {
        Tell("登录器版本检测失败!");
        return;
    }
    uint32_t t = timeGetTime();
    // Whole for the list in force, by what was recorded when it became so: no list, index or file is fetched.
    m_bWholeAtStart = FolderWholeForListInForce();
    // A release published as chunks: only the chunks the folder lacks are fetched.
    const bool chunked = !m_bWholeAtStart && UpdateFromChunks();
    if (m_bAbort || m_bStopping) return;
    if (m_bWholeAtStart) {
        TraceF("the folder is whole for release %s: nothing to fetch (%d ms)", ShortName(m_hashList.Release()).c_str(),
               int(timeGetTime() - t));
    } else if (chunked) {
        TraceF("chunked update: %d ms", int(timeGetTime() - t));
    } else {
        if (!UpdatePack()) {
            Tell("更新包下载失败!");
            return;
        }
        TraceF("下载整包总共花费时间:%d", int(timeGetTime() - t));
        if (!DownloadVersionList()) {
            Tell("版本文件下载失败!");
            return;
        }
        TraceF("文件数量:%d", int(m_mapServerFiles.size()));
        t = timeGetTime();
        OutputDebugStringW("开始对比下载文件!");
        UpdateFiles();
        TraceF("对比文件差异并下载差异文件列表总花费时间:%d", int(timeGetTime() - t));
    }
    TraceF("总下载时间:%d", int(timeGetTime() - taskStart));
    if (m_bSuccess && !m_bAbort && !m_bStopping) {
        OutputDebugStringW(":m_bSuccess() end");
        OnDownloadComplete();
    }
    m_gauge.EndStage();
    m_host.SetStep(6);
    OutputDebugStringW(":StartDownLoadTask() end");
}

void CDownloader::OnDownloadComplete() {
    // Success is only ever said of a whole folder, whatever path brought it.
    m_nTaskKind = TASK_IDLE;
    std::string file;
    const std::string missing = m_bWholeAtStart ? std::string() : FolderNotWhole(file);
    if (!missing.empty()) {
        m_bSuccess = false;
        Tell(Format("文件[%s]下载失败!", ShortName(file.empty() ? "version.pat" : file).c_str()));
        TellCause("the update ended, but " + missing, "");
        return;
    }
    const std::string done = "更新完成,正在启动游戏主程序...";
    m_host.ShowStatusText(done);
    OutputDebugStringW(done);
    // The release is whole here: what it removed and the launcher put here goes.
    const int removed = m_bWholeAtStart ? 0 : RemoveWhatTheReleaseRemoved(true, [](const std::string& line) { OutputDebugStringW(line); });
    if (removed > 0) m_bChanged = true;  // the saved list must no longer name them
    if (m_bChanged) {
        // Saved through ".temp" files flushed to disk and renamed: a crash never
        // leaves a list that claims files the run folder lacks. A list that was
        // not saved means the update did not complete: the client is not started.
        m_nTaskKind = TASK_SAVE_VERSION;
        if (!FetchToFile("version.pat") || !m_bLastFetchOk || !FetchToFile("PackVersion.pat") || !m_bLastFetchOk) {
            m_bSuccess = false;
            OutputDebugStringW("OnDownloadComplete: the version lists were not saved");
            return;
        }
        m_journal.Remove();  // the saved list holds what it knew
    }
    if (m_bAbort || m_bStopping) return;
    if (!m_bWholeAtStart) KeepInstalledList();
    m_bCompleted = true;
    m_host.LauncherProven("it completed an update");
    m_host.UpdateFinished();
    m_host.LaunchGameClient();
    m_host.PostCloseToMainWindow();
    OutputDebugStringW("OnDownloadComplete");
}

}  // namespace fl
