#include "update/net/HttpConn.h"

#include "platform/TextCodec.h"

namespace fl {

HttpConn::HttpConn() = default;
HttpConn::~HttpConn() = default;

bool HttpConn::Initialize(const std::string& urlIn) {
    const std::string url = Trim(urlIn);
    const std::string scheme = "http://";
    if (url.size() <= scheme.size() || !EqualsNoCase(url.substr(0, scheme.size()), scheme)) return false;
    std::string rest = url.substr(scheme.size());
    size_t slash = rest.find('/');
    std::string hostPort = rest.substr(0, slash);
    m_strObjectBase = slash == std::string::npos ? "/" : rest.substr(slash);
    if (hostPort.empty() || hostPort.find('@') != std::string::npos) return false;
    m_nPort = 80;
    const size_t colon = hostPort.rfind(':');
    const size_t bracket = hostPort.rfind(']');  // an IPv6 literal's own colons are not the port's
    if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
        std::string port = hostPort.substr(colon + 1);
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return false;
        unsigned long p = std::stoul(port);
        if (p == 0 || p > 65535) return false;
        m_nPort = static_cast<unsigned short>(p);
        hostPort.resize(colon);
    }
    if (hostPort.empty()) return false;
    m_strServer = hostPort;
    m_pMainConnection = NewConnection();
    return m_pMainConnection != nullptr;
}

std::unique_ptr<CHttpClient> HttpConn::NewConnection() const {
    auto client = std::make_unique<CHttpClient>(false);  // the engine never follows redirects
    client->SetAbortFlag(m_pAbort);
    return client;
}

void HttpConn::SetAbortFlag(const std::atomic<bool>* flag) {
    m_pAbort = flag;
    if (m_pMainConnection) m_pMainConnection->SetAbortFlag(flag);
}

std::string HttpConn::UrlFor(const std::string& name) const {
    return "http://" + m_strServer + ":" + std::to_string(m_nPort) + m_strObjectBase + name;
}

bool HttpConn::OpenFileRequest(const std::string& name) {
    m_strCurrentUrl.clear();
    if (!m_pMainConnection || name.empty()) return false;
    m_strCurrentUrl = UrlFor(name);
    return true;
}

}  // namespace fl
