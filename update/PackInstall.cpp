// Bringing the run folder to the current resource pack.
#include <dirent.h>
#include <sys/stat.h>

#include "platform/Folders.h"
#include "platform/Clock.h"
#include "platform/FileOps.h"
#include "platform/Trace.h"
#include "update/Downloader.h"
#include "update/PathSafety.h"
#include "update/net/ResumeRecord.h"
#include "update/VersionFiles.h"

namespace fl {

namespace {

// The run folder now stands for the installed version.
void RecordInstall(const std::string& install, const std::string& run) {
    DeleteFile(run + "installver.pat");
    CopyFileKeepMode(install + "installver.pat", run + "installver.pat", true);
}

}  // namespace

bool CDownloader::UpdatePack() {
    m_nTaskKind = TASK_PACK_LIST;
    ResetListCounts();
    m_bPackValueRefused = false;
    if (!FetchListWhole("PackVersion.pat")) return false;
    if (m_bPackValueRefused) {
        // A pack named so that it would land outside the run folder is no pack.
        m_host.ShowStatusText("没有找到对应更新包.");
        return false;
    }
    const int state = GetPackState();
    if (state < 0) return false;
    if (state > 0) m_bChanged = true;
    if (state == 0) return true;
    if (state == 1) return DownloadNewPack(m_strNewVersion);
    if (state == 3 || state == 4) {
        const std::string install = m_settings.strLauncherFolder;
        // The full pack in place stands for the installed version as the
        // installer's pack would: recorded, or every later run fetches it again.
        auto fullPackForInstall = [&] {
            if (!DownloadFullPack()) return false;
            if (PathFileExists(install + "installver.pat")) RecordInstall(install, GetRunFolder(false));
            return true;
        };
        if (install.empty()) return DownloadFullPack();
        if (m_strFullPack.empty() || !PathFileExists(install + NormalizeSeparators(m_strFullPack) + ".dydr"))
            return fullPackForInstall();
        // Not the pack the list names: the server's is fetched instead.
        if (!UnpackInstallersPack(m_strFullPack)) return fullPackForInstall();
        m_host.SetStep(3);
        return true;
    }
    return DownloadFullPack();
}

bool CDownloader::UnpackInstallersPack(const std::string& pack) {
    const std::string install = m_settings.strLauncherFolder;
    const std::string run = GetRunFolder(false);
    const std::string source = install + NormalizeSeparators(pack) + ".dydr";
    const std::string target = run + NormalizeSeparators(pack) + ".zip";
    OutputDebugStringW("copying the installer's pack " + ShortName(source));
    EnsureFolder(run);
    CopyFileKeepMode(source, target, true, &m_bStopping);  // an existing target is unpacked as it is
    const std::string why = CheckLocalFile(target, pack + ".zip");
    if (!why.empty()) {
        OutputDebugStringW("the installer's pack is not the one hash.pat lists: " + why);
        DeleteFile(target);
        return false;
    }
    RecordInstall(install, run);
    // A damaged installer's pack leaves the previous list in place: what it
    // did not bring is fetched afterwards.
    if (UnzipPack(target) != UNZIP_OK) OutputDebugStringW("the installer's pack did not unpack whole");
    DeleteFile(target);
    return true;
}

void CDownloader::SeedFromInstallersPack() {
    const std::string install = m_settings.strLauncherFolder;
    const std::string run = GetRunFolder(false);
    if (install.empty() || PathFileExists(run + "version.pat") || !PathFileExists(install + "installver.pat")) return;
    // The release's full pack as the installer ships it: "<name>.dydr" for the listed "<name>.zip".
    DIR* folder = opendir(install.c_str());
    if (!folder) return;
    std::string pack;
    while (dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name.size() > 5 && name.compare(name.size() - 5, 5, ".dydr") == 0 &&
            m_hashList.Find(name.substr(0, name.size() - 5) + ".zip")) {
            pack = name.substr(0, name.size() - 5);
            break;
        }
    }
    closedir(folder);
    if (!pack.empty() && IsSafeSegment(pack + ".zip")) UnpackInstallersPack(pack);
}

int CDownloader::GetPackState() {
    const int code = CompareInstallVersion();
    if (code != 0) {
        TraceF("安装目录和运行目录的安装包版本不一致,code:%d", code);
        return code;
    }
    const std::string path = GetRunFolder(false) + "PackVersion.pat";
    if (!PathFileExists(path)) return 3;
    std::vector<std::string> lines;
    if (!ReadLines(path, lines)) {
        const std::string text = path + "已经打开,请先关闭该文件以完成更新.";
        m_host.ShowStatusText(text);
        Tell(text);
        return -1;
    }
    for (const auto& raw : lines) {
        const std::string line = Trim(raw);
        size_t bar = line.rfind('|');
        if (line.empty() || bar == std::string::npos) continue;
        const std::string version = Trim(line.substr(bar + 1));
        if (EqualsNoCase(version, m_strFullPack)) return 0;
        if (EqualsNoCase(version, m_strNewVersion)) return 0;
        if (EqualsNoCase(version, m_strLastVersion)) return 1;
        return 2;
    }
    return 2;
}

