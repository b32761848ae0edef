// The launcher's own version check and the fetch of a newer launcher.
#include "platform/Folders.h"
#include "update/launcher/LauncherName.h"
#include "platform/Trace.h"
#include "update/Downloader.h"
#include "update/launcher/LauncherHealth.h"

namespace fl {

bool CDownloader::CheckLauncherVersion() {
    if (!m_bCheckLauncher) return FetchHashList();
    m_nTaskKind = TASK_LAUNCHER_VERSION;
    ResetListCounts();
    if (!FetchListWhole("luncherVersion.pat")) {
        Tell("登录器版本文件下载失败");
        return false;
    }
    m_strLauncherListDigest = m_listCheck.Digest();
    m_nLauncherListSize = m_listCheck.Bytes();
    if (!FetchHashList()) return false;
    // The version list came before the list that checks it: checked now, before it is used.
    const Expectation e = ExpectFor("luncherVersion.pat");
    auto differs = [&] { return e.check && (!e.listed || e.size != m_nLauncherListSize || e.sha256 != m_strLauncherListDigest); };
    if (differs() && m_hashList.Find(ReleaseCopyName(m_hashList.Release(), "luncherVersion.pat"))) {
        // Published in between, or a cache's older copy: the release's own copy is the one the list names.
        OutputDebugStringW("luncherVersion.pat is another release's: asked for under the release's name");
        ResetListCounts();
        if (FetchListWhole("luncherVersion.pat")) {
            m_strLauncherListDigest = m_listCheck.Digest();
            m_nLauncherListSize = m_listCheck.Bytes();
        }
        if (m_bAbort) return false;
    }
    if (differs()) {
        OutputDebugStringW("luncherVersion.pat is not the file hash.pat lists");
        m_bSuccess = false;
        Tell("文件[luncherVersion.pat]下载失败!");
        TellCause(!e.listed ? "luncherVersion.pat is not in the signed hash list"
                            : "luncherVersion.pat is not the content the signed hash list names (damaged or replaced)",
                  m_pHttpConn ? m_pHttpConn->RequestUrl("luncherVersion.pat", m_strPreloadVer) : "");
        return false;
    }
    m_nTaskKind = TASK_IDLE;
    if (!CompareLauncherVersion()) {
        Tell("登录器更新失败");
        return false;
    }
    if (m_bLauncherUpdated) m_host.RestartLauncher();
    return true;
}

bool CDownloader::CompareLauncherVersion() {
    if (m_strServerLauncherVersion.empty()) {
        Tell("登录器版本号获取失败");
        return false;
    }
    TraceF("本地登录器版本:%s,服务器上的登录器版本:%s", kLauncherVersion, m_strServerLauncherVersion.c_str());
    if (EqualsNoCase(kLauncherVersion, m_strServerLauncherVersion)) return true;
    CLauncherHealth health(GetDataFolder());
    const Expectation listed = ExpectFor(kLauncherFileName);
    if (health.IsRefused(m_strServerLauncherVersion, listed.listed ? listed.sha256 : "")) {
        // Fetched again it would strand the player once more: the one running now stays.
        TraceF("the launcher %s was set aside on this computer: not fetched again until the server lists another",
               m_strServerLauncherVersion.c_str());
        return true;
    }
    // This launcher fetched and checked the lists and found its successor: it works.
    m_host.LauncherProven("it fetched the lists and a newer launcher");
    if (health.Holds(listed.sha256)) {
        // Fetched by an earlier run and waiting for the next start: not fetched again, and the update goes on.
        TraceF("the launcher %s is already in place for the next start", m_strServerLauncherVersion.c_str());
        return true;
    }
    m_nTaskKind = TASK_LAUNCHER_EXE;
    // Only a launcher that arrived whole and is in place counts as fetched.
    const bool fetched = FetchToFile("FLauncher_zelt.exe") && m_bLastFetchOk;
    m_gauge.EndStage();
    if (!fetched) return false;
    m_bLauncherUpdated = true;
    return true;
}

}  // namespace fl
