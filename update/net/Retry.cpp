#include "update/net/Retry.h"

#include <curl/curl.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

namespace fl {

bool IsRetryableStatus(long status) {
    switch (status) {
        case 408: case 425: case 429: case 500: case 502: case 503: case 504: return true;
        default: return false;
    }
}

bool IsConnectionFailure(const HttpResult& r) {
    if (r.aborted || r.stoppedBySink) return false;
    return !r.completed;
}

std::string DescribeFailure(const HttpResult& r) {
    if (r.stalled) return r.error;
    switch (r.curlCode) {
        case CURLE_COULDNT_CONNECT: return "connection refused";
        case CURLE_COULDNT_RESOLVE_HOST: case CURLE_COULDNT_RESOLVE_PROXY: return "name not resolved";
        case CURLE_OPERATION_TIMEDOUT: return "timed out";
        case CURLE_PARTIAL_FILE: return "the body broke off before its end";
        case CURLE_RECV_ERROR: case CURLE_SEND_ERROR: case CURLE_GOT_NOTHING: return "connection reset";
        default: break;
    }
    if (r.status != 0 && r.status != 200 && r.status != 206) return "HTTP status " + std::to_string(r.status);
    return r.error.empty() ? "the transfer failed" : r.error;
}

long long RetryDelayMs(int next, long retryAfterSeconds, double unit) {
    if (retryAfterSeconds >= 0) return std::min<long long>(retryAfterSeconds, 30) * 1000;
    long long base = 1000;
    if (const char* v = std::getenv("FLAUNCHER_RETRY_BASE_MS"); v && *v) base = std::max(0L, std::strtol(v, nullptr, 10));
    const long long step = base << std::max(0, std::min(next - 2, 2));  // 1, 2, 4 units
    return step * 3 / 4 + static_cast<long long>(double(step) / 2 * unit);  // within a quarter either way
}

bool WaitBeforeRetry(int next, long retryAfterSeconds, const std::atomic<bool>& stop) {
    static thread_local std::mt19937 random{std::random_device{}()};
    const double unit = std::uniform_real_distribution<double>(0.0, 1.0)(random);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(RetryDelayMs(next, retryAfterSeconds, unit));
    while (std::chrono::steady_clock::now() < until) {
        if (stop) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return !stop;
}

}  // namespace fl
