#include "update/progress/RateMeter.h"

#include <cmath>

#include "platform/TextCodec.h"

namespace fl {

namespace {
constexpr long long kWindowMs = 5000;
constexpr long long kFirstEstimateMs = 10000;
}  // namespace

void CRateMeter::Start(long long nowMs) {
    std::lock_guard lock(m_cs);
    m_samples.clear();
    m_nStartMs = nowMs;
    m_nTotal = 0;
    m_samples.push_back({nowMs, 0});
}

void CRateMeter::Note(long long nowMs) {
    if (m_samples.empty() || nowMs - m_samples.back().ms >= 100)
        m_samples.push_back({nowMs, m_nTotal});
    else
        m_samples.back().bytes = m_nTotal;  // the latest sample keeps the running count
    // Two windows are enough to judge steadiness; keep a little more.
    while (m_samples.size() > 2 && nowMs - m_samples[1].ms > 2 * kWindowMs + 1000) m_samples.pop_front();
}

void CRateMeter::Add(long long bytes, long long nowMs) {
    std::lock_guard lock(m_cs);
    m_nTotal += bytes;
    Note(nowMs);
}

long long CRateMeter::Total() const {
    std::lock_guard lock(m_cs);
    return m_nTotal;
}

long long CRateMeter::BytesAt(long long ms) const {
    // The count at `ms`, between the samples around it.
    if (m_samples.empty() || ms <= m_samples.front().ms) return m_samples.empty() ? 0 : m_samples.front().bytes;
    for (size_t i = 1; i < m_samples.size(); ++i) {
        const Sample &a = m_samples[i - 1], &b = m_samples[i];
        if (ms <= b.ms) {
            // Bytes arrive in pieces: until the next sample the count stays at the earlier one's.
            return b.ms == a.ms ? b.bytes : a.bytes + (b.bytes - a.bytes) * (ms - a.ms) / (b.ms - a.ms);
        }
    }
    return m_nTotal;
}

double CRateMeter::RateBetween(long long fromMs, long long toMs) const {
    if (toMs <= fromMs) return 0;
    return double(BytesAt(toMs) - BytesAt(fromMs)) * 1000.0 / double(toMs - fromMs);
}

double CRateMeter::Rate(long long nowMs) {
    std::lock_guard lock(m_cs);
    Note(nowMs);
    const long long from = std::max(m_nStartMs, nowMs - kWindowMs);
    return RateBetween(from, nowMs);
}

long long CRateMeter::SecondsLeft(long long remaining, long long nowMs) {
    std::lock_guard lock(m_cs);
    Note(nowMs);
    if (nowMs - m_nStartMs < kFirstEstimateMs || remaining < 0) return -1;
    const double last = RateBetween(nowMs - kWindowMs, nowMs);
    const double before = RateBetween(nowMs - 2 * kWindowMs, nowMs - kWindowMs);
    // Steady: neither window stalled, and they differ by less than half.
    if (last <= 0 || before <= 0 || last < before * 0.5 || last > before * 1.5) return -1;
    return (long long)std::ceil(double(remaining) / last);
}

std::string FormatRate(double rate) {
    if (rate >= 1048576.0) return Format("%.1f MB/s", rate / 1048576.0);
    if (rate >= 1024.0) return Format("%.0f KB/s", rate / 1024.0);
    return Format("%.0f B/s", rate);
}

std::string FormatTimeLeft(long long seconds) {
    if (seconds >= 3600) return Format("剩余 %lld小时%lld分", seconds / 3600, seconds % 3600 / 60);
    if (seconds >= 60) return Format("剩余 %lld分%lld秒", seconds / 60, seconds % 60);
    return Format("剩余 %lld秒", seconds);
}

}  // namespace fl
