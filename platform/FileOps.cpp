#include "platform/FileOps.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace fl {

bool WriteAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= size_t(w);
    }
    return true;
}

bool ReadFileAt(const std::string& path, std::string& out, long long offset) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    size_t got = 0;
    while (got < out.size()) {
        const ssize_t n = pread(fd, out.data() + got, out.size() - got, off_t(offset + (long long)got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += size_t(n);
    }
    close(fd);
    return got == out.size();
}

bool CopyFileKeepMode(const std::string& src, const std::string& dst, bool failIfExists,
                      const std::atomic<bool>* stop) {
    int in = open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st {};
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(in);
        return false;
    }
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC);
    int out = open(dst.c_str(), flags, st.st_mode & 07777);
    if (out < 0) {
        close(in);
        return false;
    }
    std::vector<char> buf(256 * 1024);
    bool ok = true;
    for (;;) {
        ssize_t n = read(in, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) { ok = false; break; }
        if (n == 0) break;
        if ((stop && stop->load()) || !WriteAll(out, buf.data(), size_t(n))) { ok = false; break; }
    }
    ok = fchmod(out, st.st_mode & 07777) == 0 && ok;
    ok = close(out) == 0 && ok;
    close(in);
    if (!ok && stop && stop->load()) unlink(dst.c_str());
    return ok;
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes) {
    std::string temp = path + ".saving";
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, bytes.data(), bytes.size());
    ok = fsync(fd) == 0 && ok;
    ok = close(fd) == 0 && ok;
    if (ok) ok = rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) unlink(temp.c_str());
    return ok;
}

bool DeleteFile(const std::string& path) { return unlink(path.c_str()) == 0 || errno == ENOENT; }

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bytes.clear();
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            close(fd);
            return n == 0;
        }
        bytes.append(buf, size_t(n));
    }
}

std::string AbsolutePath(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return path;
    std::string base = cwd;
    if (base.back() != '/') base += '/';
    return path == "." ? cwd : base + (path.rfind("./", 0) == 0 ? path.substr(2) : path);
}

}  // namespace fl