int CDownloader::CompareInstallVersion() {
    const std::string install = m_settings.strLauncherFolder;
    TraceF("安装目录:%s", install.c_str());
    if (install.empty() || !PathFileExists(install + "installver.pat")) return 0;
    std::vector<std::string> lines;
    if (!ReadLines(install + "installver.pat", lines)) return 4;
    const std::string installed = ReadFirstTrimmedLine(install + "installver.pat");
    const std::string run = GetRunFolder(false);
    TraceF("运行目录:%s", run.c_str());
    if (!ReadLines(run + "installver.pat", lines)) return 4;
    return EqualsNoCase(ReadFirstTrimmedLine(run + "installver.pat"), installed) ? 0 : 4;
}

bool CDownloader::DownloadFullPack() {
    m_host.SetStep(4);
    m_bFullPackDone = true;
    if (m_strFullPack.empty()) {
        m_host.ShowStatusText("没有找到对应更新包.");
        return false;
    }
    const std::string name = m_strFullPack + ".zip";
    m_strRequest = name;
    m_nTaskKind = TASK_FULL_PACK;
    const std::string target = GetRunFolder(false) + NormalizeSeparators(name);
    const Expectation expect = ExpectFor(name);
    for (int round = 1;; ++round) {
        m_nTotalSize = QueryRemoteSize(name);
        m_nReceived = 0;
        m_bPackDamaged = false;
        const std::string sizeProblem = CBodyCheck(expect).SizeProblem(m_nTotalSize);
        if (m_nTotalSize > 0 && !sizeProblem.empty()) {
            OutputDebugStringW(Format("%s is not the file hash.pat lists: %s", ShortName(name).c_str(), sizeProblem.c_str()));
            m_bSuccess = false;
            Tell(Format("文件[%s]下载失败!", ShortName(name).c_str()));
            return false;
        }
        // A pack merged by an earlier run that was cut short before it was unpacked
        // is used again while it is still the server's (and the listed one).
        ResumeRecord merged;
        long long held = 0;
        if (LoadResume(target, merged, held) && held == merged.total && merged.total == m_nTotalSize &&
            merged.validator == m_strSizeValidator && CheckLocalFile(target, name).empty()) {
            OutputDebugStringW("the pack merged by an earlier run is still the server's: " + ShortName(target));
            RemoveSegments();  // left behind by a run cut off right after the merge
        } else {
            // What the halves hold already is on the disk; the rest must fit.
            if (!EnsureSpace(m_nTotalSize - SegmentBytesHeld())) return false;
            const uint32_t t = timeGetTime();
            m_gauge.BeginStage([this] { return m_nTotalSize - m_nReceived; });
            DownloadSegmented(2, m_nTotalSize);
            TraceF("下载更新包花费时间：%d", int(timeGetTime() - t));
            m_bWorkersBusy = false;
            m_gauge.EndStage();  // not while merging and unpacking
            MergeSegments();
        }
        // Damaged on the way: fetched once more before the run gives up.
        if (!m_bPackDamaged || round == 2 || m_bStopping) break;
        m_host.ShowTransferNote(ShortName(name) + " is not the file hash.pat lists; fetching it again");
    }
    if (m_bPackDamaged) {
        m_bSuccess = false;
        Tell(Format("文件[%s]下载失败!", ShortName(name).c_str()));
        return false;
    }
    if (!PathFileExists(target)) return false;
    const int unpacked = UnzipPack(target);
    // The pack is whole: kept for the next run.
    if (unpacked == UNZIP_NO_SPACE || unpacked == UNZIP_STOPPED) return false;
    if (unpacked != UNZIP_OK) {
        // A pack that does not unpack is fetched anew next time: as large as the
        // game, it is not kept.
        DeleteFile(target);
        RemoveResume(target);
        m_host.ShowStatusText("文件[" + ShortName(target) + "]解压失败,你可以尝试手动解压该文件.");
        return false;
    }
    DeleteFile(target);
    RemoveResume(target);
    return true;
}

long long CDownloader::SegmentBytesHeld() const {
    long long held = 0;
    for (int w = 0; w < 2; ++w) {
        DownloadWorkItem item;
        item.worker = w;
        struct stat st {};
        const std::string temp = MakeSegmentTempName(item);
        if (!temp.empty() && stat(temp.c_str(), &st) == 0) held += (long long)st.st_size;
    }
    return held;
}

bool CDownloader::DownloadNewPack(const std::string& version) {
    m_nTaskKind = TASK_NEW_PACK;
    if (version.empty()) {
        m_host.ShowStatusText("没有找到对应更新包.");
        return false;
    }
    const std::string name = version + ".zip";
    // A transfer that broke off left no archive: there is nothing to unpack.
    const bool fetched = FetchToFile(name) && m_bLastFetchOk;
    m_gauge.EndStage();
    if (!fetched) return false;
    const std::string path = GetRunFolder(false) + NormalizeSeparators(name);
    const int unpacked = UnzipPack(path);
    if (unpacked == UNZIP_NO_SPACE || unpacked == UNZIP_STOPPED) return false;
    DeleteFile(path);  // whole or not: the next run fetches the pack again
    if (unpacked != UNZIP_OK) {
        m_host.ShowStatusText("文件[" + ShortName(path) + "]解压失败,你可以尝试手动解压该文件.");
        return false;
    }
    m_host.ShowStatusText("已成功更新至版本[" + ShortName(version) + "]");
    m_host.ShowStatusText("update to new version[" + ShortName(version) + "] success!");
    return true;
}

}  // namespace fl
