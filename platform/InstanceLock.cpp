#include "platform/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace fl {

std::string CInstanceLock::LockFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) return runtime;
    std::string folder = "/tmp/fenwazelt-" + std::to_string(getuid());
    mkdir(folder.c_str(), 0700);
    return folder;
}

CInstanceLock::CInstanceLock(std::string name) : m_strPath(LockFolder() + "/" + name + ".lock") {}

CInstanceLock::~CInstanceLock() { Release(); }

CInstanceLock::Result CInstanceLock::Acquire(int timeoutMs) {
    if (m_fd < 0) {
        // O_CLOEXEC: the relaunched copy must not inherit (and so share) our lock.
        m_fd = open(m_strPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0) return Result::Failed;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (flock(m_fd, LOCK_EX | LOCK_NB) == 0) return Result::Acquired;
        if (errno != EWOULDBLOCK && errno != EINTR) return Result::Failed;
        if (Clock::now() >= deadline) return Result::TimedOut;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void CInstanceLock::Release() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

}  // namespace fl
