// One entry of a download list, fetched by a worker on its own connection.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "app/Folders.h"
#include "app/WobrApp.h"
#include "platform/FileOps.h"
#include "platform/HttpClient.h"
#include "platform/Trace.h"
#include "update/Downloader.h"
#include "update/PathSafety.h"

namespace fl {

namespace {

class CFileSink : public IHttpSink {
public:
    CFileSink(CDownloader& e, std::string temp) : m_e(e), m_strTemp(std::move(temp)) {}
    ~CFileSink() override {
        if (m_fd >= 0) close(m_fd);
    }
    bool OnResponse(const HttpHead& head) override {
        m_nStatus = head.status;
        m_nLength = head.contentLength;
        if (head.status != 200) return false;
        if (!EnsureFolder(ParentOf(m_strTemp))) {
            m_e.m_bSuccess = false;  // nothing written: the run must not count as complete
            OutputDebugStringW("cannot create the folder of " + m_strTemp);
            m_bFailed = true;
            return false;
        }
        m_fd = open(m_strTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (m_fd < 0) {
            m_e.m_bSuccess = false;
            ShowError("写文件" + ShortName(m_strTemp) + "错误！\n文件正在使用中,请先关闭程序！");
            m_bFailed = true;
            return false;
        }
        return true;
    }
    bool OnData(const char* data, size_t size) override {
        m_nGot += static_cast<long long>(size);
        if (!WriteAll(m_fd, data, size)) {
            m_e.m_bSuccess = false;
            ShowError("请求服务器数据失败!");
            m_bFailed = true;
            return false;
        }
        return true;
    }
    bool CloseFile() {
        bool ok = m_fd < 0 || close(m_fd) == 0;
        m_fd = -1;
        return ok;
    }
    void ShowError(const std::string& text);

    CDownloader& m_e;
    std::string m_strTemp;
    int m_fd = -1;
    long m_nStatus = 0;
    long long m_nLength = -1;
    long long m_nGot = 0;
    bool m_bFailed = false;
};

}  // namespace

// Shown through the engine so that nothing pops up while the application closes.
void CFileSink::ShowError(const std::string& text) { m_e.Tell(text); }

bool CDownloader::DownloadListFile(const std::string& name, const std::string& version, int worker) {
    if (name.empty()) return true;
    if (!IsSafeRelativeName(name)) {
        OutputDebugStringW("refused a name outside the run folder: " + ShortName(name));
        return true;
    }
    const std::string path = ShortName(NormalizeSeparators(name));  // as messages show it
    const std::string temp = GetRunFolder(false) + NormalizeSeparators(name) + ".temp";

    CFileSink sink(*this, temp);
    HttpResult r = GetWorkerConnection(size_t(worker)).Get(m_pHttpConn->RequestUrl(name, version), sink);
    const bool closed = sink.CloseFile();
    if (sink.m_bFailed || m_bStopping) return !m_bStopping;
    if (sink.m_nStatus == 0) {
        // No answer at all: the server is gone, the rest of this share would fail too.
        m_bSuccess = false;
        Tell(Format("文件[%s]下载失败,服务器连接中断!", path.c_str()));
        OutputDebugStringW("list worker stops: " + r.error);
        return false;
    }
    if (sink.m_nStatus != 200) {
        m_bSuccess = false;
        Tell(Format("文件[%s]下载失败!", path.c_str()));
        return true;
    }
    if (!r.completed || !closed || (sink.m_nLength >= 0 && sink.m_nGot < sink.m_nLength)) {
        m_bSuccess = false;  // the ".temp" stays, the old file is kept
        Tell(Format("文件[%s]下载失败,服务器连接中断!", path.c_str()));
        return r.completed;
    }
    const std::string finalPath = GetRunFolder(false) + NormalizeSeparators(name);
    if (std::rename(temp.c_str(), finalPath.c_str()) != 0) m_bSuccess = false;
    return true;
}

void CDownloader::DownloadFileList(DownloadWorkItem item) {
    const int total = int(m_mapDownloadList.size());
    for (const auto& [name, version] : item.entries) {
        bool goOn = DownloadListFile(name, version, item.worker);
        ++m_nWorkerEntries[item.worker];
        const int done = ++m_nFilesDone;
        m_app.ShowStatusText(Format("正在下载更新文件...  %d/%d", done, total));
        if (total > 0) m_app.SetProgressPercent(done * 100 / total);
        if (!goOn) break;
    }
    m_hWorkerDone[item.worker]->Set();
}

}  // namespace fl
