#pragma once
// The diagnostic trace. Lines go to standard error when FLAUNCHER_TRACE=1 is set
// and nowhere visible otherwise; they are never shown in the user interface.
#include <string>

namespace fl {

void OutputDebugStringW(const std::string& text);
// printf-style convenience; the format follows the system's own texts.
void TraceF(const char* format, ...) __attribute__((format(printf, 1, 2)));
bool TraceEnabled();

// Tests capture the trace: every line also goes to this hook when set.
using TraceHook = void (*)(const std::string& line);
void SetTraceHook(TraceHook hook);

}  // namespace fl
