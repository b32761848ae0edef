// Files the previous release installed and the new one no longer lists leave
// the run folder, once the new release is whole there.
#include <unistd.h>

#include "platform/Folders.h"
#include "platform/FileOps.h"
#include "platform/Trace.h"
#include "update/Downloader.h"
#include "update/PathSafety.h"
#include "update/RunRecords.h"
#include "update/integrity/Sha256.h"
#include "update/InstalledState.h"
#include "update/RemovedFiles.h"
#include "update/integrity/HashList.h"

namespace fl {

namespace {
// The signed list the run folder was last whole for, with its signature.
constexpr const char* kInstalledList = "hash.pat.installed";
}  // namespace

void CDownloader::CaptureInstalledState() {
    const std::string run = GetRunFolder(false);
    const int kind = m_nTaskKind;
    if (!IsFolder(RecordsFolder(run))) {
        LoadLocalVersionList();
        MoveEarlierRecords(run, [&](const std::string& name) {
            return m_mapLocalFiles.count(name) || m_mapLocalFiles.count(NormalizeSeparators(name));
        });
        m_mapLocalFiles.clear();
        m_nTaskKind = kind;
    }
    EnsureFolder(RecordsFolder(run));
    // Copies, not memory: a list of 100,000 files is held only while it is used.
    m_strListedBeforePath = RecordPath(run, "version.pat.before");
    if (!PathFileExists(run + "version.pat") || !CopyFileKeepMode(run + "version.pat", m_strListedBeforePath, false)) {
        unlink(m_strListedBeforePath.c_str());
        m_strListedBeforePath.clear();
    }
    // The list the folder is whole for stays as it is until the run ends whole. Before the first whole
    // run that keeps one, the last accepted list stands in (copied: a newer list replaces it):
    // a file is only ever removed when it is byte for byte what a signed list names.
    m_strSignedBeforePath.clear();
    const std::string installed = RecordPath(run, kInstalledList), kept = RecordPath(run, kKeptListFile);
    const std::string before = RecordPath(run, "hash.pat.before");
    if (PathFileExists(installed) && PathFileExists(installed + ".minisig")) {
        m_strSignedBeforePath = installed;
    } else if (CopyFileKeepMode(kept, before, false) && CopyFileKeepMode(kept + ".minisig", before + ".minisig", false)) {
        m_strSignedBeforePath = before;
    }
}

void CDownloader::ForgetInstalledState() {
    const std::string run = GetRunFolder(false);
    for (const char* copy : {"version.pat.before", "hash.pat.before", "hash.pat.before.minisig"})
        unlink(RecordPath(run, copy).c_str());
    m_strListedBeforePath.clear();
    m_strSignedBeforePath.clear();
}

int CDownloader::RemoveWhatTheReleaseRemoved(bool apply, const std::function<void(const std::string&)>& report) {
    const std::vector<MinisignPublicKey> keys = ParsePinnedKeys(m_settings.strPinnedKeys);
    std::string release, signedBefore, signatureBefore;
    long long time = 0;
    CHashList before;
    if (!m_bHashList || keys.empty() || m_strSignedBeforePath.empty() ||
        !ReadWholeFile(m_strSignedBeforePath, signedBefore) ||
        !ReadWholeFile(m_strSignedBeforePath + ".minisig", signatureBefore) ||
        !VerifySignedList(signedBefore, signatureBefore, keys, release, time) || !before.Parse(signedBefore)) {
        OutputDebugStringW("no signed list of the previous release here: no file is removed");
        return -1;
    }
    signedBefore.clear();
    signedBefore.shrink_to_fit();
    // What the saved list named at the run's start.
    std::vector<std::string> listedBefore;
    const int kind = m_nTaskKind;
    std::map<std::string, std::string> local;
    local.swap(m_mapLocalFiles);
    if (!m_strListedBeforePath.empty() && LoadLocalVersionList(m_strListedBeforePath))
        for (const auto& entry : m_mapLocalFiles) listedBefore.push_back(entry.first);
    m_mapLocalFiles.swap(local);
    m_nTaskKind = kind;
    // Everything the release in force names, by every list of it.
    std::set<std::string> current;
    m_hashList.ForEach([&](const std::string& name, const HashEntry&) { current.insert(NormalizeSeparators(name)); });
    for (const auto& entry : m_mapServerFiles) current.insert(NormalizeSeparators(entry.first));
    const std::string run = GetRunFolder(false);
    const std::vector<RemovedFile> found = FindRemovedFiles(run, listedBefore, current, before);
    int ours = 0;
    for (const RemovedFile& file : found) {
        if (file.ours) {
            ++ours;
            report(ShortName(file.name) + ": the release removed it" + (apply ? "; removed" : ""));
        } else {
            report(ShortName(file.name) + ": the release removed it, but it stays: " + file.why + " (changed here)");
        }
    }
    if (apply && ours > 0) TraceF("%d files the release removed are gone", RemoveOurFiles(run, found));
    return ours;
}

void CDownloader::KeepInstalledList() {
    if (!m_bHashList) return;
    const std::string run = GetRunFolder(false);
    std::string list, signature;
    if (!ReadWholeFile(RecordPath(run, kKeptListFile), list) || !ReadWholeFile(RecordPath(run, std::string(kKeptListFile) + ".minisig"), signature))
        return;
    // The signature first: a kill between the two leaves a pair that fails to verify, never a wrong one accepted.
    if (!WriteFileAtomically(RecordPath(run, std::string(kInstalledList) + ".minisig"), signature) ||
        !WriteFileAtomically(RecordPath(run, kInstalledList), list)) {
        OutputDebugStringW("the list the folder is whole for was not kept");
        RemoveInstalledState(run);
        return;
    }
    // The files as they stand now: the next run with this list checks them by size and time alone.
    // The saved lists too: a list changed by hand is a folder to look at again.
    std::vector<std::string> names;
    for (const char* list : {"version.pat", "PackVersion.pat"})
        if (PathFileExists(run + list)) names.push_back(list);
    for (const auto& [name, version] : m_mapServerFiles)
        if (IsSafeRelativeName(name)) names.push_back(NormalizeSeparators(name));
    if (!SaveInstalledState(run, names)) OutputDebugStringW("the state of the whole folder was not recorded");
}

bool CDownloader::ListWholeBefore(CHashList& list) {
    const std::string run = GetRunFolder(false);
    std::string text;
    return ReadWholeFile(RecordPath(run, kInstalledList), text) && list.Parse(text) && !list.Release().empty() &&
           InstalledStateHolds(run);
}

bool CDownloader::FolderWholeForListInForce() {
    if (!m_bHashList || m_strListInForceSha.empty()) return false;
    const std::string run = GetRunFolder(false);
    std::string installed;
    return Sha256OfFile(RecordPath(run, kInstalledList), installed) && installed == m_strListInForceSha &&
           InstalledStateHolds(run);
}

}  // namespace fl
