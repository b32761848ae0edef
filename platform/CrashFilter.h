#pragma once
// The process-wide crash filter. A fault on any thread (SIGSEGV, SIGBUS, SIGFPE,
// SIGILL, SIGABRT, an uncaught C++ exception) writes a text dump to the given
// file (replacing an older one), prints "*** Unhandled Exception! ***" on
// standard error and ends the process with status 255. The handler uses only
// async-signal-safe calls.
#include <string>

namespace fl {

void InstallCrashFilter(const std::string& dumpPath);

// Gives the calling thread its own alternate signal stack, so that a stack
// overflow on it still reaches the handler. The main thread gets one at install.
void InstallThreadCrashStack();

}  // namespace fl
