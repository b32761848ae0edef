#include "update/net/BodySink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "app/Folders.h"
#include "app/WobrApp.h"
#include "platform/FileOps.h"
#include "platform/Trace.h"
#include "update/Downloader.h"
#include "update/PathSafety.h"
#include "update/VersionFiles.h"

namespace fl {

std::string CDownloader::MakeTempName(const std::string& nameIn) const {
    // The local name is exactly the listed name: no part of it is a query.
    const std::string name = nameIn.empty() ? m_strRequest : nameIn;
    if (!IsSafeRelativeName(name)) return {};
    return GetRunFolder(m_nTaskKind == TASK_LAUNCHER_EXE) + NormalizeSeparators(name) + ".temp";
}

long long CDownloader::PrepareBody(long long contentLength) {
    m_nReceived = 0;
    m_nTotalSize = contentLength > 0 ? contentLength : 0;
    const int kind = m_nTaskKind;
    if (kind == TASK_FULL_PACK || kind == TASK_NEW_PACK) {
        const long long size = m_nTotalSize;
        if (size > 1048575)
            m_app.ShowStatusText(Format("检测到%dM更新,开始下载.", int(size >> 20)));
        else
            m_app.ShowStatusText(Format("检测到%dKB更新,开始下载.", int(size >> 10)));
    }
    return m_nTotalSize;
}

CBodySink::~CBodySink() {
    if (m_fd >= 0) close(m_fd);
}

bool CBodySink::OnResponse(const HttpHead& head) {
    if (head.status != 200) return false;  // the send failed: the caller reports it
    m_bResponded = true;
    CDownloader& e = m_engine;
    e.PrepareBody(head.contentLength);
    if (e.m_bSaveToFile) {
        m_strTemp = e.MakeTempName("");
        if (m_strTemp.empty()) {
            e.m_bSuccess = false;  // a name that may not become a path is never stored
            OutputDebugStringW("refused to store " + ShortName(e.m_strRequest));
            m_bFailed = true;
            return false;
        }
        if (!EnsureFolder(ParentOf(m_strTemp))) {
            e.m_bSuccess = false;  // nothing can be written: not a success
            OutputDebugStringW("cannot create the folder of " + m_strTemp);
            m_bDiscard = true;
            return true;
        }
        m_fd = open(m_strTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (m_fd < 0) {
            const std::string text = "写文件" + ShortName(m_strTemp) + "错误！\n文件正在使用中,请先关闭程序！";
            e.m_app.ShowStatusText(text);
            e.m_bSuccess = false;
            e.Tell(text);
            m_bFailed = true;
            return false;
        }
    }
    const int kind = e.m_nTaskKind;
    if (kind == TASK_FULL_PACK || kind == TASK_NEW_PACK) e.m_app.SetProgressRange(0, 200);
    return true;
}

bool CBodySink::OnData(const char* data, size_t size) {
    CDownloader& e = m_engine;
    e.m_nReceived += static_cast<long long>(size);
    if (!e.m_bSaveToFile) {
        if (e.m_nReceived > kMaxListBytes) {
            OutputDebugStringW("a list over 128 MiB is not a list: " + ShortName(e.m_strRequest));
            m_bTooBig = true;
            return false;
        }
        e.OnReceiveText(data, size);
        return true;
    }
    if (m_bDiscard) return true;
    if (!WriteAll(m_fd, data, size)) {
        e.m_bSuccess = false;
        e.Tell("请求服务器数据失败!");
        m_bFailed = true;
        return false;
    }
    return true;
}

void CBodySink::Finish(const HttpResult& result) {
    CDownloader& e = m_engine;
    if (m_fd >= 0) {
        // The version lists saved at the end reach the disk before they replace the old ones.
        if (e.m_nTaskKind == TASK_SAVE_VERSION && result.completed) fsync(m_fd);
        if (close(m_fd) != 0 && !m_bFailed) {
            e.m_bSuccess = false;
            e.Tell("请求服务器数据失败!");
            m_bFailed = true;
        }
        m_fd = -1;
    }
    if (m_bFailed) return;
    // A body that broke off, or ended before its announced length, is never
    // taken as whole: the ".temp" file stays and the old file is kept.
    const bool interrupted = m_bTooBig || !result.completed || (e.m_nTotalSize > 0 && e.m_nReceived < e.m_nTotalSize);
    if (interrupted) {
        e.m_bSuccess = false;
        e.Tell(Format("文件[%s]下载失败,服务器连接中断!", ShortName(e.m_strRequest).c_str()));
        return;
    }
    if (!e.m_bSaveToFile) {
        e.OnReceiveText(nullptr, 0);  // hands over a sequence held back at the end
        if (!e.m_strPendingLine.empty() && !e.m_bLineTooLong) e.ParseVersionLine(e.m_strPendingLine);
        e.m_strPendingLine.clear();
        e.m_bLineTooLong = false;
        e.m_bLastFetchOk = true;
        return;
    }
    if (m_bDiscard) return;
    const bool launcher = e.m_nTaskKind == TASK_LAUNCHER_EXE;
    const std::string name = launcher ? "FLuncher.updt" : NormalizeSeparators(e.m_strRequest);
    const std::string finalPath = e.GetRunFolder(launcher) + name;
    OutputDebugStringW("1111111111111111111111111111111111111");
    OutputDebugStringW(m_strTemp);
    OutputDebugStringW(finalPath);
    // rename() replaces the old file in one step: it is never absent or partial.
    if (std::rename(m_strTemp.c_str(), finalPath.c_str()) != 0) {
        const std::string text = "文件[" + ShortName(finalPath) + "]写入数据失败, 请先关闭该文件!";
        e.m_app.ShowStatusText(text);
        e.Tell(text);
        e.m_bSuccess = false;
        return;
    }
    if (launcher) chmod(finalPath.c_str(), 0755);
    e.m_bLastFetchOk = true;
}

}  // namespace fl
