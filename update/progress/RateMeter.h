#pragma once
// The speed of a stage's transfers (every worker together), averaged over the
// last 5 s, and the time left once it is steady. Times are passed in (ms on
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

private:
    // Bytes counted up to a time; sampled at most every 100 ms.
    struct Sample {
        long long ms, bytes;
    };
    double RateBetween(long long fromMs, long long toMs) const;
    long long BytesAt(long long ms) const;
    void Note(long long nowMs);

    mutable std::mutex m_cs;  // every worker adds; the progress tick reads
    std::deque<Sample> m_samples;
    long long m_nStartMs = 0;
    long long m_nTotal = 0;
};

// "2.4 MB/s", "512 KB/s", "0 B/s".
std::string FormatRate(double bytesPerSecond);
// "剩余 1分20秒", "剩余 45秒", "剩余 2小时5分".
std::string FormatTimeLeft(long long seconds);

}  // namespace fl
