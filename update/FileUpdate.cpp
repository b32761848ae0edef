// The per-file stage: fetch every file whose version changed or that is missing.
#include "platform/Folders.h"
#include "platform/Clock.h"
#include "platform/FileOps.h"
#include "platform/Trace.h"
#include "update/Downloader.h"
#include "update/FolderIndex.h"
#include "update/PathSafety.h"
#include "update/RunRecords.h"

namespace fl {

bool CDownloader::DownloadVersionList() {
    {
        std::lock_guard lock(m_csFileList);
        m_mapServerFiles.clear();
    }
    ResetListCounts();
    m_nTaskKind = TASK_FILE_LIST;
    if (!FetchListWhole("version.pat")) return false;
    // Lines, but not one usable name (not text, or every name refused): the list
    // fails once instead of a message per garbage name.
    if (m_nListLines > 0 && m_nListValues == 0) {
        OutputDebugStringW(Format("version.pat: none of %d lines is usable", m_nListLines));
        return false;
    }
    return true;
}

void CDownloader::UpdateFiles() {
    m_nTaskKind = TASK_FILES;
    if (m_mapServerFiles.empty()) return;
    m_host.SetStep(5);
    const std::string run = GetRunFolder(false);
    if (PathFileExists(run + "version.pat")) {
        LoadLocalVersionList();
    } else if (!m_bFullPackDone) {
        DownloadFullPack();  // the full pack carries a "version.pat" at its root
        if (PathFileExists(run + "version.pat"))
            LoadLocalVersionList();
        else
            OutputDebugStringW("整包中缺失文件版本控制文件!");
    }
    // Files a run that was cut short finished already: their versions as if listed.
    EnsureFolder(RecordsFolder(run));
    m_journal.SetPath(RecordPath(run, "version.pat.journal"));
    m_nTaskKind = TASK_LOCAL_LIST;
    int journaled = 0;
    if (m_journal.Replay([&](std::string_view line) {
            ParseVersionLine(line);
            ++journaled;
        }) &&
        journaled > 0) {
        TraceF("journal: %d files finished before", journaled);
        m_bChanged = true;  // the lists are saved at the end, and the journal goes
    }
    m_nTaskKind = TASK_FILES;
    const uint32_t t = timeGetTime();
    BuildDownloadList();
    TraceF("下载文件列表花费时间：%d", int(timeGetTime() - t));
    if (m_bChanged && m_bSuccess) {
        if (!WriteFileAtomically(run + "preloadver.pat", m_strPreloadVer))
            OutputDebugStringW("preloadver.pat not written");
    }
}

void CDownloader::BuildDownloadList() {
    m_mapDownloadList.clear();
    const uint32_t t = timeGetTime();
    // Both maps are in name order: one walk pairs each server name with its
    // local version; each folder of the run folder is read once.
    CFolderIndex present(GetRunFolder(false));
    auto local = m_mapLocalFiles.begin();
    for (const auto& [name, version] : m_mapServerFiles) {
        while (local != m_mapLocalFiles.end() && local->first < name) ++local;
        if (!IsSafeRelativeName(name)) {
            OutputDebugStringW("refused a listed name outside the run folder: " + ShortName(name));
            continue;
        }
        const bool known = local != m_mapLocalFiles.end() && local->first == name;
        if (!known || local->second.empty() || !EqualsNoCase(local->second, version) ||
            !present.Exists(NormalizeSeparators(name)))
            m_mapDownloadList.emplace_hint(m_mapDownloadList.end(), name, version);
    }
    TraceF("对比文件版本获取下载文件列表花费时间:%d,需要下载文件数量:%d\n", int(timeGetTime() - t),
           int(m_mapDownloadList.size()));
    if (!m_mapDownloadList.empty()) {
        m_bChanged = true;
        const long long bytes = ListedBytes(m_mapDownloadList);
        if (!EnsureSpace(bytes)) return;
        BeginFileStage(bytes);
        DownloadSegmented(1, (long long)m_mapDownloadList.size());
        m_gauge.EndStage();
    }
}

long long CDownloader::ListedBytes(const std::map<std::string, std::string>& files) const {
    if (!m_bHashList) return -1;
    long long total = 0;
    for (const auto& [name, version] : files)
        if (const FoundEntry entry = m_hashList.Find(name)) total += entry->size;
    return total;
}

void CDownloader::BeginFileStage(long long total) {
    // The list names the sizes: the time left is known. Without it, the speed only.
    m_gauge.BeginStage([this, total] { return total < 0 ? -1 : std::max(0LL, total - m_gauge.Meter().Total()); });
}

}  // namespace fl
