// Passing faults are tried again; an address that keeps failing gives way to
// the next one "hostconfig.ini" names.
#include <algorithm>

#include "platform/HttpClient.h"
#include "platform/Trace.h"
#include "update/Downloader.h"
#include "update/PathSafety.h"
#include "update/net/Retry.h"

namespace fl {

namespace {
thread_local std::string t_strLastCause;  // of this thread's last failed attempt
}

const std::string& LastAttemptCause() { return t_strLastCause; }

bool CDownloader::RunWithRetries(const std::string& what, const AttemptFn& attempt) {
    t_strLastCause.clear();
    int mirror = m_nMirror;
    for (;;) {
        for (int n = 1; n <= kTransferAttempts; ++n) {
            long retryAfter = -1;
            std::string cause;
            // Later attempts wait half as long for a silent server: the whole
            // give-up stays near a minute, not four full stall limits.
            CScopedStallLimit stall(n == 1 ? 0 : std::max(1L, HttpTimeouts::FromEnvironment().stallSeconds / 2));
            const Attempt a = attempt(n, retryAfter, cause);
            if (a == Attempt::Done) return true;
            if (!cause.empty()) t_strLastCause = cause;
            if (a == Attempt::Final || m_bStopping) return false;
            TraceF("%s: attempt %d of %d failed: %s", ShortName(what).c_str(), n, kTransferAttempts, cause.c_str());
            if (n == kTransferAttempts) break;
            m_host.ShowTransferNote(Format("%s: %s; trying again (%d of %d)", ShortName(what).c_str(), cause.c_str(),
                                          n + 1, kTransferAttempts));
            m_gauge.NoteRetry(n + 1, kTransferAttempts);
            if (!WaitBeforeRetry(n + 1, retryAfter, m_bStopping)) return false;  // a close ends the wait at once
        }
        if (!SwitchMirror(mirror)) return false;
        mirror = m_nMirror;
    }
}

bool CDownloader::SwitchMirror(int from) {
    std::lock_guard lock(m_csMirror);
    if (m_nMirror != from) return true;  // another transfer has moved the run on already
    for (int next = from + 1; next < int(m_vecResUrls.size()); ++next) {
        if (!m_pHttpConn || !m_pHttpConn->Rebase(m_vecResUrls[size_t(next)])) {
            OutputDebugStringW("not an address: " + ShortName(m_vecResUrls[size_t(next)]));
            continue;
        }
        m_nMirror = next;
        const std::string note = "the resource server changes to " + m_vecResUrls[size_t(next)];
        OutputDebugStringW(note);
        m_host.ShowTransferNote(note);
        return true;
    }
    return false;
}

void CDownloader::RestartListFetch() {
    m_joiner.Flush();
    m_strRawBody.clear();
    m_listCheck.Reset();
    ResetListCounts();
    switch (m_nTaskKind.load()) {
        case TASK_FILE_LIST: {
            std::lock_guard lock(m_csFileList);
            m_mapServerFiles.clear();
            break;
        }
        case TASK_PACK_LIST:
            m_strNewVersion.clear();
            m_strLastVersion.clear();
            m_strFullPack.clear();
            m_bPackValueRefused = false;
            break;
        case TASK_LAUNCHER_VERSION:
            m_strServerLauncherVersion.clear();
            break;
        default:
            break;
    }
}

}  // namespace fl
