#pragma once
// The game platform on loopback: the home page with a login form, the login
// address answering the page value text, the resource tree and a report
// address that logs what it gets.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "demo/DemoContent.h"

namespace httplib {
class Server;
struct Response;
}

namespace fldemo {

class CDemoPlatform {
public:
    explicit CDemoPlatform(DemoContent content, int port = 0);
    ~CDemoPlatform();

    int Port() const { return m_port; }
    std::string Url(const std::string& path) const;
    std::string LoginUrl(const std::string& user = "demo") const;
    std::string ResourceUrl() const { return Url("/res/fenwa/"); }
    // The installer's files: "installver.pat" and the full pack as "<name>.dydr".
    void WriteInstallFolder(const std::string& folder) const;
    // Asks the server to stop; callable from any thread, also while Wait() blocks.
    void RequestStop();
    // Stops and joins the server thread.
    void Stop();

    // Resource paths requested (below the resource URL), and reports received.
    std::vector<std::string> ResourceRequests() const;
    std::vector<std::string> Reports() const;
    void ClearLog();
    // Body bytes the server set out to send since the last ClearLog.
    long long BytesServed() const { return m_nBytesServed; }
    DemoContent& Content() { return m_content; }
    // Status answered for a resource name (0 = serve normally; -N = break the
    // connection after N bytes of the body), from its fromRequest-th request on
    // (counted since the last ClearLog).
    void SetResourceStatus(const std::string& name, int status, int fromRequest = 1);
    // From its fromRequest-th request on, a resource is answered this much later,
    // and its body then trickles at bytesPerSecond (0 = at once, at full speed).
    // Each listed file answered this much later (while requests may be running).
    void SetFileDelay(int delayMs);
    // Signs the content as it is now and keeps serving that list.
    void FixHashList();
    // Changes the content under the server's lock (its threads may be answering).
    void EditContent(const std::function<void(DemoContent&)>& edit);
    // Serves the resource tree a publishing run wrote (instead of the content).
    void ServeTree(const std::string& folder);
    void SetResourceDelay(const std::string& name, int delayMs, int fromRequest = 1, long long bytesPerSecond = 0);
    // The bodies of these resources together trickle at bytesPerSecond, however
    // many connections read them at once (a line of that speed).
    void CapResources(const std::vector<std::string>& names, long long bytesPerSecond);

private:
    void ServeCounted(httplib::Response& res, std::shared_ptr<std::string> body, size_t from, size_t length,
                      const char* type);
    DemoContent m_content;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
    std::atomic<bool> m_bStopping{false};
    std::atomic<long long> m_nBytesServed{0};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_resourceRequests, m_reports;
    struct StatusRule {
        std::string name;
        int status;
        int fromRequest;
    };
    std::vector<StatusRule> m_statuses;
    class CSharedLine;
    struct DelayRule {
        std::string name;
        int delayMs;
        int fromRequest;
        long long bytesPerSecond;
        std::shared_ptr<CSharedLine> line;  // set: the rate holds for every connection together
    };
    std::vector<DelayRule> m_delays;
    std::string m_strLastHashList;  // the signature signs the list last served
    std::string m_strTree;          // a published tree served instead of the content
    static bool ReadTreeFile(const std::string& path, std::string& bytes);
};

}  // namespace fldemo
