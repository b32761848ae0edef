// The hand-off from the install-folder launcher to its copy in the data folder,
// and the restart after a self-update.
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <thread>

#include "app/AppMessage.h"
#include "app/Folders.h"
#include "app/StartupChecks.h"
#include "app/WobrApp.h"
#include "platform/FileOps.h"
#include "platform/ProcessStart.h"
#include "platform/TextCodec.h"
#include "platform/Trace.h"

namespace fl {

bool CWobrApp::RelaunchFromDataFolder(const std::string& argText) {
    const std::string modulePath = GetModulePathForStartup();
    if (modulePath.empty()) return false;
    if (modulePath.size() < 4 || modulePath.compare(modulePath.size() - 4, 4, ".exe") != 0) return false;

    const std::string dataFolder = GetDataFolder();
    EnsureFolder(dataFolder);
    const std::string copyPath = dataFolder + "/FLuncher.dydr";
    const std::string updatePath = dataFolder + "/FLuncher.updt";
    const std::string source = PathFileExists(updatePath) ? updatePath : modulePath;

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
    // The new copy is written beside the old one and renamed over it, so a copy
    // that fails leaves the old copy in place to be started.
    const std::string staging = copyPath + ".new";
    attempt([&] {
        if (!CopyFileKeepMode(source, staging, false)) {
            DeleteFile(staging);
            return false;
        }
        chmod(staging.c_str(), 0755);
        return rename(staging.c_str(), copyPath.c_str()) == 0;
    });

    // Whatever the copy achieved, the copy in the data folder is started.
    std::string installFolder = modulePath.substr(0, modulePath.rfind('/') + 1);
    const std::string forwarded = installFolder + "\"" + argText;
    OutputDebugStringW(forwarded);
    int err = StartProgram(copyPath, {forwarded}, dataFolder);
    if (err != 0) ShowAppMessage(Format("CreateProcess err:%d", err));
    return true;
}

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
