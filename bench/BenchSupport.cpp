#include "bench/BenchSupport.h"

#include "demo/DemoContent.h"

#include <httplib.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace flbench {

CFileServer::CFileServer() : m_server(std::make_unique<httplib::Server>()) {
    m_server->new_task_queue = [] { return new httplib::ThreadPool(4); };
    m_server->set_tcp_nodelay(true);
    m_server->Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        auto it = m_files.find(req.path);
        if (it == m_files.end()) {
            res.status = 404;
            return;
        }
        auto body = it->second;
        // Served straight from memory, ranges honoured by the library.
        res.set_content_provider(body->size(), "application/octet-stream",
                                 [body](size_t off, size_t len, httplib::DataSink& sink) {
                                     return sink.write(body->data() + off, std::min(len, size_t(1) << 20));
                                 });
    });
    m_port = m_server->bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    while (!m_server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

CFileServer::~CFileServer() {
    m_server->stop();
    m_thread.join();
}

void CFileServer::Add(const std::string& path, std::shared_ptr<const std::string> bytes) { m_files[path] = bytes; }

std::string CFileServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

namespace {

// A child's peak memory counts what its forked copy of us held before exec;
// a small re-executed copy of the benchmark starts the program instead.
const char* kMeasureFlag = "--measure-child";

}  // namespace

int MeasureMode(int argc, char** argv) {
    if (argc < 4 || std::string(argv[1]) != kMeasureFlag) return -1;
    const int reportFd = std::atoi(argv[2]);
    pid_t pid = fork();
    if (pid == 0) {
        // The measured program's own output would bury the figures.
        const int devnull = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (devnull >= 0) dup2(devnull, 1);
        execvp(argv[3], argv + 3);
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    long values[2] = {ru.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
    if (write(reportFd, values, sizeof values) != ssize_t(sizeof values)) return 1;
    return 0;
}

ChildRun RunChild(const std::vector<std::string>& argvIn, const std::map<std::string, std::string>& env) {
    ChildRun r;
    int report[2];
    if (pipe(report) != 0) return r;
    std::vector<std::string> argv = {"/proc/self/exe", kMeasureFlag, std::to_string(report[1])};
    argv.insert(argv.end(), argvIn.begin(), argvIn.end());
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    Stopwatch sw;
    pid_t pid = fork();
    if (pid == 0) {
        for (const auto& [k, v] : env) setenv(k.c_str(), v.c_str(), 1);
        close(report[0]);
        execv(args[0], args.data());
        _exit(127);
    }
    close(report[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.seconds = sw.Seconds();
    long values[2] = {0, -1};
    if (read(report[0], values, sizeof values) == ssize_t(sizeof values)) {
        r.peakKiB = values[0];
        r.status = int(values[1]);
    }
    close(report[0]);
    return r;
}

std::string MakeTempDir() {
    // In memory where possible: the figures then measure our work, not how
    // the disk's file system happens to search for free inodes that day.
    char shm[] = "/dev/shm/fenwa-bench-XXXXXX";
    if (mkdtemp(shm)) return shm;
    char tmpl[] = "/tmp/fenwa-bench-XXXXXX";
    return mkdtemp(tmpl) ? tmpl : "";
}

void RemoveTree(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

std::string Letters(size_t size, unsigned seed) { return fldemo::GameData(size, seed); }

void PrintRow(const std::string& what, double ours, double baseline, const std::string& baselineName) {
    std::printf("%-46s ours %7.3f s   %-14s %7.3f s   ratio %.2f\n", what.c_str(), ours, baselineName.c_str(),
                baseline, baseline > 0 ? ours / baseline : 0.0);
    std::fflush(stdout);
}

}  // namespace flbench
