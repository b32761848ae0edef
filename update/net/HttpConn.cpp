#include "update/net/HttpConn.h"

#include <cctype>

#include "platform/TextCodec.h"
#include "update/PathSafety.h"

namespace fl {

namespace {

// The host as the library gave it back, already decoded: it is written into
// every request's address as it stands, so it must need no encoding (a "%"
// would be decoded a second time there).
bool IsPlainHost(const std::string& host) {
    if (host.empty()) return false;
    for (unsigned char c : host)
        if (!(std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == ':' || c == '[' || c == ']' || c >= 0x80))
            return false;
    return true;
}

}  // namespace

HttpConn::HttpConn() = default;
HttpConn::~HttpConn() = default;

bool HttpConn::Initialize(const std::string& url) {
    if (!Rebase(url)) return false;
    m_pMainConnection = NewConnection();
    return m_pMainConnection != nullptr;
}

bool HttpConn::Rebase(const std::string& url) {
    UrlParts parts;
    if (!ParseUrl(Trim(url), parts) || parts.scheme != "http") return false;
    if (parts.hasUser || parts.hasQuery || parts.hasFragment || !IsPlainHost(parts.host)) return false;
    std::lock_guard lock(m_cs);
    m_strServer = parts.host;
    m_nPort = parts.port;
    // The address names a folder, with or without its closing slash.
    m_strObjectBase = parts.path;
    if (m_strObjectBase.empty() || m_strObjectBase.back() != '/') m_strObjectBase += '/';
    return true;
}

std::string HttpConn::GetServer() const {
    std::lock_guard lock(m_cs);
    return m_strServer;
}

std::string HttpConn::GetObjectBase() const {
    std::lock_guard lock(m_cs);
    return m_strObjectBase;
}

unsigned short HttpConn::GetPort() const {
    std::lock_guard lock(m_cs);
    return m_nPort;
}

std::unique_ptr<CHttpClient> HttpConn::NewConnection() const {
    auto client = std::make_unique<CHttpClient>(false);  // the engine never follows redirects
    client->SetAbortFlag(m_pAbort);
    client->SetObserver(m_pObserver);
    return client;
}

void HttpConn::SetObserver(ITransferObserver* observer) {
    m_pObserver = observer;
    if (m_pMainConnection) m_pMainConnection->SetObserver(observer);
}

void HttpConn::SetAbortFlag(const std::atomic<bool>* flag) {
    m_pAbort = flag;
    if (m_pMainConnection) m_pMainConnection->SetAbortFlag(flag);
}

std::string HttpConn::RequestUrl(const std::string& name, const std::string& version) const {
    std::string url, asked = name;
    bool fixed = false;
    {
        std::lock_guard lock(m_cs);
        url = "http://" + m_strServer + ":" + std::to_string(m_nPort) + m_strObjectBase;
        if (auto it = m_aliases.find(name); it != m_aliases.end()) asked = it->second;
        fixed = m_unversioned.count(asked) != 0;
    }
    url += PercentEncode(NormalizeSeparators(asked), true);
    if (!version.empty() && !fixed) url += "?v=" + PercentEncode(version, false);
    return url;
}

void HttpConn::SetAliases(std::map<std::string, std::string> aliases) {
    std::lock_guard lock(m_cs);
    m_aliases = std::move(aliases);
}

void HttpConn::SetUnversioned(std::set<std::string> names) {
    std::lock_guard lock(m_cs);
    m_unversioned = std::move(names);
}

bool HttpConn::OpenFileRequest(const std::string& name, const std::string& version) {
    m_strCurrentUrl.clear();
    if (!m_pMainConnection || name.empty()) return false;
    m_strCurrentUrl = RequestUrl(name, version);
    return true;
}

}  // namespace fl
