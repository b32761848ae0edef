#pragma once
// What every transfer of the engine passes through: the rate meter (speed and
// time left for the progress panel's line) and the shared rate cap.
#include <atomic>
#include <functional>
#include <string>

#include "platform/HttpClient.h"
#include "update/net/RateLimit.h"
#include "update/progress/RateMeter.h"

namespace fl {

class IUpdateHost;

class CTransferGauge : public ITransferObserver {
public:
    CTransferGauge(IUpdateHost& host, const std::atomic<bool>& stop) : m_host(host), m_stop(stop) {}
    CRateLimit& Limit() { return m_limit; }
    CRateMeter& Meter() { return m_meter; }

    // A stage of transfers begins; `remaining` tells the bytes still to come
    // (negative when unknown: the speed shows, not the time left).
    void BeginStage(std::function<long long()> remaining);
    // No transfer to show (unpacking, nothing to fetch, the end): the line hides.
    void EndStage();

    // A transfer is tried again: the line says so until bytes flow again.
    void NoteRetry(int attempt, int of);

    bool OnBytes(size_t size) override;
    // Shows the line at most once a second, and traces it every 5 s.
    void OnTick() override;
    // The line as it stands at `nowMs` (steady clock, ms).
    std::string Line(long long nowMs);

private:
    IUpdateHost& m_host;
    const std::atomic<bool>& m_stop;
    CRateMeter m_meter;
    CRateLimit m_limit;
    std::mutex m_cs;  // guards m_fnRemaining and m_strNote
    std::function<long long()> m_fnRemaining;
    std::string m_strNote;
    std::atomic<bool> m_bNote{false};
    std::atomic<bool> m_bActive{false};
    std::atomic<long long> m_nShownMs{0}, m_nTracedMs{0}, m_nStageStartMs{0};
};

}  // namespace fl
