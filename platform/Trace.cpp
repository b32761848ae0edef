#include "platform/Trace.h"

#include "platform/RunLog.h"
#include "platform/TextCodec.h"

#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fl {

namespace {
std::atomic<TraceHook> g_hook{nullptr};
}

bool TraceEnabled() {
    static const bool enabled = [] {
        const char* v = std::getenv("FLAUNCHER_TRACE");
        return v && std::strcmp(v, "1") == 0;
    }();
    return enabled;
}

void SetTraceHook(TraceHook hook) { g_hook.store(hook); }

void OutputDebugStringW(const std::string& text) {
    if (TraceHook hook = g_hook.load()) hook(text);
    WriteRunLog(text);
    if (!TraceEnabled()) return;
    // One write per line keeps lines of different threads whole.
    std::string line = "[trace] " + text;
    if (line.empty() || line.back() != '\n') line += '\n';
    ssize_t ignored = write(STDERR_FILENO, line.data(), line.size());
    (void)ignored;
}

void TraceF(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    std::string text = VFormat(format, ap);
    va_end(ap);
    OutputDebugStringW(text);
}

}  // namespace fl
