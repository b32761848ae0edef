#include "platform/CrashFilter.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <exception>

namespace fl {

namespace {

char g_dumpPath[4096];
char g_exceptionText[512];
volatile sig_atomic_t g_inHandler = 0;

// --- async-signal-safe output -------------------------------------------------

void Put(int fd, const char* s) {
    size_t n = std::strlen(s);
    while (n > 0) {
        ssize_t w = write(fd, s, n);
        if (w <= 0) return;
        s += w;
        n -= size_t(w);
    }
}

void PutDec(int fd, long long v) {
    char buf[32];
    int i = sizeof buf - 1;
    buf[i] = '\0';
    bool neg = v < 0;
    unsigned long long u = neg ? 0ull - (unsigned long long)v : (unsigned long long)v;
    do {
        buf[--i] = char('0' + u % 10);
        u /= 10;
    } while (u && i > 1);
    if (neg) buf[--i] = '-';
    Put(fd, buf + i);
}

void PutHex(int fd, unsigned long long v) {
    char buf[24];
    int i = sizeof buf - 1;
    buf[i] = '\0';
    do {
        buf[--i] = "0123456789abcdef"[v & 15];
        v >>= 4;
    } while (v && i > 2);
    buf[--i] = 'x';
    buf[--i] = '0';
    Put(fd, buf + i);
}

const char* SignalName(int sig) {
    switch (sig) {
        case SIGSEGV: return "SIGSEGV (invalid memory access)";
        case SIGBUS: return "SIGBUS (bus error)";
        case SIGFPE: return "SIGFPE (arithmetic fault)";
        case SIGILL: return "SIGILL (illegal instruction)";
        case SIGABRT: return "SIGABRT (abort)";
        default: return "signal";
    }
}

void PutRegisters(int fd, void* context) {
#if defined(__x86_64__)
    auto* uc = static_cast<ucontext_t*>(context);
    if (!uc) return;
    static const struct { const char* name; int index; } regs[] = {
        {"rip", REG_RIP}, {"rsp", REG_RSP}, {"rbp", REG_RBP}, {"rax", REG_RAX}, {"rbx", REG_RBX},
        {"rcx", REG_RCX}, {"rdx", REG_RDX}, {"rsi", REG_RSI}, {"rdi", REG_RDI}, {"r8", REG_R8},
        {"r9", REG_R9},   {"r10", REG_R10}, {"r11", REG_R11}, {"r12", REG_R12}, {"r13", REG_R13},
        {"r14", REG_R14}, {"r15", REG_R15}, {"eflags", REG_EFL},
    };
    Put(fd, "registers:\n");
    for (const auto& r : regs) {
        Put(fd, "  ");
        Put(fd, r.name);
        Put(fd, " ");
        PutHex(fd, (unsigned long long)uc->uc_mcontext.gregs[r.index]);
        Put(fd, "\n");
    }
#elif defined(__aarch64__)
    auto* uc = static_cast<ucontext_t*>(context);
    if (!uc) return;
    Put(fd, "registers:\n  pc ");
    PutHex(fd, uc->uc_mcontext.pc);
    Put(fd, "\n  sp ");
    PutHex(fd, uc->uc_mcontext.sp);
    Put(fd, "\n");
#else
    (void)fd;
    (void)context;
#endif
}

void CopyFile(int out, const char* path) {
    int in = open(path, O_RDONLY | O_CLOEXEC);
    if (in < 0) return;
    char buf[4096];
    ssize_t n;
    while ((n = read(in, buf, sizeof buf)) > 0) {
        ssize_t off = 0;
        while (off < n) {
            ssize_t w = write(out, buf + off, size_t(n - off));
            if (w <= 0) break;
            off += w;
        }
    }
    close(in);
}

void WriteCrashDump(int sig, siginfo_t* info, void* context) {
    int fd = open(g_dumpPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    Put(fd, "fenwazelt launcher crash dump\n");
    Put(fd, "signal: ");
    PutDec(fd, sig);
    Put(fd, " ");
    Put(fd, SignalName(sig));
    Put(fd, "\ncode: ");
    PutDec(fd, info ? info->si_code : 0);
    Put(fd, "\nfault address: ");
    PutHex(fd, info ? (unsigned long long)(uintptr_t)info->si_addr : 0);
    Put(fd, "\nprocess: ");
    PutDec(fd, getpid());
    Put(fd, "\nthread: ");
    PutDec(fd, (long long)syscall(SYS_gettid));
    Put(fd, "\n");
    if (g_exceptionText[0]) {
        Put(fd, "uncaught exception: ");
        Put(fd, g_exceptionText);
        Put(fd, "\n");
    }
    PutRegisters(fd, context);
    Put(fd, "backtrace:\n");
    void* frames[128];
    int count = backtrace(frames, 128);
    backtrace_symbols_fd(frames, count, fd);
    Put(fd, "modules:\n");
    CopyFile(fd, "/proc/self/maps");
    close(fd);
}

void CrashFilter(int sig, siginfo_t* info, void* context) {
    // A fault inside the filter itself, or on a second thread meanwhile, ends at once.
    if (g_inHandler) _exit(255);
    g_inHandler = 1;
    WriteCrashDump(sig, info, context);
    Put(STDERR_FILENO, "*** Unhandled Exception! ***\n");
    _exit(255);
}

void TerminateHandler() {
    // Not a signal context: the exception's text may be read normally.
    const char* what = "unknown exception";
    try {
        if (auto e = std::current_exception()) std::rethrow_exception(e);
        what = "std::terminate without an active exception";
    } catch (const std::exception& e) {
        std::strncpy(g_exceptionText, e.what(), sizeof g_exceptionText - 1);
        what = nullptr;
    } catch (...) {
    }
    if (what) std::strncpy(g_exceptionText, what, sizeof g_exceptionText - 1);
    std::abort();
}

}  // namespace

void InstallThreadCrashStack() {
    // A thread that has one already (a sanitizer's) keeps it: its owner frees it.
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)) return;
    const size_t size = 64 * 1024;
    stack_t st{};
    st.ss_sp = std::malloc(size);  // lives as long as the thread; never freed on purpose
    if (!st.ss_sp) return;
    st.ss_size = size;
    sigaltstack(&st, nullptr);
}

void InstallCrashFilter(const std::string& dumpPath) {
    std::strncpy(g_dumpPath, dumpPath.c_str(), sizeof g_dumpPath - 1);
    // backtrace() loads the unwinder on first use; do it now, not inside the handler.
    void* warm[2];
    backtrace(warm, 2);
    InstallThreadCrashStack();

    struct sigaction sa {};
    sa.sa_sigaction = CrashFilter;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) sigaction(sig, &sa, nullptr);
    std::set_terminate(TerminateHandler);
}

}  // namespace fl
