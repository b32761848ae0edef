#include "tests/support/Nginx.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace fltest {

namespace {

constexpr const char* kNginx = "/usr/sbin/nginx";

int FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    close(fd);
    return port;
}

}  // namespace

bool PortAccepts(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

Nginx::Nginx(const std::string& root, const std::string& extra, const std::string& server) {
    if (access(kNginx, X_OK) != 0) return;
    char tmpl[] = "/tmp/fltest-nginx-XXXXXX";
    if (!mkdtemp(tmpl)) return;
    m_dir = tmpl;
    m_port = FreePort();
    auto own = [&](std::string text) {
        for (size_t at; (at = text.find("@DIR@")) != std::string::npos;) text.replace(at, 5, m_dir);
        return text;
    };
    const std::string conf = "worker_processes 1;\n"
                             "user root;\n"  // the test folders are private to their owner
                             "daemon off;\n"
                             "pid " + m_dir + "/nginx.pid;\n"
                             "error_log " + m_dir + "/error.log;\n"
                             "events { worker_connections 64; }\n"
                             "http {\n"
                             "  access_log " + m_dir + "/access.log;\n"
                             "  client_body_temp_path " + m_dir + "/body;\n"
                             "  proxy_temp_path " + m_dir + "/proxy;\n"
                             "  fastcgi_temp_path " + m_dir + "/fastcgi;\n"
                             "  uwsgi_temp_path " + m_dir + "/uwsgi;\n"
                             "  scgi_temp_path " + m_dir + "/scgi;\n"
                             "  default_type application/octet-stream;\n"
                             // As the operators' guide says to serve a tree: the lists' gzip copies to those who ask.
                             + (extra.find("gzip_static") == std::string::npos ? "  gzip_static on;\n" : "") +
                             "  " + own(extra) + "\n"
                             "  server { listen 127.0.0.1:" + std::to_string(m_port) + "; " +
                             (server.empty() ? "root " + root + ";" : own(server)) + " }\n"
                             "}\n";
    WriteFile(m_dir + "/nginx.conf", conf);
    m_pid = StartBackground(kNginx, {"-p", m_dir, "-c", m_dir + "/nginx.conf", "-e", m_dir + "/error.log"});
    if (m_pid > 0 && !WaitUntil([&] { return PortAccepts(m_port); }, 5000)) {
        KillAndReap(m_pid, 15);
        m_pid = -1;
    }
}

Nginx::~Nginx() {
    if (m_pid > 0) KillAndReap(m_pid, 15);  // SIGTERM: nginx ends its worker too
    if (!m_dir.empty()) RemoveTree(m_dir);
}

std::string Nginx::Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }

std::string Nginx::AccessLog() const { return ReadFile(m_dir + "/access.log"); }

void Nginx::ClearAccessLog() const { WriteFile(m_dir + "/access.log", ""); }  // nginx appends: it goes on at 0

long long Nginx::BytesSent(const std::string& part) const {
    // Combined format: ... "GET /x HTTP/1.1" 206 12345 "-" "..."
    const std::string log = AccessLog();
    long long sum = 0;
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos) end = log.size();
        const std::string line = log.substr(start, end - start);
        start = end + 1;
        const size_t q = line.find("\" ", line.find("\"GET "));
        if (q == std::string::npos || (!part.empty() && line.find(part) == std::string::npos)) continue;
        long status = 0;
        long long bytes = 0;
        if (std::sscanf(line.c_str() + q + 2, "%ld %lld", &status, &bytes) == 2) sum += bytes;
    }
    return sum;
}

}  // namespace fltest
