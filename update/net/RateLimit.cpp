#include "update/net/RateLimit.h"

#include <cstdlib>

#include <thread>

#include "platform/TextCodec.h"

namespace fl {

void CRateLimit::SetRate(long long bytesPerSecond) {
    std::lock_guard lock(m_cs);
    m_nRate = bytesPerSecond > 0 ? bytesPerSecond : 0;
    m_dTokens = 0;
    m_last = std::chrono::steady_clock::now();
}

bool CRateLimit::Take(long long bytes, const std::atomic<bool>& stop) {
    const long long rate = m_nRate;
    if (rate <= 0) return true;
    std::chrono::steady_clock::time_point until;
    {
        std::lock_guard lock(m_cs);
        const auto now = std::chrono::steady_clock::now();
        const double elapsed = std::chrono::duration<double>(now - m_last).count();
        m_last = now;
        // A burst of at most a tenth of a second's worth: the average holds to the cap.
        m_dTokens = std::min(m_dTokens + elapsed * double(rate), double(rate) / 10.0);
        m_dTokens -= double(bytes);
        if (m_dTokens >= 0) return true;
        until = now + std::chrono::microseconds((long long)(-m_dTokens * 1e6 / double(rate)));
    }
    // In slices, so a closing launcher is not held up.
    while (std::chrono::steady_clock::now() < until) {
        if (stop) return false;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            until - std::chrono::steady_clock::now(), std::chrono::milliseconds(50)));
    }
    return !stop;
}

long long ParseRate(const std::string& textIn) {
    const std::string text = Trim(textIn);
    // Digits, at most one decimal point with digits on both sides, then a unit.
    size_t digits = 0, points = 0;
    while (digits < text.size() && ((text[digits] >= '0' && text[digits] <= '9') || text[digits] == '.')) {
        points += text[digits] == '.';
        ++digits;
    }
    if (digits == 0 || digits > 15 || points > 1 || text[0] == '.' || text[digits - 1] == '.') return -1;
    const double value = std::strtod(text.substr(0, digits).c_str(), nullptr);
    std::string unit = text.substr(digits);
    if (!unit.empty() && (unit.back() == 'B' || unit.back() == 'b')) unit.pop_back();
    double scale = 1;
    if (unit == "K" || unit == "k") scale = 1024;
    else if (unit == "M" || unit == "m") scale = 1048576;
    else if (unit == "G" || unit == "g") scale = 1073741824;
    else if (!unit.empty()) return -1;
    const double rate = value * scale;
    // 0 is no cap; a cap must be at least a byte a second, and a figure a
    // machine can hold (a terabyte a second is no cap a player means).
    if (rate == 0) return 0;
    if (rate < 1 || rate > 1099511627776.0) return -1;
    return (long long)rate;
}

}  // namespace fl
