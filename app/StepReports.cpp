// Step reports: one fire-and-forget GET per wake-up of the report thread.
#include "app/StepReports.h"
#include "platform/HttpClient.h"
#include "platform/RunLog.h"
#include "platform/Trace.h"
#include "web/PageValue.h"

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

CStepReports::~CStepReports() {
    m_bStopping = true;
    m_hStepEvent.Set();
    if (m_thread.joinable()) m_thread.join();
}

void CStepReports::SetPageValues(const std::string& text) {
    auto values = std::make_shared<PageValues>();
    values->qid = GetPageValue(text, "qid");
    values->serverid = GetPageValue(text, "serverid");
    values->pt = GetPageValue(text, "pt");
    // The account's values never reach the run's log.
    AddLogSecret(values->qid);
    AddLogSecret(values->pt);
    std::string reportUrl = GetPageValue(text, "logoutRecord");
    // The report thread copies both under the same lock, so it sees old or new, whole.
    std::lock_guard lock(m_cs);
    m_pPageValues = std::move(values);
    m_strReportUrl = std::move(reportUrl);
}

ReportValues CStepReports::GetReportValues() const {
    std::lock_guard lock(m_cs);
    return {m_strReportUrl, m_pPageValues};
}

void CStepReports::ForgetReportUrl() {
    std::lock_guard lock(m_cs);
    m_strReportUrl.clear();
}

void CStepReports::SetStep(int step) {
    m_nStep.store(step);
    m_hStepEvent.Set();
}

void CStepReports::Start() {
    if (m_thread.joinable()) return;
    m_thread = std::thread([this] { ReportThread(); });
}

void CStepReports::ReportThread() {
    for (;;) {
        m_hStepEvent.Wait();
        if (m_bStopping) return;
        UpdataStepLog(m_nStep.load());
    }
}

void CStepReports::UpdataStepLog(int step) {
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
