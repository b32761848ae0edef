// Faults on purpose so the crash filter can be checked from outside.
#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/Folders.h"
#include "platform/CrashFilter.h"

extern "C" __attribute__((noinline)) void CrashHelperFaultingFunction(volatile int* p) { *p = 42; }

__attribute__((noinline)) void CrashHelperThrowingFunction() { throw std::runtime_error("helper exception text"); }

int main(int argc, char** argv) {
    fl::InstallCrashFilter(fl::GetModuleFolder() + "luncher.dmp");
    std::string how = argc > 1 ? argv[1] : "segv";
    if (how == "segv") CrashHelperFaultingFunction(nullptr);
    if (how == "segv-thread") {
        std::thread t([] { CrashHelperFaultingFunction(nullptr); });
        t.join();
    }
    if (how == "abort") std::abort();
    if (how == "throw") CrashHelperThrowingFunction();
    if (how == "fpe") std::raise(SIGFPE);
    return 0;
}
