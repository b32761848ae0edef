#include "update/progress/RateMeter.h"

#include <algorithm>
#include <cmath>

#include "platform/TextCodec.h"

namespace fl {

namespace {
constexpr long long kWindowMs = 5000;
constexpr long long kFirstEstimateMs = 10000;
}  // namespace

void CRateMeter::Start(long long nowMs) {
    std::lock_guard lock(m_cs);
    m_groups.clear();
    m_nStartMs = nowMs;
    m_nTotal = 0;
}

void CRateMeter::Add(long long bytes, long long nowMs) {
    std::lock_guard lock(m_cs);
    m_nTotal += bytes;
    // Pieces close together are one group; a steady stream still starts a new
    // group every 100 ms, so the groups' starts sample it evenly.
    if (!m_groups.empty() && nowMs - m_groups.back().lastMs < 50 && nowMs - m_groups.back().ms < 100) {
        m_groups.back().lastMs = nowMs;
        m_groups.back().after = m_nTotal;
    } else {
        m_groups.push_back({nowMs, nowMs, m_nTotal - bytes, m_nTotal});
    }
    // Two windows are enough to judge steadiness.
    while (m_groups.size() > 1 && nowMs - m_groups.front().ms > 2 * kWindowMs + 1000) m_groups.pop_front();
}

long long CRateMeter::Total() const {
    std::lock_guard lock(m_cs);
    return m_nTotal;
}

double CRateMeter::Average(long long nowMs) const {
    std::lock_guard lock(m_cs);
    return nowMs > m_nStartMs ? double(m_nTotal) * 1000.0 / double(nowMs - m_nStartMs) : 0;
}

double CRateMeter::RateBetween(long long fromMs, long long toMs) const {
    const Group* first = nullptr;
    const Group* last = nullptr;
    long long n = 0;
    for (const Group& g : m_groups) {
        if (g.ms < fromMs || g.ms > toMs) continue;
        if (!first) first = &g;
        last = &g;
        ++n;
    }
    if (!first) return 0;  // nothing began arriving in the window
    const long long span = last->ms - first->ms;
    if (n >= 2 && span > 0) {
        // Start to start: the last group's bytes belong to the interval it opens.
        const long long pause = toMs - last->lastMs;
        if (pause <= std::max<long long>(1000, 2 * span / (n - 1)))
            return double(last->before - first->before) * 1000.0 / double(span);
    }
    // One group, or a pause since the last: every byte over the time up to the end.
    return double(last->after - first->before) * 1000.0 / double(std::max<long long>(toMs - first->ms, 1000));
}

double CRateMeter::Rate(long long nowMs) {
    std::lock_guard lock(m_cs);
    return RateBetween(std::max(m_nStartMs, nowMs - kWindowMs), nowMs);
}

long long CRateMeter::SecondsLeft(long long remaining, long long nowMs) {
    std::lock_guard lock(m_cs);
    if (nowMs - m_nStartMs < kFirstEstimateMs || remaining < 0) return -1;
    const double last = RateBetween(nowMs - kWindowMs, nowMs);
    const double before = RateBetween(nowMs - 2 * kWindowMs, nowMs - kWindowMs);
    // Steady: neither window stalled, and they differ by less than half.
    if (last <= 0 || before <= 0 || last < before * 0.5 || last > before * 1.5) return -1;
    return (long long)std::ceil(double(remaining) / last);
}

std::string FormatRate(double rate) {
    if (rate >= 1048576.0) return Format("%.1f MiB/s", rate / 1048576.0);
    if (rate >= 1024.0) return Format("%.0f KiB/s", rate / 1024.0);
    return Format("%.0f B/s", rate);
}

std::string FormatTimeLeft(long long seconds) {
    if (seconds >= 3600) return Format("剩余 %lld小时%lld分", seconds / 3600, seconds % 3600 / 60);
    if (seconds >= 60) return Format("剩余 %lld分%lld秒", seconds / 60, seconds % 60);
    return Format("剩余 %lld秒", seconds);
}

}  // namespace fl
