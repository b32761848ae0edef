#pragma once
// A loopback HTTP server the tests start themselves. It serves files from
// memory and can misbehave on purpose: other status codes, redirects, bodies
// that break off or stall, chunked bodies, ignored ranges. It records every
// request target it receives.
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace fltest {

struct Behaviour {
    int status = 200;
    std::string location;             // for redirects
    bool chunked = false;             // no Content-Length, chunked body
    long long breakAfter = -1;        // close the connection after this many body bytes
    int stallMs = 0;                  // pause this long after breakAfter bytes (then go on)
    bool ignoreRange = false;         // answer 200 with the whole body
    int times = -1;                   // the misbehaviour for this many requests only (-1: always)
    std::string etag;                 // sent as ETag; an If-Range naming another gets the whole body
    long retryAfter = -1;             // Retry-After seconds with a status other than 200
};

class TestServer {
public:
    TestServer();
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    int Port() const { return m_port; }
    std::string Url(const std::string& path = "/") const;

    void AddFile(const std::string& path, const std::string& bytes);
    void RemoveFile(const std::string& path);
    void SetBehaviour(const std::string& path, const Behaviour& b);
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;
    void SetHandler(const std::string& path, Handler h);

    // Request targets (path and query, as sent) in the order they arrived.
    std::vector<std::string> Targets() const;
    int Count(const std::string& path) const;
    std::vector<std::string> RangeHeaders() const;
    // If-Range headers received, in order.
    std::vector<std::string> IfRangeHeaders() const;
    // Body bytes the server set out to send (the whole body, or the range).
    long long BytesServed() const { return m_nBytes; }
    void ClearLog();

private:
    void Serve(const httplib::Request& req, httplib::Response& res);

    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    mutable std::mutex m_mutex;
    std::map<std::string, std::shared_ptr<const std::string>> m_files;
    std::map<std::string, Behaviour> m_behaviours;
    std::map<std::string, Handler> m_handlers;
    std::vector<std::string> m_targets;
    std::vector<std::string> m_paths;
    std::vector<std::string> m_ranges, m_ifRanges;
    std::map<std::string, int> m_served;  // requests per path, for Behaviour::times
    std::atomic<long long> m_nBytes{0};
};

}  // namespace fltest
