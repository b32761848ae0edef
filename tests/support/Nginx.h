#pragma once
// A real HTTP server for the tests: nginx serving a folder on loopback, with
// its own configuration, logs and temporary folders below a folder of its own.
#include <sys/types.h>

#include <string>

namespace fltest {

// Whether something accepts connections on the loopback port.
bool PortAccepts(int port);

class Nginx {
public:
    // Serves `root` at http://127.0.0.1:<port>/. Running() is false when nginx
    // is not installed or did not start.
    // `extra` is added to the http block (for example "limit_rate 4m;").
    // `server` replaces the server block's "root ROOT;" (for a proxy); "@DIR@"
    // in `extra` and `server` stands for nginx's own folder.
    explicit Nginx(const std::string& root, const std::string& extra = {}, const std::string& server = {});
    ~Nginx();
    Nginx(const Nginx&) = delete;
    Nginx& operator=(const Nginx&) = delete;

    bool Running() const { return m_pid > 0; }
    std::string Url(const std::string& path) const;
    // The access log: one line per request, the request line as sent.
    std::string AccessLog() const;
    void ClearAccessLog() const;
    // Body bytes sent for requests whose line holds `part`, from the access log.
    long long BytesSent(const std::string& part = {}) const;

private:
    std::string m_dir;
    int m_port = 0;
    pid_t m_pid = -1;
};

}  // namespace fltest
