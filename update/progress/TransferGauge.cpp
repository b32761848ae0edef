#include "update/progress/TransferGauge.h"

#include "platform/Clock.h"
#include "platform/TextCodec.h"
#include "platform/Trace.h"
#include "update/UpdateHost.h"

namespace fl {

void CTransferGauge::BeginStage(std::function<long long()> remaining) {
    {
        std::lock_guard lock(m_cs);
        m_fnRemaining = std::move(remaining);
    }
    const long long now = SteadyMs();
    m_meter.Start(now);
    m_nStageStartMs = now;
    m_nShownMs = now;
    m_nTracedMs = now;
    m_bActive = true;
}

void CTransferGauge::EndStage() {
    const bool noted = m_bNote.exchange(false);
    if (noted) {
        std::lock_guard lock(m_cs);
        m_strNote.clear();
    }
    if (!m_bActive.exchange(false)) {
        if (noted) m_host.ShowRateLine("");
        return;
    }
    const long long now = SteadyMs();
    TraceF("transferred %lld bytes in %.1f s at %s", m_meter.Total(), double(now - m_nStageStartMs) / 1000.0,
           FormatRate(m_meter.Average(now)).c_str());
    m_host.ShowRateLine("");
}

void CTransferGauge::NoteRetry(int attempt, int of) {
    const std::string note = Format("网络不稳定,正在重试(%d/%d)", attempt, of);
    {
        std::lock_guard lock(m_cs);
        m_strNote = note;
    }
    m_bNote = true;
    OutputDebugStringW(note);
    m_host.ShowRateLine(m_bActive ? Line(SteadyMs()) : note);
}

bool CTransferGauge::OnBytes(size_t size) {
    if (m_bNote.exchange(false)) {
        {
            std::lock_guard lock(m_cs);
            m_strNote.clear();
        }
        if (!m_bActive) m_host.ShowRateLine("");
    }
    if (m_bActive) m_meter.Add((long long)size, SteadyMs());
    const bool go = m_limit.Take((long long)size, m_stop);
    OnTick();  // the library's own ticks come seldom while bytes flow
    return go;
}

std::string CTransferGauge::Line(long long nowMs) {
    long long remaining = -1;
    {
        std::lock_guard lock(m_cs);
        if (m_fnRemaining) remaining = m_fnRemaining();
    }
    std::string line = FormatRate(m_meter.Rate(nowMs));
    const long long left = remaining >= 0 ? m_meter.SecondsLeft(remaining, nowMs) : -1;
    if (left >= 0) line += "  " + FormatTimeLeft(left);
    std::lock_guard lock(m_cs);
    if (!m_strNote.empty()) line += "  " + m_strNote;
    return line;
}

void CTransferGauge::OnTick() {
    if (!m_bActive) return;
    const long long now = SteadyMs();
    long long shown = m_nShownMs;
    // One thread of the two shows it; at most once a second.
    if (now - shown < 1000 || !m_nShownMs.compare_exchange_strong(shown, now)) return;
    const std::string line = Line(now);
    if (!m_bActive) return;
    m_host.ShowRateLine(line);
    long long traced = m_nTracedMs;
    if (now - traced >= 5000 && m_nTracedMs.compare_exchange_strong(traced, now)) OutputDebugStringW("speed: " + line);
}

}  // namespace fl
