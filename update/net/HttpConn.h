#pragma once
// The engine's connection to the resource server: the server, port and object
// base taken from the resource URL, and the request thread's own client.
#include <map>
#include <set>
#include <memory>
#include <mutex>
#include <string>

#include "platform/HttpClient.h"

namespace fl {

class HttpConn {
public:
    HttpConn();
    ~HttpConn();

    // Only "http://" URLs without user, query or fragment; port 80 when none is
    // written; the path is kept as written.
    bool Initialize(const std::string& url);
    // Another address serving the same tree; the connections stay.
    bool Rebase(const std::string& url);
    std::unique_ptr<CHttpClient> NewConnection() const;

    // The request thread's request: object base + name (+ "?v=" + version).
    bool OpenFileRequest(const std::string& name, const std::string& version);
    const std::string& CurrentRequestUrl() const { return m_strCurrentUrl; }
    CHttpClient& MainConnection() { return *m_pMainConnection; }

    // Absolute address of object base + name, the name percent-encoded so that
    // it is requested as itself ("\" between folders becomes "/"); "?v=" and the
    // encoded version follow unless the version is empty or the name never changes.
    std::string RequestUrl(const std::string& name, const std::string& version = {}) const;
    // Names asked for under another name from now on (a list under its
    // release's own name); empty: every name as itself.
    void SetAliases(std::map<std::string, std::string> aliases);
    // Names whose bytes never change (a release's own files): asked for without
    // "?v=", so one cached copy serves every player. Empty: none.
    void SetUnversioned(std::set<std::string> names);
    std::string GetServer() const;
    std::string GetObjectBase() const;
    unsigned short GetPort() const;
    void SetAbortFlag(const std::atomic<bool>* flag);
    // Every connection made from now on (and the request thread's) reports to it.
    void SetObserver(ITransferObserver* observer);

private:
    std::unique_ptr<CHttpClient> m_pMainConnection;
    mutable std::mutex m_cs;  // the address may change while workers form requests
    std::string m_strServer;
    std::string m_strObjectBase;
    std::map<std::string, std::string> m_aliases;
    std::set<std::string> m_unversioned;
    unsigned short m_nPort = 80;
    std::string m_strCurrentUrl;
    const std::atomic<bool>* m_pAbort = nullptr;
    ITransferObserver* m_pObserver = nullptr;
};

}  // namespace fl
