#include "tests/support/TestServer.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>

namespace fltest {

TestServer::TestServer() : m_server(std::make_unique<httplib::Server>()) {
    m_server->new_task_queue = [] { return new httplib::ThreadPool(8); };
    m_server->set_tcp_nodelay(true);
    m_server->set_keep_alive_timeout(1);  // a browser's idle connection must not hold up the stop
    m_server->Get(".*", [this](const httplib::Request& req, httplib::Response& res) { Serve(req, res); });
    m_port = m_server->bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    // stop() is ignored until the loop runs, so a quick test could never end it.
    while (!m_server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TestServer::~TestServer() {
    m_stopping = true;
    m_server->stop();
    if (m_thread.joinable()) m_thread.join();
}

std::string TestServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

void TestServer::AddFile(const std::string& path, const std::string& bytes) {
    std::lock_guard lock(m_mutex);
    m_files[path] = std::make_shared<const std::string>(bytes);
}

void TestServer::RemoveFile(const std::string& path) {
    std::lock_guard lock(m_mutex);
    m_files.erase(path);
}

void TestServer::SetBehaviour(const std::string& path, const Behaviour& b) {
    std::lock_guard lock(m_mutex);
    m_behaviours[path] = b;
}

void TestServer::SetHandler(const std::string& path, Handler h) {
    std::lock_guard lock(m_mutex);
    m_handlers[path] = std::move(h);
}

std::vector<std::string> TestServer::Targets() const {
    std::lock_guard lock(m_mutex);
    return m_targets;
}

int TestServer::Count(const std::string& path) const {
    std::lock_guard lock(m_mutex);
    return int(std::count(m_paths.begin(), m_paths.end(), path));
}

std::vector<std::string> TestServer::IfRangeHeaders() const {
    std::lock_guard lock(m_mutex);
    return m_ifRanges;
}

std::vector<std::string> TestServer::RangeHeaders() const {
    std::lock_guard lock(m_mutex);
    return m_ranges;
}

void TestServer::ClearLog() {
    std::lock_guard lock(m_mutex);
    m_targets.clear();
    m_paths.clear();
    m_ranges.clear();
    m_ifRanges.clear();
    m_served.clear();
    m_nBytes = 0;
}

void TestServer::Serve(const httplib::Request& req, httplib::Response& res) {
    std::shared_ptr<const std::string> file;
    Behaviour b;
    Handler handler;
    {
        std::lock_guard lock(m_mutex);
        m_targets.push_back(req.target);
        m_paths.push_back(req.path);
        if (req.has_header("Range")) m_ranges.push_back(req.get_header_value("Range"));
        if (req.has_header("If-Range")) m_ifRanges.push_back(req.get_header_value("If-Range"));
        if (auto it = m_handlers.find(req.path); it != m_handlers.end()) handler = it->second;
        if (auto it = m_files.find(req.path); it != m_files.end()) file = it->second;
        if (auto it = m_behaviours.find(req.path); it != m_behaviours.end()) b = it->second;
        const int seen = ++m_served[req.path];
        if (b.times >= 0 && seen > b.times) {
            // Past its misbehaving requests: served normally, validators kept.
            Behaviour normal;
            normal.etag = b.etag;
            b = normal;
        }
    }
    if (handler) {
        handler(req, res);
        return;
    }
    if (b.status != 200) {
        res.status = b.status;
        if (!b.location.empty()) res.set_header("Location", b.location);
        if (b.retryAfter >= 0) res.set_header("Retry-After", std::to_string(b.retryAfter));
        res.set_content("not served", "text/plain");
        return;
    }
    if (!file) {
        res.status = 404;
        res.set_content("missing", "text/plain");
        return;
    }
    // The request object is ours (the library holds it mutable); clearing its
    // parsed ranges makes the library answer 200 with the whole body.
    if (b.ignoreRange) const_cast<httplib::Request&>(req).ranges.clear();
    if (!b.etag.empty()) {
        res.set_header("ETag", b.etag);
        // A range is only of the body the client holds part of.
        if (req.has_header("If-Range") && req.get_header_value("If-Range") != b.etag)
            const_cast<httplib::Request&>(req).ranges.clear();
    }
    long long bytes = (long long)file->size();
    if (req.ranges.size() == 1) {
        const auto [first, last] = req.ranges[0];
        const long long from = first < 0 ? (long long)file->size() - last : first;
        const long long to = first < 0 || last < 0 ? (long long)file->size() - 1 : last;
        bytes = std::max(0LL, std::min(to, (long long)file->size() - 1) - from + 1);
    }
    m_nBytes += bytes;

    auto stopping = &m_stopping;
    auto stalled = std::make_shared<std::atomic<bool>>(false);
    auto provide = [file, b, stopping, stalled](size_t offset, size_t length, httplib::DataSink& sink) {
        const size_t end = offset + length;
        size_t pos = offset;
        while (pos < end) {
            if (b.breakAfter >= 0 && pos >= size_t(b.breakAfter)) {
                if (b.stallMs <= 0) return false;  // break the connection
                if (!stalled->exchange(true))
                    for (int waited = 0; waited < b.stallMs && !stopping->load(); waited += 20)
                        std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            size_t limit = end;
            if (b.breakAfter >= 0 && pos < size_t(b.breakAfter)) limit = std::min(end, size_t(b.breakAfter));
            size_t n = std::min(limit - pos, size_t(64 * 1024));
            if (!sink.write(file->data() + pos, n)) return false;
            pos += n;
        }
        return true;
    };
    if (b.chunked) {
        res.set_chunked_content_provider("application/octet-stream",
                                         [file, provide](size_t offset, httplib::DataSink& sink) {
                                             if (offset >= file->size()) {
                                                 sink.done();
                                                 return true;
                                             }
                                             size_t n = std::min(file->size() - offset, size_t(4096));
                                             return provide(offset, n, sink);
                                         });
        return;
    }
    if (b.breakAfter < 0 && b.stallMs == 0) {
        res.set_content(*file, "application/octet-stream");
        return;
    }
    res.set_content_provider(file->size(), "application/octet-stream", provide);
}

}  // namespace fltest
