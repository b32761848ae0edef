#include "update/net/BodySink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/Folders.h"
#include "platform/FileOps.h"
#include "platform/Trace.h"
#include "update/Downloader.h"
#include "update/PathSafety.h"
#include "update/VersionFiles.h"
#include "update/launcher/LauncherHealth.h"

namespace fl {

std::string CDownloader::MakeTempName(const std::string& nameIn) const {
    // The local name is exactly the listed name: no part of it is a query.
    const std::string name = nameIn.empty() ? m_strRequest : nameIn;
    if (!IsSafeRelativeName(name)) return {};
    return GetRunFolder(m_nTaskKind == TASK_LAUNCHER_EXE) + NormalizeSeparators(name) + ".temp";
}

long long CDownloader::PrepareBody(long long contentLength) {
    m_nReceived = 0;
    m_nTotalSize = contentLength > 0 ? contentLength : 0;
    const int kind = m_nTaskKind;
    if (kind == TASK_FULL_PACK || kind == TASK_NEW_PACK) {
        const long long size = m_nTotalSize;
        if (size > 1048575)
            m_host.ShowStatusText(Format("检测到%dM更新,开始下载.", int(size >> 20)));
        else
            m_host.ShowStatusText(Format("检测到%dKB更新,开始下载.", int(size >> 10)));
    }
    return m_nTotalSize;
}

CBodySink::CBodySink(CDownloader& engine) : m_engine(engine) {
    if (engine.m_bSaveToFile) {
        const std::string temp = engine.MakeTempName("");
        if (!temp.empty()) m_pFile = std::make_unique<CTempFile>(temp, engine.ExpectFor(engine.m_strRequest));
    }
}

HttpRequest CBodySink::Plan() {
    HttpRequest request = m_pFile ? m_pFile->Plan() : HttpRequest();
    if (m_pFile && m_pFile->Resumed() > 0) {
        const std::string note = Format("resuming %s at %lld bytes", ShortName(m_engine.m_strRequest).c_str(),
                                        m_pFile->Resumed());
        OutputDebugStringW(note);
        m_engine.m_host.ShowTransferNote(note);
    }
    return request;
}

bool CBodySink::OnResponse(const HttpHead& head) {
    if (head.status != 200 && head.status != 206) return false;  // the send failed: the caller decides
    CDownloader& e = m_engine;
    if (!e.m_bSaveToFile) {
        if (head.status != 200) return false;
        m_strDamage = e.m_listCheck.SizeProblem(head.contentLength);
        if (Damaged()) return false;
        m_bResponded = true;
        e.PrepareBody(head.contentLength);
        return true;
    }
    if (!m_pFile) {
        e.m_bSuccess = false;  // a name that may not become a path is never stored
        OutputDebugStringW("refused to store " + ShortName(e.m_strRequest));
        m_bFailed = true;
        return false;
    }
    long long total = 0, held = 0;
    switch (m_pFile->Open(head, total, held)) {
        case CTempFile::Opened::NotThisAnswer:
            OutputDebugStringW("not the answer asked for: " + ShortName(e.m_strRequest) + " starts over");
            return false;
        case CTempFile::Opened::CannotWrite: {
            const std::string text = "写文件" + ShortName(m_pFile->Path()) + "错误！\n文件正在使用中,请先关闭程序！";
            e.m_host.ShowStatusText(text);
            e.m_bSuccess = false;
            e.Tell(text);
            m_bFailed = true;
            return false;
        }
        case CTempFile::Opened::Yes:
            break;
    }
    m_strDamage = m_pFile->SizeProblem(total);
    if (Damaged()) {
        m_pFile->Discard();
        return false;
    }
    if (!e.EnsureSpace(total - held)) {
        m_pFile->Discard();  // nothing half-written stays behind
        m_bFailed = true;
        return false;
    }
    m_bResponded = true;
    e.PrepareBody(total);
    e.m_nReceived = held;  // a resumed body counts what it already holds
    const int kind = e.m_nTaskKind;
    if (kind == TASK_FULL_PACK || kind == TASK_NEW_PACK) e.m_host.SetProgressRange(0, 200);
    if (kind == TASK_NEW_PACK || kind == TASK_LAUNCHER_EXE)
        e.m_gauge.BeginStage([&e] { return e.m_nTotalSize > 0 ? e.m_nTotalSize - e.m_nReceived : -1; });
    return true;
}

bool CBodySink::OnData(const char* data, size_t size) {
    CDownloader& e = m_engine;
    e.m_nReceived += static_cast<long long>(size);
    if (!e.m_bSaveToFile) {
        if (e.m_nReceived > kMaxListBytes) {
            OutputDebugStringW("a list over 128 MiB is not a list: " + ShortName(e.m_strRequest));
            m_bTooBig = true;
            return false;
        }
        if (!e.m_listCheck.Update(data, size)) {
            m_strDamage = "longer than hash.pat lists";
            return false;
        }
        // The hash list, its signature and a chunk index are kept as bytes, not parsed as they come.
        if (e.m_nTaskKind == TASK_HASH_LIST || e.m_nTaskKind == TASK_CHUNK_INDEX)
            e.m_strRawBody.append(data, size);
        else
            e.OnReceiveText(data, size);
        return true;
    }
    if (!m_pFile->Write(data, size)) {
        if (m_pFile->Overrun()) {
            m_strDamage = "longer than hash.pat lists";
            m_pFile->Discard();
            return false;
        }
        e.m_bSuccess = false;
        e.Tell("请求服务器数据失败!");
        e.TellCause(WriteErrorCause(m_pFile->Path(), m_pFile->Error()), "");
        m_bFailed = true;
        return false;
    }
    return true;
}

bool CBodySink::Whole(const HttpResult& result) {
    CDownloader& e = m_engine;
    if (m_pFile) {
        // The version lists saved at the end reach the disk before they replace the old ones.
        const bool flush = e.m_nTaskKind == TASK_SAVE_VERSION && result.completed;
        if (!m_pFile->Close(flush) && !m_bFailed) {
            e.m_bSuccess = false;
            e.Tell("请求服务器数据失败!");
            m_bFailed = true;
        }
    }
    // A body that broke off, or ended before its announced length, is never
    // taken as whole: the ".temp" file stays (to be continued) and the old file is kept.
    const bool whole = m_bResponded && !m_bFailed && !m_bTooBig && !Damaged() && result.completed &&
                       (e.m_nTotalSize <= 0 || e.m_nReceived >= e.m_nTotalSize);
    if (!whole) return false;
    // Whole as HTTP sees it; the hash list has the last word (a short
    // Content-Length or a connection closed early looks complete to HTTP).
    m_strDamage = m_pFile ? m_pFile->Verdict() : e.m_listCheck.Verdict();
    if (Damaged() && m_pFile) m_pFile->Discard();
    return !Damaged();
}

void CBodySink::Commit() {
    CDownloader& e = m_engine;
    if (!e.m_bSaveToFile) {
        if (e.m_nTaskKind == TASK_HASH_LIST || e.m_nTaskKind == TASK_CHUNK_INDEX) {
            e.m_bLastFetchOk = true;
            return;
        }
        e.OnReceiveText(nullptr, 0);  // hands over a sequence held back at the end
        if (!e.m_strPendingLine.empty() && !e.m_bLineTooLong) e.ParseVersionLine(e.m_strPendingLine);
        e.m_strPendingLine.clear();
        e.m_bLineTooLong = false;
        e.m_bLastFetchOk = true;
        return;
    }
    const bool launcher = e.m_nTaskKind == TASK_LAUNCHER_EXE;
    std::string finalPath;
    bool placed = false;
    if (launcher) {
        // Made runnable and flushed before it takes the name; the proven one before it is kept.
        finalPath = GetDataFolder() + "/FLuncher.updt";
        std::string why;
        placed = CLauncherHealth(GetDataFolder()).PlaceNew(m_pFile->Path(), e.m_strServerLauncherVersion, why);
        if (!placed) {
            OutputDebugStringW("the new launcher is not used: " + why);
            m_pFile->Discard();
        }
    } else {
        finalPath = e.GetRunFolder(false) + NormalizeSeparators(e.m_strRequest);
        OutputDebugStringW("1111111111111111111111111111111111111");
        OutputDebugStringW(m_pFile->Path());
        OutputDebugStringW(finalPath);
        // rename() replaces the old file in one step: it is never absent or partial.
        placed = std::rename(m_pFile->Path().c_str(), finalPath.c_str()) == 0;
    }
    if (!placed) {
        const std::string text = "文件[" + ShortName(finalPath) + "]写入数据失败, 请先关闭该文件!";
        e.m_host.ShowStatusText(text);
        e.Tell(text);
        e.m_bSuccess = false;
        return;
    }
    m_pFile->Finished();
    e.m_bLastFetchOk = true;
}

}  // namespace fl
