// flauncher-cli: the update without a window, for players without a display,
// operators checking a resource server, and end-to-end tests.
//
//   flauncher-cli update --install-dir DIR (--login-url URL | --page-values FILE) [--no-client]
//   flauncher-cli verify --install-dir DIR (--login-url URL | --page-values FILE) [--repair]
//
// Exit status: 0 the update completed; 3 a new launcher was fetched and a
// restart requested; 1 the update ended in any other way; 2 wrong arguments or
// no engine could be created; 4 another launcher or runner was running. verify: 0 the run folder is whole (after the
// repair, with --repair), 1 it is not or the lists could not be fetched.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/Folders.h"
#include "app/AppMessage.h"
#include "cli/CliFrontEnd.h"
#include "cli/CliHost.h"
#include "platform/FileOps.h"
#include "platform/InstanceLock.h"
#include "platform/RunLog.h"
#include "platform/Trace.h"
#include "update/Downloader.h"
#include "update/integrity/PinnedKeys.h"
#include "update/launcher/LauncherHealth.h"
#include "update/net/RateLimit.h"
#include "web/LoginFetch.h"
#include "web/PageValue.h"

namespace {

// The usage: asked for (--help) on standard output with 0, after a wrong argument on standard error with 2.
int Usage(const char* why) {
    if (why) std::fprintf(stderr, "flauncher-cli: %s\n", why);
    std::fprintf(why ? stderr : stdout,
                 "usage: flauncher-cli update --install-dir DIR (--login-url URL | --page-values FILE) "
                 "[--no-client] [--limit-rate RATE]\n"
                 "       flauncher-cli verify --install-dir DIR (--login-url URL | --page-values FILE) "
                 "[--repair] [--limit-rate RATE]\n"
                 "       flauncher-cli --help | --version\n"
                 "RATE: bytes per second for every transfer together, with K, M or G (2M); 0 no cap.\n"
                 "Exit status: 0 done, 1 the update (or the folder) is not whole, 2 wrong arguments,\n"
                 "3 a new launcher was fetched in this run (one fetched before is not fetched again:\n"
                 "the update goes on), 4 another launcher or flauncher-cli is running.\n");
    return why ? 2 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string installDir, loginUrl, valuesFile;
    bool noClient = false, repair = false;
    long long limitRate = 0;
    const std::string command = argc < 2 ? std::string() : argv[1];
    if (command == "--help" || command == "-h") return Usage(nullptr);
    if (command == "--version") {
        std::printf("flauncher-cli %s\n", fl::kLauncherVersion);
        return 0;
    }
    if (command.empty()) return Usage("no command given");
    if (command != "update" && command != "verify") return Usage(("unknown command " + command).c_str());
    const bool verify = command == "verify";
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        if (a == "--help" || a == "-h") return Usage(nullptr);
        if (a == "--install-dir") {
            if (!value(installDir)) return Usage("--install-dir needs a folder");
        } else if (a == "--login-url") {
            if (!value(loginUrl)) return Usage("--login-url needs an address");
        } else if (a == "--page-values") {
            if (!value(valuesFile)) return Usage("--page-values needs a file");
        } else if (a == "--no-client" && !verify) {
            noClient = true;
        } else if (a == "--repair" && verify) {
            repair = true;
        } else if (a == "--limit-rate") {
            std::string rate;
            if (!value(rate) || (limitRate = fl::ParseRate(rate)) < 0)
                return Usage("--limit-rate needs bytes a second, with K, M or G (2M)");
        } else {
            return Usage(("unknown option " + a).c_str());
        }
    }
    if (installDir.empty()) return Usage("--install-dir is required");
    if (loginUrl.empty() == valuesFile.empty()) return Usage("give exactly one of --login-url and --page-values");
    if (!fl::IsFolder(installDir)) return Usage(("no such folder: " + installDir).c_str());
    // Paths are taken relative to where the runner was started, before it moves to the data folder.
    installDir = fl::AbsolutePath(installDir);
    if (!valuesFile.empty()) valuesFile = fl::AbsolutePath(valuesFile);
    if (installDir.back() != '/') installDir += '/';

