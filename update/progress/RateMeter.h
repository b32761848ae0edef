#pragma once
// The speed of a stage's transfers (every worker together) over the last 5 s,
// and the time left once it is steady. Times are passed in (ms on
// any steady clock), so a test can script the feed.
#include <deque>
#include <mutex>
#include <string>

namespace fl {

class CRateMeter {
public:
    // A new stage: nothing counted, its clock starts at `nowMs`.
    void Start(long long nowMs);
    void Add(long long bytes, long long nowMs);
    // Bytes a second over the last 5 s (since the start while younger).
    double Rate(long long nowMs);
    // Seconds until `remaining` bytes are in, or -1: before 10 s have passed,
    // while the rate is not steady (the last 5 s against the 5 before), or stalled.
    long long SecondsLeft(long long remaining, long long nowMs);
    long long Total() const;
    // Bytes a second since the stage began.
    double Average(long long nowMs) const;

private:
    // Bytes that arrived together: a piece, or the pieces of one burst (a
    // server that limits its rate sends a burst and then waits).
    struct Group {
        long long ms, lastMs;     // its first and its last piece
        long long before, after;  // the count before its first piece and after its last
    };
    // Bytes a second over the groups that began in [fromMs, toMs]: measured from
    // the start of the first group to the start of the last (the time those
    // bytes actually took, whatever the phase of a burst); after a pause longer
    // than the groups' spacing, over the time up to `toMs`.
    double RateBetween(long long fromMs, long long toMs) const;

    mutable std::mutex m_cs;  // every worker adds; the progress tick reads
    std::deque<Group> m_groups;
    long long m_nStartMs = 0;
    long long m_nTotal = 0;
};

// "2.4 MiB/s", "512 KiB/s", "0 B/s" (powers of 1024, so named).
std::string FormatRate(double bytesPerSecond);
// "剩余 1分20秒", "剩余 45秒", "剩余 2小时5分".
std::string FormatTimeLeft(long long seconds);

}  // namespace fl
