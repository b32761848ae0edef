#include "update/launcher/LauncherHealth.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#include "platform/ErrorFile.h"
#include "platform/Folders.h"
#include "platform/Trace.h"
#include "platform/TextCodec.h"
#include "update/integrity/Sha256.h"

namespace fl {

namespace {

void (*g_stepHook)(const char*) = nullptr;

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

long long ModifiedAt(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? (long long)st.st_mtime : -1;
}

bool Flush(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

// What changes when a file is replaced or written: a stamp to tell a digest is still good.
std::string StampOf(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return "";
    return std::to_string((long long)st.st_size) + ":" + std::to_string((long long)st.st_ctim.tv_sec) + "." +
           std::to_string((long long)st.st_ctim.tv_nsec) + ":" + std::to_string((unsigned long long)st.st_ino);
}

std::string Short(const std::string& sha) { return sha.substr(0, 12); }

std::string Then(const CLauncherHealth::Choice& fallback) {
    return fallback.source == "prev" ? "the launcher that proved itself before it (FLuncher.prev) runs instead"
                                     : "the install folder's launcher runs instead";
}

}  // namespace

CLauncherHealth::CLauncherHealth(std::string dataFolder) : m_strFolder(std::move(dataFolder)) {
    while (m_strFolder.size() > 1 && m_strFolder.back() == '/') m_strFolder.pop_back();
}

void CLauncherHealth::SetStepHook(void (*hook)(const char*)) { g_stepHook = hook; }

void CLauncherHealth::Step(const char* step) {
    if (g_stepHook) g_stepHook(step);
}

std::string CLauncherHealth::DescribeFailure(const LauncherState& s) const {
    std::string why = Format("it was started %d times and never proved itself", s.attempts);
    // The crash filter of a copy that ran from the data folder writes its dump there.
    const long long dump = ModifiedAt(Path("luncher.dmp"));
    if (s.lastStart > 0 && dump >= s.lastStart) why += " (the last start crashed: see luncher.dmp)";
    else why += " (it crashed, hung or was closed before it showed the login view and finished an update)";
    return why;
}

void CLauncherHealth::SetAsideLocked(LauncherState& s, const std::string& why, const std::string& then) {
    const std::string version = s.updtVersion.empty() ? "of an unknown version" : s.updtVersion;
    // Kept under another name for a look at it; a file that cannot move is removed.
    if (std::rename(Path(kUpdtName).c_str(), Path(kBadName).c_str()) != 0) unlink(Path(kUpdtName).c_str());
    m_strReason = Format("the launcher %s (FLuncher.updt, sha256 %s) was set aside: %s; it is not fetched again "
                         "until the server lists another; %s",
                         version.c_str(), Short(s.updtSha).c_str(), why.c_str(), then.c_str());
    s.refusedVersion = s.updtVersion;
    s.refusedSha = s.updtSha;
    s.refusedReason = why;
    s.notice = s.updtVersion.empty() ? std::string("新版本登录器无法正常运行，已换回之前的版本。")
                                     : "新版本登录器(" + s.updtVersion + ")无法正常运行，已换回之前的版本。";
    s.updtSha.clear();
    s.updtVersion.clear();
    s.updtStamp.clear();
    s.updtGood = false;
    s.attempts = 0;
    s.lastStart = 0;
    SaveLauncherState(m_strFolder, s);
    OutputDebugStringW(m_strReason);
    WriteErrorLineIn(m_strFolder, m_strReason + "\n");
}

CLauncherHealth::Choice CLauncherHealth::ChooseForStart(const std::string& installLauncher) {
    LauncherState s = LoadLauncherState(m_strFolder);
    const std::string updt = Path(kUpdtName);
    std::string sha;
    const std::string stamp = StampOf(updt);
    // A proven launcher unchanged since its digest was taken is not read again: starts cost the copy only.
    const bool known = !stamp.empty() && stamp == s.updtStamp && !s.updtSha.empty();
    if (known) sha = s.updtSha;
    if (IsRegularFile(updt) && (known || Sha256OfFile(updt, sha))) {
        if (!s.refusedSha.empty() && sha == s.refusedSha) {
            // Set aside before, and back again (copied in by hand, or a move that failed).
            if (std::rename(updt.c_str(), Path(kBadName).c_str()) != 0) unlink(updt.c_str());
            OutputDebugStringW("FLuncher.updt is the launcher set aside before: not started");
        } else {
            if (sha != s.updtSha) {
                // Not the one a self-update recorded: on probation like any new one.
                s.updtSha = sha;
                s.updtVersion.clear();
                s.updtGood = false;
                s.attempts = 0;
            }
            if (s.updtStamp != stamp) {
                s.updtStamp = stamp;
                SaveLauncherState(m_strFolder, s);
            }
            if (s.updtGood || s.attempts < kProbationStarts) return {updt, "updt", sha};
            SetAsideLocked(s, DescribeFailure(s), Then(Fallback(installLauncher)));
        }
    }
    return Fallback(installLauncher);
}

CLauncherHealth::Choice CLauncherHealth::Fallback(const std::string& installLauncher) const {
    const LauncherState s = LoadLauncherState(m_strFolder);
    std::string sha;
    if (!s.prevSha.empty() && IsRegularFile(Path(kPrevName)) && Sha256OfFile(Path(kPrevName), sha) && sha == s.prevSha)
        return {Path(kPrevName), "prev", sha};
    return {installLauncher, "install", ""};
}

void CLauncherHealth::RecordStart(const Choice* choice) {
    LauncherState s = LoadLauncherState(m_strFolder);
    s.runSource = choice ? choice->source : "";
    s.runSha = choice ? choice->sha : "";
    if (choice && choice->source == "updt" && choice->sha == s.updtSha && !s.updtGood) {
        ++s.attempts;
        s.lastStart = (long long)std::time(nullptr);
        TraceF("the launcher %s starts on probation (start %d of %d)",
               s.updtVersion.empty() ? "in FLuncher.updt" : s.updtVersion.c_str(), s.attempts, kProbationStarts);
    }
    SaveLauncherState(m_strFolder, s);
}

void CLauncherHealth::SetAside(const std::string& why) {
    LauncherState s = LoadLauncherState(m_strFolder);
    std::string sha;
    if (!IsRegularFile(Path(kUpdtName))) return;
    if (Sha256OfFile(Path(kUpdtName), sha) && sha != s.updtSha) {
        s.updtSha = sha;
        s.updtVersion.clear();
    }
    SetAsideLocked(s, why, "the launcher before it runs instead");
}

void CLauncherHealth::CheckForRunner() {
    LauncherState s = LoadLauncherState(m_strFolder);
    if (s.updtGood || s.attempts < kProbationStarts || !IsRegularFile(Path(kUpdtName))) return;
    std::string sha;
    if (!Sha256OfFile(Path(kUpdtName), sha) || sha != s.updtSha) return;  // another file: a start puts it on probation
    SetAsideLocked(s, DescribeFailure(s), "the next start runs the launcher before it");
}

void CLauncherHealth::MarkProven(const std::string& modulePath, const std::string& why) {
    if (modulePath != Path(kCopyName)) return;
    LauncherState s = LoadLauncherState(m_strFolder);
    if (s.runSource != "updt" || s.runSha.empty() || s.runSha != s.updtSha || s.updtGood) return;
    s.updtGood = true;
    s.attempts = 0;
    if (SaveLauncherState(m_strFolder, s))
        TraceF("the launcher %s proved itself (%s): it stays", s.updtVersion.empty() ? "in FLuncher.updt" : s.updtVersion.c_str(),
               why.c_str());
}

bool CLauncherHealth::IsRefused(const std::string& version, const std::string& sha) const {
    const LauncherState s = LoadLauncherState(m_strFolder);
    if (!sha.empty() && sha == s.refusedSha) return true;
    if (s.refusedVersion.empty() || !EqualsNoCase(version, s.refusedVersion)) return false;
    // The same version published again with other bytes is another launcher.
    return s.refusedSha.empty() || sha.empty();
}

bool CLauncherHealth::Holds(const std::string& sha) const {
    if (sha.empty()) return false;
    const LauncherState s = LoadLauncherState(m_strFolder);
    std::string held;
    return s.updtSha == sha && Sha256OfFile(Path(kUpdtName), held) && held == sha;
}

bool CLauncherHealth::PlaceNew(const std::string& tempPath, const std::string& version, std::string& why) {
    std::string sha;
    if (chmod(tempPath.c_str(), 0755) != 0) {
        why = std::string("it cannot be made runnable: ") + std::strerror(errno);
        return false;
    }
    if (!Flush(tempPath) || !Sha256OfFile(tempPath, sha)) {
        why = std::string("it cannot be written to the disk: ") + std::strerror(errno);
        return false;
    }
    LauncherState s = LoadLauncherState(m_strFolder);
    const std::string updt = Path(kUpdtName), prev = Path(kPrevName);
    std::string oldSha;
    if (s.updtGood && IsRegularFile(updt) && Sha256OfFile(updt, oldSha) && oldSha == s.updtSha && oldSha != sha) {
        // The launcher that proved itself stays as the way back; FLuncher.updt is never absent meanwhile.
        const std::string staging = prev + ".new";
        unlink(staging.c_str());
        if (link(updt.c_str(), staging.c_str()) == 0 && std::rename(staging.c_str(), prev.c_str()) == 0) {
            Step("kept-previous");
            s.prevSha = s.updtSha;
            s.prevVersion = s.updtVersion;
            SaveLauncherState(m_strFolder, s);
        } else {
            unlink(staging.c_str());
            OutputDebugStringW("the proven launcher could not be kept as FLuncher.prev");
        }
    }
    Step("before-rename");
    if (std::rename(tempPath.c_str(), updt.c_str()) != 0) {
        why = std::string("it cannot be put in place: ") + std::strerror(errno);
        return false;
    }
    Step("after-rename");
    // The same bytes again (fetched again, or another version name for them)
    // keep what the record knows of them: what they proved and the starts they used.
    const bool same = sha == s.updtSha;
    s.updtSha = sha;
    s.updtVersion = version;
    s.updtStamp = StampOf(updt);
    if (!same) {
        s.updtGood = false;
        s.attempts = 0;
        s.lastStart = 0;
    }
    SaveLauncherState(m_strFolder, s);
    Step("recorded");
    return true;
}

std::string CLauncherHealth::TakeNotice() {
    LauncherState s = LoadLauncherState(m_strFolder);
    if (s.notice.empty()) return "";
    std::string notice = std::move(s.notice);
    s.notice.clear();
    SaveLauncherState(m_strFolder, s);
    return notice;
}

void MarkLauncherProven(const std::string& modulePath, const std::string& why) {
    static std::mutex s_cs;
    std::lock_guard lock(s_cs);
    CLauncherHealth(GetDataFolder()).MarkProven(modulePath, why);
}

}  // namespace fl
