#pragma once
// Helpers of the benchmarks: a loopback file server, child processes timed
// with their peak memory, wall-clock timing.
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace flbench {

class CFileServer {
public:
    CFileServer();
    ~CFileServer();
    void Add(const std::string& path, std::shared_ptr<const std::string> bytes);
    std::string Url(const std::string& path) const;

private:
    std::unique_ptr<httplib::Server> m_server;
    std::map<std::string, std::shared_ptr<const std::string>> m_files;
    std::thread m_thread;
    int m_port = 0;
};

struct ChildRun {
    double seconds = 0;
    long peakKiB = 0;
    int status = -1;
};

// Runs a program (argv[0] is searched on the PATH) and reports its time and peak RSS.
// Every benchmark's main starts with `if (int rc = MeasureMode(argc, argv); rc >= 0) return rc;`.
int MeasureMode(int argc, char** argv);
ChildRun RunChild(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {});

class Stopwatch {
public:
    Stopwatch() : m_start(std::chrono::steady_clock::now()) {}
    double Seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    }

private:
    std::chrono::steady_clock::time_point m_start;
};

std::string MakeTempDir();
void RemoveTree(const std::string& path);
std::string Letters(size_t size, unsigned seed);
void PrintRow(const std::string& what, double ours, double baseline, const std::string& baselineName);

}  // namespace flbench
