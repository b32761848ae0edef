#pragma once
// A loopback server below HTTP: each answer is the exact bytes a function
// returns for the request target, then the connection closes. For framings a
// real server library would never produce (a Content-Length shorter than the
// body, an HTTP/1.0 body ended by closing).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fltest {

class RawServer {
public:
    // `answer` gets the request target (path and query) and returns the response bytes.
    explicit RawServer(std::function<std::string(const std::string&)> answer) : m_answer(std::move(answer)) {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(m_fd, 16);
        socklen_t len = sizeof a;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { Loop(); });
    }
    ~RawServer() {
        m_bStop = true;
        m_thread.join();
        close(m_fd);
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }
    std::vector<std::string> Targets() {
        std::lock_guard lock(m_mutex);
        return m_targets;
    }

private:
    void Loop() {
        while (!m_bStop) {
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            const int c = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) continue;
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = read(c, buffer, sizeof buffer);
                if (n <= 0) break;
                request.append(buffer, size_t(n));
            }
            const size_t sp = request.find(' '), sp2 = request.find(' ', sp + 1);
            const std::string target = sp == std::string::npos ? "" : request.substr(sp + 1, sp2 - sp - 1);
            {
                std::lock_guard lock(m_mutex);
                m_targets.push_back(target);
            }
            const std::string out = m_answer(target);
            for (size_t at = 0; at < out.size();) {
                const ssize_t n = write(c, out.data() + at, out.size() - at);
                if (n <= 0) break;
                at += size_t(n);
            }
            shutdown(c, SHUT_WR);
            close(c);
        }
    }

    std::function<std::string(const std::string&)> m_answer;
    int m_fd = -1;
    int m_port = 0;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::string> m_targets;
};

}  // namespace fltest
