// Checking an installed run folder against the server's lists, and repairing
// exactly what is missing or differs.
#include <sys/stat.h>

#include <algorithm>

#include "platform/Folders.h"
#include "platform/FileOps.h"
#include "platform/Trace.h"
#include "update/Downloader.h"
#include "update/PathSafety.h"
#include "update/chunks/ChunkIndex.h"

namespace fl {

namespace {

// Why a listed file of the run folder is not whole; empty when it is.
std::string Problem(const CDownloader& e, const std::string& run, const std::string& name) {
    const std::string path = run + NormalizeSeparators(name);
    if (!PathFileExists(path)) return "missing";
    const std::string why = e.CheckLocalFile(path, name);
    return why.empty() ? std::string() : "differs (" + why + ")";
}

}  // namespace

std::string CDownloader::FolderNotWhole(std::string& file) {
    if (m_mapServerFiles.empty() && !DownloadVersionList()) return "version.pat could not be read";
    const std::string run = GetRunFolder(false);
    for (const auto& [name, version] : m_mapServerFiles) {
        if (!IsSafeRelativeName(name)) continue;
        // What the run wrote was checked whole by its writer; every listed file is at least there at its size.
        struct stat st {};
        const FoundEntry entry = m_bHashList ? m_hashList.Find(name) : std::nullopt;
        file = name;
        if (stat((run + NormalizeSeparators(name)).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return ShortName(name) + " is missing";
        if (entry && (long long)st.st_size != entry->size)
            return Format("%s has %lld bytes, the signed list %lld", ShortName(name).c_str(), (long long)st.st_size,
                          entry->size);
    }
    file.clear();
    return {};
}

std::map<std::string, unsigned> CDownloader::ReleaseModes() {
    std::map<std::string, unsigned> modes;
    const std::string indexName = m_hashList.Release() + ".idx";
    if (!m_bHashList || !m_hashList.Find(indexName) || !IsSafeSegment(indexName)) return modes;
    m_nTaskKind = TASK_CHUNK_INDEX;
    CChunkIndex index;
    std::string why;
    if (FetchListWhole(indexName) && index.Parse(m_strRawBody, why) && index.m_strRelease == m_hashList.Release())
        for (const IndexedFile& f : index.m_files) modes.emplace(f.name, f.mode);
    else
        OutputDebugStringW("modes are not checked: the chunk index is not usable " + why);
    m_strRawBody.clear();
    m_nTaskKind = TASK_IDLE;
    return modes;
}

bool CDownloader::VerifyRunFolder(bool repair, const std::function<void(const std::string&)>& report) {
    m_bAbort = false;
    const CCapturedState captured(*this);
    if (!FetchHashList()) return false;
    if (!DownloadVersionList()) {
        Tell("版本文件下载失败!");
        return false;
    }
    if (!m_bHashList) report("no hash.pat on the server: only the presence of each file is checked");
    const std::string run = GetRunFolder(false);
    const std::map<std::string, unsigned> modes = ReleaseModes();
    std::map<std::string, std::string> broken;  // name -> the server's version
    int checked = 0, wrongModes = 0;
    for (const auto& [name, version] : m_mapServerFiles) {
        if (m_bStopping) return false;
        if (!IsSafeRelativeName(name)) continue;
        ++checked;
        const std::string why = Problem(*this, run, name);
        if (why.empty()) {
            // The right bytes with another mode than the release gives them.
            auto mode = modes.find(NormalizeSeparators(name));
            struct stat st {};
            const std::string path = run + NormalizeSeparators(name);
            if (mode == modes.end() || stat(path.c_str(), &st) != 0 || (st.st_mode & 07777) == mode->second) continue;
            const bool fixed = repair && chmod(path.c_str(), mode->second) == 0;
            report(Format("%s: mode %o, the release has %o%s", ShortName(name).c_str(), unsigned(st.st_mode & 07777),
                          mode->second, fixed ? "; set" : ""));
            if (!fixed) ++wrongModes;
            continue;
        }
        report(ShortName(name) + ": " + why);
        broken.emplace(name, version);
    }
    report(Format("%d files checked, %d missing or different", checked, int(broken.size())));
    if (wrongModes > 0) report(Format("%d files with another mode than the release's", wrongModes));
    if (wrongModes > 0 && broken.empty()) return false;
    // Files of the release before that this one removed: only a whole folder loses them.
    const bool removeStale = repair && broken.empty();
    const int stale = std::max(0, RemoveWhatTheReleaseRemoved(removeStale, report));
    if (stale > 0) report(Format("%d files the release removed %s", stale, removeStale ? "were removed" : "are still here"));
    if (broken.empty() || !repair) return broken.empty() && (stale == 0 || removeStale);

    const size_t damaged = broken.size();
    // A release published as chunks: each damaged file is rebuilt from its good
    // chunks here and the store's others, not fetched whole.
    if (UpdateFromChunks() && !m_bStopping)
        for (auto it = broken.begin(); it != broken.end();) {
            if (!Problem(*this, run, it->first).empty()) {
                ++it;
                continue;
            }
            report(ShortName(it->first) + ": rebuilt from its chunks");
            it = broken.erase(it);
        }
    if (m_bStopping) return false;

    // Exactly those, whatever the local list says of them.
    m_nTaskKind = TASK_FILES;
    m_mapDownloadList = broken;
    m_bSuccess = true;
    if (!broken.empty()) {
        BeginFileStage(ListedBytes(broken));
        DownloadSegmented(1, (long long)broken.size());
        m_gauge.EndStage();
    }
    int left = 0;
    for (const auto& [name, version] : broken) {
        const std::string why = Problem(*this, run, name);
        if (why.empty()) continue;
        report(ShortName(name) + ": still " + why);
        ++left;
    }
    report(Format("%d of %d files repaired", int(damaged) - left, int(damaged)));
    if (left > 0 || m_bStopping) return false;
    const int removed = std::max(0, RemoveWhatTheReleaseRemoved(true, report));
    if (removed > 0) report(Format("%d files the release removed were removed", removed));
    // Every listed file is now the listed one: the local list may say so.
    if (m_bHashList) {
        m_nTaskKind = TASK_SAVE_VERSION;
        if (!FetchToFile("version.pat") || !m_bLastFetchOk) OutputDebugStringW("version.pat not saved after the repair");
        else KeepInstalledList();
    }
    return true;
}

}  // namespace fl