    // One launcher at a time, window or runner: two updates of one data folder
    // would overwrite each other's files.
    fl::CInstanceLock lock(fl::kLauncherMutexName);
    if (lock.Acquire(5000) == fl::CInstanceLock::Result::TimedOut) {
        std::fprintf(stderr, "当前系统中还有“更新工具”正在运行，请先关闭！！！\n"
                             "flauncher-cli: another launcher or flauncher-cli is running for this user; "
                             "run again when it has ended\n");
        return 4;
    }

    flcli::CCliProgress progress;
    flcli::CCliBoxes boxes(progress);
    fl::SetMessageBoxHost(&boxes);
    flcli::CCliWindow window;
    int status = 1;
    {
        // No home to put the data folder in: the runner says so and ends.
        fl::SetNoHomeHandler([&window] {
            fl::ShowAppMessage("获取运行路径失败");
            window.PostClose();
        });
        // The runner stands where the relaunched launcher stands: in the data folder.
        const std::string data = fl::GetDataFolder();
        fl::UpdateSettings settings;
        settings.strPinnedKeys = fl::BuildPinnedKeys();
        settings.nLimitRate = limitRate;
        settings.strLauncherFolder = installDir;
        flcli::CCliHost app(window, progress, settings, data, !noClient);
        fl::EnsureFolder(data);
        if (chdir(data.c_str()) != 0) {
            std::fprintf(stderr, "flauncher-cli: cannot enter %s\n", data.c_str());
            return 1;
        }
        if (!fl::OpenRunLog(data)) std::fprintf(stderr, "flauncher-cli: no log written in %s/logs\n", data.c_str());
        fl::TraceF("flauncher-cli %s %s", fl::kLauncherVersion, command.c_str());
        {
            // A fetched launcher that failed its starts is set aside here as a start would.
            fl::CLauncherHealth health(data);
            health.CheckForRunner();
            const std::string notice = health.TakeNotice();
            if (!notice.empty()) progress.Say(stderr, notice);
            if (!health.WentBackReason().empty()) progress.Say(stderr, "flauncher-cli: went back: " + health.WentBackReason());
        }
        app.StepReports().Start();

        if (!loginUrl.empty()) {
            if (fl::HandleLoginUrl(app, loginUrl) == 0) return Usage("not a login address (it needs \"/login?\")");
            if (window.m_nLastCode != fl::kCodeStartUpdate) {
                std::fprintf(stderr, "flauncher-cli: the login address gave no usable values\n");
                return 1;
            }
        } else {
            std::string text;
            if (!fl::ReadWholeFile(valuesFile, text)) return Usage(("cannot read " + valuesFile).c_str());
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
            window.GameParams().Assign(text);
            app.SetPageValues(text);
            app.SetStep(1);
        }

        if (verify) {
            fl::CDownloader* engine = app.Engine();
            if (!engine) return 2;
            const bool whole =
                engine->VerifyRunFolder(repair, [&](const std::string& line) { progress.Say(stdout, line); });
            fl::TraceF("result: the run folder is %s (exit %d)", whole ? "whole" : "not whole", whole ? 0 : 1);
            fl::SetMessageBoxHost(nullptr);
            return whole ? 0 : 1;
        }

        std::atomic<bool> taskEnded{false};
        std::thread update([&] {
            if (fl::CDownloader* engine = app.Engine()) engine->StartDownLoadTask();
            taskEnded = true;
            window.m_hWake.Set();
        });
        window.m_hWake.Wait();
        if (!taskEnded) app.Shutdown();  // a close request ends the run promptly
        update.join();

        fl::CDownloader* engine = app.ExistingEngine();
        if (!engine)
            status = 2;
        else if (engine->m_bLauncherUpdated && fl::PathFileExists(fl::GetDataFolder() + "/FLuncher.updt"))
            status = 3;
        else if (engine->m_bCompleted)
            status = 0;
        else
            status = 1;
        fl::TraceF("result: %s (exit %d)",
                   status == 0 ? "the update completed" : status == 3 ? "a new launcher was fetched" : "the update did not complete",
                   status);
    }
    fl::CloseRunLog();
    fl::SetMessageBoxHost(nullptr);
    return status;
}
