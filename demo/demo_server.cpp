// fenwa-demo-server: the game platform on loopback, for the demo and the tests.
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "demo/DemoPlatform.h"

int main(int argc, char** argv) {
    fldemo::ContentOptions options;
    int port = 0;
    std::string installDir;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) throw std::runtime_error("missing value after " + a);
            return argv[++i];
        };
        try {
            if (a == "--port") port = std::stoi(next());
            else if (a == "--files") options.files = std::stoi(next());
            else if (a == "--file-size") options.fileSize = std::stoul(next());
            else if (a == "--launcher-version") options.launcherVersion = next();
            else if (a == "--pack-lacks") options.packLacks = std::stoi(next());
            else if (a == "--delay-ms") options.delayMs = std::stoi(next());
            else if (a == "--auto-login") options.autoLogin = true;
            else if (a == "--install-dir") installDir = next();
            else if (a == "--client") {
                std::ifstream f(next(), std::ios::binary);
                std::ostringstream s;
                s << f.rdbuf();
                options.clientBytes = s.str();
                if (options.clientBytes.empty()) throw std::runtime_error("cannot read the client program");
            } else {
                std::fprintf(stderr,
                             "usage: fenwa-demo-server [--port N] [--files N] [--file-size BYTES] [--client PATH]\n"
                             "                         [--install-dir DIR] [--launcher-version V] [--pack-lacks N]\n"
                             "                         [--delay-ms MS] [--auto-login]\n");
                return 2;
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "fenwa-demo-server: %s\n", e.what());
            return 2;
        }
    }
    // SIGINT and SIGTERM end the server cleanly.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);

    try {
        fldemo::CDemoPlatform platform(fldemo::BuildDemoContent(options), port);
        if (!installDir.empty()) platform.WriteInstallFolder(installDir);
        std::printf("listening on %s\nlogin address: %s\nresource server: %s\n", platform.Url("/").c_str(),
                    platform.LoginUrl().c_str(), platform.ResourceUrl().c_str());
        std::fflush(stdout);
        std::thread waiter([&] {
            int sig = 0;
            sigwait(&set, &sig);
            platform.RequestStop();
        });
        waiter.join();
        platform.Stop();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fenwa-demo-server: %s\n", e.what());
        return 1;
    }
    return 0;
}
