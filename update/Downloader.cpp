// The engine's life: creation from the login answer, and the end of it.
#include "update/Downloader.h"

#include "platform/Folders.h"
#include "platform/Clock.h"
#include "platform/FileOps.h"
#include "platform/Trace.h"
#include "update/PathSafety.h"
#include "update/VersionFiles.h"
#include "update/net/ResumeRecord.h"
#include "update/net/Retry.h"
#include "web/PageValue.h"

namespace fl {

CDownloader::CDownloader(IUpdateHost& host, UpdateSettings settings)
    : m_gauge(host, m_bStopping), m_host(host), m_settings(std::move(settings)) {
    for (auto& done : m_hWorkerDone) done = std::make_unique<CEvent>(false, false);
}

CDownloader::~CDownloader() { Shutdown(); }

void CDownloader::Shutdown() {
    std::lock_guard lock(m_csShutdown);
    m_bStopping = true;
    m_hRequestEvent.Set();
    m_hDoneEvent.Set();
    if (m_hRequestThread.joinable()) m_hRequestThread.join();
    for (auto& done : m_hWorkerDone) done->Set();
}

std::string CDownloader::GetRunFolder(bool dataOnly) const {
    std::string folder = GetDataFolder() + "/";
    if (!dataOnly) folder += m_host.GetResFolder();
    return folder;
}

CHttpClient& CDownloader::GetWorkerConnection(size_t index) {
    if (index >= m_vecWorkerConnections.size()) m_vecWorkerConnections.resize(index + 1);
    if (!m_vecWorkerConnections[index]) {
        m_vecWorkerConnections[index] = m_pHttpConn->NewConnection();
        m_vecWorkerConnections[index]->SetAbortFlag(&m_bStopping);
    }
    return *m_vecWorkerConnections[index];
}

namespace {

class CSizeSink : public IHttpSink {
public:
    bool OnResponse(const HttpHead& head) override {
        long long first = 0, last = 0, total = -1;
        if (head.status == 200) {
            m_nSize = head.contentLength > 0 ? head.contentLength : 0;
            m_strValidator = ValidatorOf(head);
        } else if (head.status == 206 && ParseContentRange(head.contentRange, first, last, total) && total > 0) {
            m_nSize = total;  // the first byte's answer names the whole size
            m_strValidator = ValidatorOf(head);
        }
        return false;  // only the headers are wanted
    }
    bool OnData(const char*, size_t) override { return false; }
    long long m_nSize = 0;
    std::string m_strValidator;
};

}  // namespace

long long CDownloader::QueryRemoteSize(const std::string& name) {
    if (!m_pHttpConn) return 0;
    auto client = m_pHttpConn->NewConnection();
    client->SetAbortFlag(&m_bStopping);
    long long size = 0;
    RunWithRetries(name + " (size)", [&](int, long& retryAfter, std::string& cause) {
        CSizeSink sink;
        // One byte asked for: the answer's header names the size, and no body
        // worth the name crosses the line (a server without ranges sends 200).
        const HttpResult r = client->Get(m_pHttpConn->RequestUrl(name), sink, std::string("0-0"));
        size = sink.m_nSize;
        m_strSizeValidator = sink.m_strValidator;
        if (r.status == 200 || r.status == 206) return Attempt::Done;
        cause = DescribeFailure(r);
        retryAfter = r.head.retryAfterSeconds;
        return IsConnectionFailure(r) || IsRetryableStatus(r.status) ? Attempt::Retry : Attempt::Final;
    });
    return size;
}

bool CDownloader::Initialize(const std::string& text) {
    std::string resUrl = GetPageValue(text, "rsurl");
    m_strPreloadVer = GetPageValue(text, "preloadver");
    const std::string suffix = GetPageValue(text, "vm");

    std::string configured;
    std::vector<std::string> mirrors;
    const std::string launcherFolder = m_settings.strLauncherFolder;
    if (!launcherFolder.empty()) {
        configured = ReadFirstLine(launcherFolder + "hostconfig.ini");
        // Further non-empty lines: other addresses serving the same tree.
        std::vector<std::string> lines;
        if (!configured.empty() && ReadLines(launcherFolder + "hostconfig.ini", lines)) {
            bool first = true;
            for (const auto& line : lines) {
                if (line.empty()) continue;
                if (!first && !Trim(line).empty()) mirrors.push_back(Trim(line));
                first = false;
            }
        }
    }
    if (!configured.empty()) {
        resUrl = configured;
        TraceF("配置了资源地址:%s", resUrl.c_str());
        m_strPreloadVer = std::to_string(timeGetTime());
    }
    m_strPreloadVer += suffix;
    m_strResUrl = resUrl;
    m_vecResUrls = {resUrl};
    m_vecResUrls.insert(m_vecResUrls.end(), mirrors.begin(), mirrors.end());
    for (size_t i = 1; i < m_vecResUrls.size(); ++i) TraceF("another resource address: %s", m_vecResUrls[i].c_str());
    TraceF("preloader版本号:%s", m_strPreloadVer.c_str());
    if (m_strResUrl.empty() || m_strPreloadVer.empty()) {
        m_host.ShowMessage("连接服务器失败,请检查网络是否正常.");
        return false;
    }

    // The folder name becomes a folder below the data folder: it passes the name
    // gate, and the address has no query or fragment that would make the
    // library's idea of its path differ from ours.
    UrlParts parts;
    const bool parsed = ParseUrl(Trim(m_strResUrl), parts);
    const std::string folder = GetUrlLastSegment(m_strResUrl);
    if ((parsed && (parts.hasQuery || parts.hasFragment)) || !IsSafeSegment(folder)) {
        OutputDebugStringW("refused the resource address: " + ShortName(m_strResUrl));
        m_host.ShowMessage("连接服务器失败,请检查网络是否正常.");
        return false;
    }
    m_strResDir = folder + "/";
    TraceF("当前目录:%s", m_strResDir.c_str());
    m_host.SetResFolder(m_strResDir);
    const std::string runFolder = GetRunFolder(false);
    if (!IsFolder(runFolder) && !EnsureFolder(runFolder)) m_host.ShowMessage("文件夹创建失败");

    m_bCheckLauncher = true;
    m_pHttpConn = std::make_unique<HttpConn>();
    m_pHttpConn->SetAbortFlag(&m_bStopping);
    m_pHttpConn->SetObserver(&m_gauge);
    m_gauge.Limit().SetRate(m_settings.nLimitRate);
    if (m_settings.nLimitRate > 0) TraceF("transfers capped at %s", FormatRate(double(m_settings.nLimitRate)).c_str());
    if (!m_pHttpConn->Initialize(m_strResUrl)) {
        m_host.ShowStatusText("HttpConn Initiallize err");
        m_pHttpConn.reset();
        return false;
    }
    m_bRequestThreadEnded = false;
    m_hRequestThread = std::thread([this] { RequestThreadProc(); });
    for (size_t i = 0; i < 4; ++i) GetWorkerConnection(i);
    return true;
}

}  // namespace fl
