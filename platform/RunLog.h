#pragma once
// The run's log, for a player to attach to a support request: every trace line
// of this run in `<folder>/logs/<prefix>-<date>-<time>.log`, the last 10 runs
// kept, account values masked.
#include <string>

namespace fl {

// Opens this run's log (closing an earlier one). False when it cannot be written.
bool OpenRunLog(const std::string& dataFolder, const std::string& prefix = "launcher");
void CloseRunLog();
// A value that never appears in the log (it is written "***").
void AddLogSecret(const std::string& value);
// The log's copy of a trace line (called by the trace).
void WriteRunLog(const std::string& line);
// How many logs a folder keeps.
inline constexpr int kKeptRunLogs = 10;

}  // namespace fl
