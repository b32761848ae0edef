#pragma once
// The cross-process single-instance lock. A lock file held with flock(): the
// kernel releases it when its holder dies, so an abandoned lock lets the next
// launcher in at once.
#include <string>

namespace fl {

class CInstanceLock {
public:
    explicit CInstanceLock(std::string name);
    ~CInstanceLock();
    CInstanceLock(const CInstanceLock&) = delete;
    CInstanceLock& operator=(const CInstanceLock&) = delete;

    enum class Result { Acquired, TimedOut, Failed };
    // Waits at most timeoutMs for the lock. The lock is kept until destruction
    // or process end; it is never inherited by started programs.
    Result Acquire(int timeoutMs);
    void Release();
    const std::string& Path() const { return m_strPath; }

    // Folder of the lock files: $XDG_RUNTIME_DIR, else /tmp/fenwazelt-<uid>.
    static std::string LockFolder();

private:
    std::string m_strPath;
    int m_fd = -1;
};

// The name every launcher process agrees on.
inline constexpr const char* kLauncherMutexName = "{EC90BCA0-AC33-4364-946E-CB7CD75DE212}";

}  // namespace fl
