#include "demo/DemoPlatform.h"

#include "demo/DemoHashList.h"

#include <httplib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <filesystem>
#include <fstream>

namespace fldemo {

namespace {

// A validator of a body: its size and bytes from its start, end and middle.
// (Hashing a 256 MB pack on every request would cost more than serving it.)
std::string Fingerprint(const std::string& body) {
    uint64_t h = 1469598103934665603ull ^ body.size();
    auto mix = [&h](unsigned char c) { h = (h ^ c) * 1099511628211ull; };
    const size_t edge = std::min<size_t>(body.size(), 65536);
    for (size_t i = 0; i < edge; ++i) mix(static_cast<unsigned char>(body[i]));
    for (size_t i = body.size() - edge; i < body.size(); ++i) mix(static_cast<unsigned char>(body[i]));
    for (size_t k = 1; k < 1024 && body.size() > 0; ++k) mix(static_cast<unsigned char>(body[body.size() / 1024 * k]));
    char text[24];
    std::snprintf(text, sizeof text, "\"%016llx\"", static_cast<unsigned long long>(h));
    return text;
}

const char* kHomePage = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Fenwa</title>
<style>
body{margin:0;background:#1b1410;color:#f3e3c3;font-family:sans-serif;display:flex;align-items:center;justify-content:center;height:100vh}
form{background:#2c2018;border:1px solid #b8862b;border-radius:8px;padding:24px 32px;box-shadow:0 0 24px #000}
h1{margin:0 0 16px;font-size:22px;color:#e8c46a;text-align:center}
label{display:block;margin:8px 0 4px;font-size:13px}
input{width:220px;padding:6px;border:1px solid #7a5a2a;background:#15100c;color:#f3e3c3;border-radius:4px}
button{margin-top:16px;width:100%;padding:8px;background:#b8862b;color:#1b1410;border:0;border-radius:4px;font-weight:bold}
</style></head><body>
<form id="login" action="/login" method="get">
<h1>Fenwa 登录</h1>
<label for="user">账号</label><input id="user" name="user" value="demo">
<label for="pass">密码</label><input id="pass" name="pass" type="password" value="demo">
<button id="go" type="submit">进入游戏</button>
</form>
<script>function logout(){return "是否退出游戏？";}
if (document.body.dataset.auto) setTimeout(function(){document.getElementById('login').submit();}, 4000);</script>
</body></html>)";

}  // namespace

// One line shared by every body it carries: each piece waits its turn, so two
// connections get half the rate each and not the rate each.
class CDemoPlatform::CSharedLine {
public:
    explicit CSharedLine(long long bytesPerSecond) : m_rate(bytesPerSecond) {}
    void Pass(size_t bytes, const std::atomic<bool>& stopping) {
        using Clock = std::chrono::steady_clock;
        Clock::time_point turn;
        {
            std::lock_guard lock(m_cs);
            const auto now = Clock::now();
            if (m_next < now) m_next = now;  // an idle line saves up nothing
            turn = m_next;
            m_next += std::chrono::microseconds((long long)bytes * 1000000 / m_rate);
        }
        while (Clock::now() < turn && !stopping) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

private:
    const long long m_rate;
    std::mutex m_cs;
    std::chrono::steady_clock::time_point m_next{};
};

CDemoPlatform::CDemoPlatform(DemoContent content, int port)
    : m_content(std::move(content)), m_server(std::make_unique<httplib::Server>()) {
    m_server->new_task_queue = [] { return new httplib::ThreadPool(8); };
    m_server->set_tcp_nodelay(true);
    // The member site's login page, at its root and where the launcher looks for it.
    for (const char* page : {"/", "/yxfenwa/wd"})
        m_server->Get(page, [this](const httplib::Request&, httplib::Response& res) {
            std::string html = kHomePage;
            if (m_content.autoLogin) html.replace(html.find("<body>"), 6, "<body data-auto=\"1\">");
            res.set_content(html, "text/html; charset=utf-8");
        });
    m_server->Get("/login", [this](const httplib::Request& req, httplib::Response& res) {
        std::string user = req.has_param("user") ? req.get_param_value("user") : "demo";
        std::string text = "'rsurl':'" + ResourceUrl() + "','preloadver':'1','vm':'a','pt':'" + user +
                           "','small_icon':'" + Url("/icons/s.png") + "','middle_icon':'" + Url("/icons/m.png") +
                           "','qid':'1001','serverid':'s1','logoutRecord':'" + Url("/report") + "'";
        res.set_content(text, "text/plain; charset=utf-8");
    });
    m_server->Get("/report", [this](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(m_mutex);
        m_reports.push_back(req.target);
        res.set_content("ok", "text/plain");
    });
    m_server->Get(R"(/res/fenwa/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
        const std::string name = req.matches[1];
        int status = 0;
        std::shared_ptr<std::string> shared;
        bool binary = true, listed = false;
        int delayMs = 0, fileDelayMs = 0;
        long long rate = 0;
        std::shared_ptr<CSharedLine> line;
        bool validators = true, ranged = true;
        {
            // The content is read under the lock the log takes too: a test that
            // changes it between two runs then never races with a request.
            std::lock_guard lock(m_mutex);
            m_resourceRequests.push_back(name);
            const long long seen = std::count(m_resourceRequests.begin(), m_resourceRequests.end(), name);
            for (const auto& rule : m_statuses)
                if (rule.name == name && seen >= rule.fromRequest) status = rule.status;
            for (const auto& rule : m_delays)
                if (rule.name == name && seen >= rule.fromRequest)
                    delayMs = rule.delayMs, rate = rule.bytesPerSecond, line = rule.line;
            const DemoContent& c = m_content;
            if (!m_strTree.empty()) {
                // A published tree: every resource is a file of it, nothing else.
                std::string bytes;
                if (name.find("..") == std::string::npos && ReadTreeFile(m_strTree + "/" + name, bytes)) {
                    shared = std::make_shared<std::string>(std::move(bytes));
                    listed = name.find(".pat") == std::string::npos && name.find(".zip") == std::string::npos;
                }
            } else if (name == "hash.pat" && c.serveHashList) {
                m_strLastHashList = c.fixedHashList.empty() ? HashListOf(c) : c.fixedHashList;
                shared = std::make_shared<std::string>(m_strLastHashList);
            } else if (name == "hash.pat.minisig" && c.serveHashList) {
                if (!c.fixedSignature.empty())
                    shared = std::make_shared<std::string>(c.fixedSignature);
                else
                    shared = std::make_shared<std::string>(
                        SignWithDemoKey(m_strLastHashList.empty() ? HashListOf(c) : m_strLastHashList));
            } else if (name == "luncherVersion.pat") {
                shared = std::make_shared<std::string>(c.LuncherVersionPat());
            } else if (name == "PackVersion.pat") {
                shared = std::make_shared<std::string>(c.PackVersionPat());
            } else if (name == "version.pat") {
                shared = std::make_shared<std::string>(c.VersionPat());
            } else {
                const std::string* body = nullptr;
                if (name == "FLauncher_zelt.exe")
                    body = &c.launcherBytes;
                else if (name == c.fullPackName + ".zip")
                    body = &c.fullPack;
                else if (name == c.newVersion + ".zip")
                    body = &c.newPack;
                else
                    for (const auto& [entry, bytes] : c.files)
                        if (DemoContent::LocalName(entry) == name) body = &bytes, listed = true;
                if (body) shared = std::make_shared<std::string>(*body);
            }
            if (shared && name.size() > 4 && name.compare(name.size() - 4, 4, ".pat") == 0) binary = false;
            if (listed) fileDelayMs = c.delayMs;
            validators = c.sendValidators;
            ranged = c.honourRanges;
        }
        if (status > 0) {
            res.status = status;
            return;
        }
        if (!shared) {
            res.status = 404;
            return;
        }
        if (fileDelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(fileDelayMs));
        const char* bin = binary ? "application/octet-stream" : "text/plain";
        // A stopping server does not wait out a delay.
        for (int waited = 0; waited < delayMs && !m_bStopping; waited += 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (rate > 0 && status == 0) {
            // A slow line: pieces of a tenth of the rate, ten a second (on a shared
            // line, each piece when its turn comes).
            const size_t piece = size_t(std::max<long long>(1, rate / 10));
            std::atomic<bool>* stopping = &m_bStopping;
            res.set_content_provider(shared->size(), bin,
                                     [shared, piece, line, stopping](size_t off, size_t len, httplib::DataSink& sink) {
                                         const size_t n = std::min(len, piece);
                                         if (line)
                                             line->Pass(n, *stopping);
                                         else
                                             std::this_thread::sleep_for(std::chrono::milliseconds(100));
                                         return sink.write(shared->data() + off, n);
                                     });
            return;
        }
        if (status < 0) {
            // Breaks the connection after -status bytes of the body.
            size_t limit = size_t(-status);
            res.set_content_provider(shared->size(), bin, [shared, limit](size_t off, size_t len, httplib::DataSink& sink) {
                if (off >= limit) return false;
                sink.write(shared->data() + off, std::min(len, limit - off));
                return true;
            });
            return;
        }
        // Validators and ranges as a real server has them: an ETag of the body,
        // one range answered 206, and If-Range naming another body gets all of it.
        const std::string etag = validators ? Fingerprint(*shared) : std::string();
        if (!etag.empty()) res.set_header("ETag", etag);
        auto& ranges = const_cast<httplib::Request&>(req).ranges;
        const bool sameBody = !req.has_header("If-Range") || req.get_header_value("If-Range") == etag;
        if (ranges.size() == 1 && sameBody && ranged) {
            const long long size = (long long)shared->size();
            long long first = ranges[0].first, last = ranges[0].second;
            if (first < 0) first = size - last, last = size - 1;
            if (last < 0 || last >= size) last = size - 1;
            ranges.clear();
            if (first < 0 || first > last) {
                res.status = 416;
                return;
            }
            res.status = 206;
            res.set_header("Content-Range", "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                                                std::to_string(size));
            ServeCounted(res, shared, size_t(first), size_t(last - first + 1), bin);
            return;
        }
        ranges.clear();
        ServeCounted(res, shared, 0, shared->size(), bin);
    });
    if (port > 0)
        m_port = m_server->bind_to_port("127.0.0.1", port) ? port : -1;
    else
        m_port = m_server->bind_to_any_port("127.0.0.1");
    if (m_port <= 0) throw std::runtime_error("cannot listen on port " + std::to_string(port));
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    while (!m_server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

CDemoPlatform::~CDemoPlatform() { Stop(); }

void CDemoPlatform::ServeTree(const std::string& folder) {
    std::lock_guard lock(m_mutex);
    m_strTree = folder;
}

bool CDemoPlatform::ReadTreeFile(const std::string& path, std::string& bytes) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return bool(in) || in.eof();
}

void CDemoPlatform::ServeCounted(httplib::Response& res, std::shared_ptr<std::string> body, size_t from, size_t length,
                                 const char* type) {
    // Counted as the bytes go out: a client that leaves early is charged only what it took.
    std::atomic<long long>* counter = &m_nBytesServed;
    res.set_content_provider(length, type, [body, from, counter](size_t offset, size_t n, httplib::DataSink& sink) {
        n = std::min<size_t>(n, 64 * 1024);
        if (!sink.write(body->data() + from + offset, n)) return false;
        *counter += (long long)n;
        return true;
    });
}

void CDemoPlatform::Stop() {
    m_bStopping = true;
    m_server->stop();
    if (m_thread.joinable()) m_thread.join();
}

void CDemoPlatform::RequestStop() {
    m_bStopping = true;
    m_server->stop();
}

std::string CDemoPlatform::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::string CDemoPlatform::LoginUrl(const std::string& user) const {
    return Url("/login?user=" + user + "&pass=demo");
}

void CDemoPlatform::WriteInstallFolder(const std::string& folder) const {
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/installver.pat", std::ios::binary) << m_content.installVersion << "\r\n";
    if (!m_strTree.empty()) return;  // a published tree's pack comes from the server
    std::ofstream(folder + "/" + m_content.fullPackName + ".dydr", std::ios::binary) << m_content.fullPack;
}

std::vector<std::string> CDemoPlatform::ResourceRequests() const {
    std::lock_guard lock(m_mutex);
    return m_resourceRequests;
}

std::vector<std::string> CDemoPlatform::Reports() const {
    std::lock_guard lock(m_mutex);
    return m_reports;
}

void CDemoPlatform::ClearLog() {
    std::lock_guard lock(m_mutex);
    m_nBytesServed = 0;
    m_resourceRequests.clear();
    m_reports.clear();
}

void CDemoPlatform::FixHashList() {
    std::lock_guard lock(m_mutex);
    m_content.fixedHashList = HashListOf(m_content);
    m_content.fixedSignature = SignWithDemoKey(m_content.fixedHashList);
}

void CDemoPlatform::EditContent(const std::function<void(DemoContent&)>& edit) {
    std::lock_guard lock(m_mutex);
    edit(m_content);
}

void CDemoPlatform::SetFileDelay(int delayMs) {
    std::lock_guard lock(m_mutex);
    m_content.delayMs = delayMs;
}

void CDemoPlatform::SetResourceDelay(const std::string& name, int delayMs, int fromRequest, long long bytesPerSecond) {
    std::lock_guard lock(m_mutex);
    m_delays.push_back({name, delayMs, fromRequest, bytesPerSecond, nullptr});
}

void CDemoPlatform::CapResources(const std::vector<std::string>& names, long long bytesPerSecond) {
    auto line = std::make_shared<CSharedLine>(bytesPerSecond);
    std::lock_guard lock(m_mutex);
    for (const std::string& name : names) m_delays.push_back({name, 0, 1, bytesPerSecond, line});
}

void CDemoPlatform::SetResourceStatus(const std::string& name, int status, int fromRequest) {
    std::lock_guard lock(m_mutex);
    m_statuses.push_back({name, status, fromRequest});
}

}  // namespace fldemo
