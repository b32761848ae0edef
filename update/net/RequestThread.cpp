// The request thread: one fetch at a time for the update task.
#include "app/AppMessage.h"
#include "app/WobrApp.h"
#include "platform/Trace.h"
#include "update/Downloader.h"
#include "update/PathSafety.h"
#include "update/net/BodySink.h"

namespace fl {

void CDownloader::WaitForRequest() {
    // The request thread always answers, but once it has ended (the engine is
    // shutting down) nobody would: never wait for it then.
    while (!m_hDoneEvent.Wait(100))
        if (m_bRequestThreadEnded) return;
}

bool CDownloader::FetchToFile(const std::string& name) {
    if (m_bAbort || m_bStopping || name.empty()) return false;
    m_strRequest = name;
    m_strRequestVer = m_strPreloadVer;
    m_bSaveToFile = true;
    m_bLastFetchOk = false;
    m_hRequestEvent.Set();
    WaitForRequest();
    return !m_bAbort && !m_bStopping;
}

bool CDownloader::FetchToMemory(const std::string& name) {
    if (name.empty() || m_bStopping) return false;
    m_strRequest = name;
    m_strRequestVer = m_strPreloadVer;
    m_bSaveToFile = false;
    m_bLastFetchOk = false;
    m_joiner.Flush();
    m_hRequestEvent.Set();
    WaitForRequest();
    return !m_bAbort && !m_bStopping;
}

bool CDownloader::FetchListWhole(const std::string& name) { return FetchToMemory(name) && m_bLastFetchOk; }

void CDownloader::RequestThreadProc() {
    for (;;) {
        m_hRequestEvent.Wait();
        if (m_bStopping) break;
        HandleRequest();
    }
    m_bRequestThreadEnded = true;
}

void CDownloader::HandleRequest() {
    if (m_bAbort) {
        // An ignored request still releases its caller, or the task would wait for ever.
        m_bSuccess = false;
        m_hDoneEvent.Set();
        return;
    }
    if (!m_pHttpConn->OpenFileRequest(m_strRequest, m_strRequestVer)) {
        m_app.ShowStatusText("connect server failed!");
        m_bSuccess = false;
        m_hDoneEvent.Set();
        return;
    }
    CBodySink sink(*this);
    HttpResult r = m_pHttpConn->MainConnection().Get(m_pHttpConn->CurrentRequestUrl(), sink);
    if (m_bStopping) {
        m_bSuccess = false;
        m_hDoneEvent.Set();
        return;
    }
    if (!sink.Responded()) {
        // Refused (a status other than 200, redirects included) or unreachable.
        if (!r.error.empty()) Tell(r.error);
        m_app.ShowStatusText("连接服务器失败!请检查网络设置.");
        // A list is named with its "?v=" value, as the player's support has always seen it.
        const std::string label = m_bSaveToFile ? m_strRequest : m_strRequest + "?v=" + m_strRequestVer;
        Tell("文件[" + ShortName(label) + "]下载失败,请检查网络设置.");
        OutputDebugStringW(Format("request refused: %s status %ld %s", ShortName(m_pHttpConn->CurrentRequestUrl()).c_str(),
                                  r.status, r.error.c_str()));
        AbortRequests();
        return;
    }
    sink.Finish(r);
    m_hDoneEvent.Set();
}

void CDownloader::AbortRequests() {
    m_bAbort = true;
    m_hRequestEvent.Reset();
    m_bSuccess = false;
    // The application closes, and the waiting fetch is released (it reports the abort).
    m_app.FinishUpdate();
    m_hDoneEvent.Set();
}

void CDownloader::Tell(const std::string& text) {
    if (m_bAbort || m_bStopping) {
        OutputDebugStringW("not shown (closing): " + text);
        return;
    }
    ShowAppMessage(text);
}

}  // namespace fl
