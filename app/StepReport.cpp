// Step reports: one fire-and-forget GET per wake-up of the report thread.
#include "app/WobrApp.h"
#include "platform/HttpClient.h"
#include "platform/Trace.h"

namespace fl {

namespace {

// The response is neither read nor examined.
class CDiscardSink : public IHttpSink {
public:
    bool OnResponse(const HttpHead&) override { return true; }
    bool OnData(const char*, size_t) override { return true; }
};

bool IsHttpAddress(const std::string& url) {
    return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
}

}  // namespace

void CWobrApp::StartStepReports() {
    if (m_stepThread.joinable()) return;
    m_stepThread = std::thread([this] { StepReportThread(); });
}

void CWobrApp::StepReportThread() {
    for (;;) {
        m_hStepEvent.Wait();
        if (m_bStopping) return;
        UpdataStepLog(m_nStep.load());
    }
}

void CWobrApp::UpdataStepLog(int step) {
    const ReportValues values = GetReportValues();
    if (values.strReportUrl.empty()) {
        OutputDebugStringW("UpdataStepLog , URL is null");
        return;
    }
    const PageValues empty;
    const PageValues& v = values.pValues ? *values.pValues : empty;
    // Values are inserted as they are; the client encodes only what cannot
    // stand raw in a request line (the U+001F separator among them).
    std::string url = values.strReportUrl + "?pt=" + v.pt + "&account=" + v.pt + '\x1F' + v.qid +
                      "&client=6&node=0&school=0&curnode=" + std::to_string(step) +
                      "&nodex=0&nodey=0&onlinetime=0&serverid=" + v.serverid;
    if (!IsHttpAddress(values.strReportUrl)) {
        OutputDebugStringW("UpdataStepLog , bad URL: " + values.strReportUrl);
        return;
    }
    CHttpClient client(true);
    client.SetAbortFlag(&m_bStopping);
    CDiscardSink sink;
    HttpResult r = client.Get(url, sink);
    if (!r.error.empty()) OutputDebugStringW("UpdataStepLog , report dropped: " + r.error);
}

}  // namespace fl
