// The request thread: one fetch at a time for the update task.
#include "platform/Trace.h"
#include "update/Downloader.h"
#include "update/PathSafety.h"
#include "update/net/BodySink.h"
#include "update/net/Retry.h"

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
    m_bLastFetchMissing = false;
    m_bLastFetchNotModified = false;
    m_strLastEtag.clear();
    m_strRawBody.clear();
    // Every list is hashed: the first one arrives before the list that checks it.
    m_listCheck = CBodyCheck(m_nTaskKind == TASK_HASH_LIST ? Expectation() : ExpectFor(name), true);
    m_joiner.Flush();
    m_hRequestEvent.Set();
    WaitForRequest();
    m_strIfNoneMatch.clear();  // asked of this fetch only
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
    // A list is named with its "?v=" value, as the player's support has always seen it.
    const std::string label = m_bSaveToFile ? m_strRequest : m_strRequest + "?v=" + m_strRequestVer;
    HttpResult last;
    bool responded = false, localFailure = false, opened = true;
    std::string damage;  // the last attempt's body was not the listed one
    auto attempt = [&](int n, long& retryAfter, std::string& cause) {
        if (!m_bSaveToFile && n > 1) RestartListFetch();
        if (!m_pHttpConn->OpenFileRequest(m_strRequest, m_strRequestVer)) {
            opened = false;
            return Attempt::Final;
        }
        CBodySink sink(*this);
        HttpRequest request = sink.Plan();
        if (!m_bSaveToFile) request.ifNoneMatch = m_strIfNoneMatch;
        // A list or an index: a server with gzip copies sends them (never a part of one: ranges go uncompressed).
        request.compressed = !m_bSaveToFile || m_nTaskKind == TASK_SAVE_VERSION || m_nTaskKind == TASK_CHUNK_INDEX;
        last = m_pHttpConn->MainConnection().Get(m_pHttpConn->CurrentRequestUrl(), sink, request);
        if (m_bStopping) return Attempt::Final;
        if (!request.ifNoneMatch.empty() && last.status == 304) {
            m_bLastFetchNotModified = true;  // the body held here is the server's
            return Attempt::Done;
        }
        const bool whole = sink.Whole(last);
        if (whole && !m_bSaveToFile) m_strLastEtag = last.head.etag;
        responded = sink.Responded();
        damage = sink.Damage();
        if (sink.Failed()) {
            localFailure = true;
            return Attempt::Final;
        }
        if (whole) {
            sink.Commit();
            return Attempt::Done;
        }
        if (sink.TooBig()) return Attempt::Final;  // not a list: fetching it again changes nothing
        if (!damage.empty() && !m_strOlderOffered.empty()) {
            // Another release's list, not a fault of the network: asking again brings the same.
            damage = "the server offers release " + m_strOlderOffered + ", older than " + m_hashList.Release() + " here";
            return Attempt::Final;
        }
        if (!damage.empty()) {
            // Damaged on the way (or by a proxy): fetched again from its start.
            cause = damage + " (" + ShortName(m_pHttpConn->CurrentRequestUrl()) + ")";
            return Attempt::Retry;
        }
        cause = DescribeFailure(last) + " (" + ShortName(m_pHttpConn->CurrentRequestUrl()) + ")";
        retryAfter = last.head.retryAfterSeconds;
        // A body cut short, a connection that failed, or a status that may pass: again.
        if (responded || IsConnectionFailure(last) || IsRetryableStatus(last.status) ||
            last.status == 206 || last.status == 200)
            return Attempt::Retry;
        return Attempt::Final;
    };
    const bool done = RunWithRetries(label, attempt);
    if (done || localFailure || m_bStopping) {
        if (!done) m_bSuccess = false;
        m_hDoneEvent.Set();
        return;
    }
    if (!opened) {
        m_host.ShowStatusText("connect server failed!");
        m_bSuccess = false;
        m_hDoneEvent.Set();
        return;
    }
    if (!damage.empty()) {
        m_bSuccess = false;
        OutputDebugStringW(Format("%s is not the file hash.pat lists: %s", ShortName(m_strRequest).c_str(), damage.c_str()));
        Tell(Format("文件[%s]下载失败!", ShortName(m_strRequest).c_str()));
        TellCause(damage, m_pHttpConn->CurrentRequestUrl());
        m_hDoneEvent.Set();
        return;
    }
    if (m_bOptionalFetch && (last.status == 404 || last.status == 410)) {
        m_bLastFetchMissing = true;  // not published here: the caller goes on without it
        m_hDoneEvent.Set();
        return;
    }
    if (responded) {
        // The body broke off on every attempt: the ".temp" file stays for the next run.
        m_bSuccess = false;
        Tell(Format("文件[%s]下载失败,服务器连接中断!", ShortName(label).c_str()));
        TellCause(DescribeFailure(last), m_pHttpConn->CurrentRequestUrl());
        m_hDoneEvent.Set();
        return;
    }
    // Refused (a status other than 200, redirects included) or unreachable.
    if (!last.error.empty()) Tell(last.error);
    m_host.ShowStatusText("连接服务器失败!请检查网络设置.");
    Tell("文件[" + ShortName(label) + "]下载失败,请检查网络设置.");
    TellCause(DescribeFailure(last), m_pHttpConn->CurrentRequestUrl());
    OutputDebugStringW(Format("request refused: %s status %ld %s", ShortName(m_pHttpConn->CurrentRequestUrl()).c_str(),
                              last.status, last.error.c_str()));
    AbortRequests();
}

void CDownloader::AbortRequests() {
    m_bAbort = true;
    m_hRequestEvent.Reset();
    m_bSuccess = false;
    // The application closes, and the waiting fetch is released (it reports the abort).
    m_host.FinishUpdate();
    m_hDoneEvent.Set();
}

void CDownloader::TellCause(const std::string& cause, const std::string& address) {
    if (m_bStopping) return;
    const std::string line = "reason: " + cause + (address.empty() ? "" : " (" + ShortName(address) + ")");
    OutputDebugStringW(line);
    m_host.ShowTransferNote(line);
}

void CDownloader::Tell(const std::string& text) {
    if (m_bAbort || m_bStopping) {
        OutputDebugStringW("not shown (closing): " + text);
        return;
    }
    m_host.ShowMessage(text);
}

}  // namespace fl
