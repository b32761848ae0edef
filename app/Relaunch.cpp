// The hand-off from the install-folder launcher to its copy in the data folder,
// and the restart after a self-update.
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

#include "app/AppMessage.h"
#include "platform/Folders.h"
#include "app/StartupChecks.h"
#include "app/WobrApp.h"
#include "platform/FileOps.h"
#include "platform/ProcessStart.h"
#include "platform/RunLog.h"
#include "platform/TextCodec.h"
#include "platform/Trace.h"
#include "update/launcher/LauncherHealth.h"

namespace fl {

namespace {

// The install-folder launcher keeps no log of its own: a start that went back
// writes one, for the player to attach to a support request.
void LogWentBack(const std::string& dataFolder, const std::string& reason) {
    const bool opened = OpenRunLog(dataFolder);
    OutputDebugStringW(reason);
    if (opened) CloseRunLog();
}

}  // namespace

bool CWobrApp::RelaunchFromDataFolder(const std::string& argText) {
    const std::string modulePath = GetModulePathForStartup();
    if (modulePath.empty()) return false;
    if (modulePath.size() < 4 || modulePath.compare(modulePath.size() - 4, 4, ".exe") != 0) return false;

    const std::string dataFolder = GetDataFolder();
    EnsureFolder(dataFolder);
    const std::string copyPath = dataFolder + "/" + kCopyName;
    // A fetched launcher runs on probation; one that failed to prove itself gives way to the one before.
    CLauncherHealth health(dataFolder);
    CLauncherHealth::Choice choice = health.ChooseForStart(modulePath);
    if (!health.WentBackReason().empty()) LogWentBack(dataFolder, health.WentBackReason());

    // One budget of ten retries, a pause apart, serves the whole copy.
    int failures = 0;
    auto attempt = [&](const std::function<bool()>& step) {
        while (!step()) {
            if (failures >= 10) return false;
            ++failures;
            std::this_thread::sleep_for(std::chrono::milliseconds(m_nRelaunchRetryDelayMs));
        }
        return true;
    };
    // The new copy is written beside the old one, made runnable and renamed over
    // it, so a copy that fails leaves the old copy in place to be started.
    const std::string staging = copyPath + ".new";
    auto copyIn = [&](const CLauncherHealth::Choice& from) {
        return attempt([&] {
            if (!CopyFileKeepMode(from.path, staging, false) || chmod(staging.c_str(), 0755) != 0) {
                DeleteFile(staging);
                return false;
            }
            CLauncherHealth::Step("copied");
            return rename(staging.c_str(), copyPath.c_str()) == 0;
        });
    };
    bool copied = copyIn(choice);
    if (!copied && choice.source != "install") {
        // A full disk refuses every copy alike: the one before gets what is left of the budget.
        OutputDebugStringW("FLuncher.dydr could not be made from " + choice.path + ": the launcher before it is tried");
        choice = health.Fallback(modulePath);
        copied = copyIn(choice);
    }
    // Whatever the copy achieved, the copy in the data folder is started.
    health.RecordStart(copied ? &choice : nullptr);
    CLauncherHealth::Step("recorded-start");
    std::string installFolder = modulePath.substr(0, modulePath.rfind('/') + 1);
    const std::string forwarded = installFolder + "\"" + argText;
    OutputDebugStringW(forwarded);
    int err = StartProgram(copyPath, {forwarded}, dataFolder);
    if (err != 0 && copied && choice.source == "updt") {
        // A fetched launcher that cannot even be started is set aside now, not after two starts.
        health.SetAside(Format("it cannot be started (%s)", std::strerror(err)));
        LogWentBack(dataFolder, health.WentBackReason());
        choice = health.Fallback(modulePath);
        copied = copyIn(choice);
        health.RecordStart(copied ? &choice : nullptr);
        err = StartProgram(copyPath, {forwarded}, dataFolder);
    }
    if (err != 0) ShowAppMessage(Format("CreateProcess err:%d", err));
    return true;
}

void CWobrApp::LauncherProven(const std::string& why) { MarkLauncherProven(GetModulePathForStartup(), why); }

std::string CWobrApp::TakeLauncherNotice() { return CLauncherHealth(GetDataFolder()).TakeNotice(); }

void CWobrApp::RestartLauncher() {
    if (m_bHeadless) {
        OutputDebugStringW("a new launcher was fetched; the next start runs it");
        PostCloseToMainWindow();
        return;
    }
    std::string why;
    if (ShellOpenProgram(m_strLauncherFolder + kLauncherFileName, "", &why) != 0) OutputDebugStringW(why);
    PostCloseToMainWindow();
}

}  // namespace fl
