// Files the previous release installed and the new one no longer lists leave
// the run folder, once the new release is whole there.
#include "app/Folders.h"
#include "app/WobrApp.h"
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
    m_vecListedBefore.clear();
    const int kind = m_nTaskKind;
    if (LoadLocalVersionList())
        for (const auto& entry : m_mapLocalFiles) m_vecListedBefore.push_back(entry.first);
    MoveEarlierRecords(run, [&](const std::string& name) {
        return m_mapLocalFiles.count(name) || m_mapLocalFiles.count(NormalizeSeparators(name));
    });
    m_mapLocalFiles.clear();
    m_nTaskKind = kind;
    m_strSignedBefore.clear();
    m_strSignatureBefore.clear();
    // Before the first whole run that keeps one, the last accepted list stands in:
    // a file is only ever removed when it is byte for byte what a signed list names.
    for (const char* name : {kInstalledList, kKeptListFile})
        if (ReadWholeFile(RecordPath(run, name), m_strSignedBefore) &&
            ReadWholeFile(RecordPath(run, std::string(name) + ".minisig"), m_strSignatureBefore))
            return;
    m_strSignedBefore.clear();
    m_strSignatureBefore.clear();
}

int CDownloader::RemoveWhatTheReleaseRemoved(bool apply, const std::function<void(const std::string&)>& report) {
    const std::vector<MinisignPublicKey> keys = ParsePinnedKeys(m_app.m_strPinnedKeys);
    std::string release;
    long long time = 0;
    CHashList before;
    if (!m_bHashList || keys.empty() || m_strSignedBefore.empty() ||
        !VerifySignedList(m_strSignedBefore, m_strSignatureBefore, keys, release, time) || !before.Parse(m_strSignedBefore)) {
        OutputDebugStringW("no signed list of the previous release here: no file is removed");
        return -1;
    }
    // Everything the release in force names, by every list of it.
    std::set<std::string> current;
    m_hashList.ForEach([&](const std::string& name, const HashEntry&) { current.insert(NormalizeSeparators(name)); });
    for (const auto& entry : m_mapServerFiles) current.insert(NormalizeSeparators(entry.first));
    const std::string run = GetRunFolder(false);
    const std::vector<RemovedFile> found = FindRemovedFiles(run, m_vecListedBefore, current, before);
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

bool CDownloader::FolderWholeForListInForce() {
    if (!m_bHashList || m_strListInForceSha.empty()) return false;
    const std::string run = GetRunFolder(false);
    std::string installed;
    return Sha256OfFile(RecordPath(run, kInstalledList), installed) && installed == m_strListInForceSha &&
           InstalledStateHolds(run);
}

}  // namespace fl
