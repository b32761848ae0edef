#pragma once
// One cap for every transfer of the engine: a token bucket all connections
// draw from, so two workers together keep to the cap (not each to it).
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

namespace fl {

class CRateLimit {
public:
    // Bytes a second; 0 removes the cap.
    void SetRate(long long bytesPerSecond);
    long long Rate() const { return m_nRate; }
    // Waits until `bytes` may pass. False when `stop` was raised meanwhile.
    bool Take(long long bytes, const std::atomic<bool>& stop);

private:
    std::mutex m_cs;
    std::atomic<long long> m_nRate{0};
    double m_dTokens = 0;  // may go below zero: a debt the next takers wait out
    std::chrono::steady_clock::time_point m_last{};
};

// "2M", "500K", "1G", "123456" (bytes a second); -1 when it is none of these.
long long ParseRate(const std::string& text);

}  // namespace fl
