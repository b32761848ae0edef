#pragma once
// Which transfer failures pass, and how long to wait before trying again:
// up to four attempts, 1, 2 and 4 s apart (a quarter either way at random),
// or as long as the server asks with Retry-After (at most 30 s).
#include <atomic>
#include <string>

#include "platform/HttpClient.h"

namespace fl {

inline constexpr int kTransferAttempts = 4;

// 408, 425, 429, 500, 502, 503, 504: the server may answer next time.
bool IsRetryableStatus(long status);
// The connection itself failed: refused, reset, unresolved, timed out, stalled, cut short.
bool IsConnectionFailure(const HttpResult& result);
// The failure in plain words, with the address, for the trace and the runner.
std::string DescribeFailure(const HttpResult& result);

// Milliseconds before attempt `next` (2 to 4); `unit` is the random draw in [0, 1).
// FLAUNCHER_RETRY_BASE_MS scales the 1-2-4 steps (tests; 1,000 by default).
long long RetryDelayMs(int next, long retryAfterSeconds, double unit);
// Waits that long; false when `stop` was raised meanwhile (the wait ends at once).
bool WaitBeforeRetry(int next, long retryAfterSeconds, const std::atomic<bool>& stop);

}  // namespace fl
