#pragma once
// Step reports: the login's account values, and a thread that sends the
// platform's report address one GET per step the run reaches.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Event.h"

namespace fl {

struct PageValues {
    int nReserved0 = 0;
    std::string pt;
    std::string qid;
    int nReserved1 = 0, nReserved2 = 0, nReserved3 = 0;
    std::string serverid;
};

// A consistent copy of what a step report needs.
struct ReportValues {
    std::string strReportUrl;
    std::shared_ptr<const PageValues> pValues;
};

class CStepReports {
public:
    CStepReports() = default;
    ~CStepReports();
    CStepReports(const CStepReports&) = delete;
    CStepReports& operator=(const CStepReports&) = delete;

    // The login answer's values (any thread): the account's never reach the run's log.
    void SetPageValues(const std::string& text);
    ReportValues GetReportValues() const;
    // The report address forgotten (the account's values stay).
    void ForgetReportUrl();
    // Wakes the report thread for `step` (steps in between may be skipped).
    void SetStep(int step);
    // The report thread runs until this object goes.
    void Start();
    // One report, on the calling thread.
    void UpdataStepLog(int step);

private:
    void ReportThread();
    mutable std::mutex m_cs;  // guards m_strReportUrl and m_pPageValues
    std::string m_strReportUrl;
    std::shared_ptr<const PageValues> m_pPageValues;
    CEvent m_hStepEvent{false, false};
    std::atomic<int> m_nStep{0};
    std::atomic<bool> m_bStopping{false};
    std::thread m_thread;
};

}  // namespace fl
