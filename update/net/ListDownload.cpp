// One entry of a download list, fetched by a worker on its own connection.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/Folders.h"
#include "platform/FileOps.h"
#include "platform/HttpClient.h"
#include "platform/Trace.h"
#include "update/Downloader.h"
#include "update/PathSafety.h"
#include "update/net/ResumeRecord.h"
#include "update/net/Retry.h"
#include "update/net/TempFile.h"

namespace fl {

namespace {

// One attempt at a list entry: into its ".temp" file, continuing what an
// earlier attempt or run left of the same body.
class CFileSink : public IHttpSink {
public:
    CFileSink(CDownloader& e, const std::string& temp, Expectation expect) : m_e(e), m_file(temp, std::move(expect)) {}
    HttpRequest Plan() { return m_file.Plan(); }
    bool OnResponse(const HttpHead& head) override {
        m_nStatus = head.status;
        long long total = 0, held = 0;
        switch (m_file.Open(head, total, held)) {
            case CTempFile::Opened::NotThisAnswer:
                return false;
            case CTempFile::Opened::CannotWrite:
                m_e.m_bSuccess = false;
                m_e.Tell("写文件" + ShortName(m_file.Path()) + "错误！\n文件正在使用中,请先关闭程序！");
                m_bFailed = true;
                return false;
            case CTempFile::Opened::Yes:
                break;
        }
        m_strDamage = m_file.SizeProblem(total);
        if (!m_strDamage.empty()) {
            m_file.Discard();
            return false;
        }
        m_bAnswered = true;
        m_nLength = head.status == 200 ? head.contentLength : total - held;
        return true;
    }
    bool OnData(const char* data, size_t size) override {
        m_nGot += static_cast<long long>(size);
        if (!m_file.Write(data, size)) {
            if (m_file.Overrun()) {
                m_strDamage = "longer than hash.pat lists";
                m_file.Discard();
                return false;
            }
            m_e.m_bSuccess = false;
            m_e.Tell("请求服务器数据失败!");
            m_e.TellCause(WriteErrorCause(m_file.Path(), m_file.Error()), "");
            m_bFailed = true;
            return false;
        }
        return true;
    }
    // Closes the file: true when the body arrived to its end.
    bool Whole(const HttpResult& r) {
        const bool closed = m_file.Close();
        if (!(m_bAnswered && !m_bFailed && closed && r.completed && (m_nLength < 0 || m_nGot >= m_nLength)))
            return false;
        // HTTP takes a short Content-Length or an early close for an end: the list does not.
        m_strDamage = m_file.Verdict();
        if (!m_strDamage.empty()) m_file.Discard();
        return m_strDamage.empty();
    }

    CDownloader& m_e;
    CTempFile m_file;
    long m_nStatus = 0;
    long long m_nLength = -1;
    long long m_nGot = 0;
    bool m_bAnswered = false;
    bool m_bFailed = false;
    std::string m_strDamage;  // not the body the hash list names
};

}  // namespace

bool CDownloader::DownloadListFile(const std::string& name, const std::string& version, int worker) {
    if (name.empty()) return true;
    if (!IsSafeRelativeName(name)) {
        OutputDebugStringW("refused a name outside the run folder: " + ShortName(name));
        return true;
    }
    const std::string path = ShortName(NormalizeSeparators(name));  // as messages show it
    const std::string temp = GetRunFolder(false) + NormalizeSeparators(name) + ".temp";
    long lastStatus = 0;
    bool answered = false, failed = false, completed = false;
    std::string damage;
    auto attempt = [&](int, long& retryAfter, std::string& cause) {
        CFileSink sink(*this, temp, ExpectFor(name));
        const HttpRequest request = sink.Plan();
        const HttpResult r = GetWorkerConnection(size_t(worker)).Get(m_pHttpConn->RequestUrl(name, version), sink, request);
        const bool whole = sink.Whole(r);
        lastStatus = sink.m_nStatus;
        answered = sink.m_bAnswered;
        completed = r.completed;
        if (sink.m_bFailed || m_bStopping) {
            failed = sink.m_bFailed;
            return Attempt::Final;
        }
        if (whole) {
            const std::string finalPath = GetRunFolder(false) + NormalizeSeparators(name);
            if (std::rename(temp.c_str(), finalPath.c_str()) != 0) {
                m_bSuccess = false;
            } else {
                RemoveResume(temp);
                m_journal.Append(name, version);  // not fetched again if the run is cut short
            }
            return Attempt::Done;
        }
        damage = sink.m_strDamage;
        if (!damage.empty()) {
            cause = damage;  // fetched again from its start
            return Attempt::Retry;
        }
        cause = DescribeFailure(r);
        retryAfter = r.head.retryAfterSeconds;
        if (answered || IsConnectionFailure(r) || IsRetryableStatus(lastStatus) || lastStatus == 206) return Attempt::Retry;
        return Attempt::Final;
    };
    if (RunWithRetries(path, attempt)) return true;
    if (failed || m_bStopping) return !m_bStopping;
    m_bSuccess = false;  // the ".temp" stays (to be continued), the old file is kept
    const std::string address = m_pHttpConn->RequestUrl(name, version);
    if (!damage.empty()) {
        OutputDebugStringW(Format("%s is not the file hash.pat lists: %s", path.c_str(), damage.c_str()));
        Tell(Format("文件[%s]下载失败!", path.c_str()));
        TellCause(damage, address);
        return true;
    }
    if (lastStatus == 0) {
        // No answer at all: the server is gone, the rest of this share would fail too.
        Tell(Format("文件[%s]下载失败,服务器连接中断!", path.c_str()));
        TellCause(LastAttemptCause(), address);
        OutputDebugStringW("list worker stops");
        return false;
    }
    if (!answered) {
        Tell(Format("文件[%s]下载失败!", path.c_str()));
        TellCause(LastAttemptCause(), address);
        return true;
    }
    Tell(Format("文件[%s]下载失败,服务器连接中断!", path.c_str()));
    TellCause(LastAttemptCause(), address);
    return completed;
}
void CDownloader::DownloadFileList(DownloadWorkItem item) {
    const int total = int(m_mapDownloadList.size());
    for (const auto& [name, version] : item.entries) {
        bool goOn = DownloadListFile(name, version, item.worker);
        ++m_nWorkerEntries[item.worker];
        const int done = ++m_nFilesDone;
        m_host.ShowStatusText(Format("正在下载更新文件...  %d/%d", done, total));
        if (total > 0) m_host.SetProgressPercent(done * 100 / total);
        if (!goOn) break;
    }
    m_hWorkerDone[item.worker]->Set();
}

}  // namespace fl
