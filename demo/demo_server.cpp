// fenwa-demo-server: the game platform on loopback, for the demo. Its resource
// tree is published as the operators publish theirs (fenwa-publish's library),
// signed with the demo key the demo build pins.
#include <signal.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "demo/DemoHashList.h"
#include "demo/DemoPlatform.h"
#include "publish/Publisher.h"
#include "update/Downloader.h"

namespace {

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// The content's game files published as a release into TREE; the name of its full pack.
std::string PublishContent(const fldemo::DemoContent& c, const std::string& tree) {
    const std::string game = tree + ".game", key = tree + ".key";
    for (const auto& [name, bytes] : c.files) WriteBytes(game + "/" + fldemo::DemoContent::LocalName(name), bytes);
    WriteBytes(key, fldemo::DemoSecretKeyFile());
    fl::PublishOptions o;
    o.gameDir = game;
    o.outDir = tree;
    o.keyFile = key;
    if (c.launcherVersion != fl::kLauncherVersion) {
        o.launcherFile = tree + ".launcher";
        o.launcherVersion = c.launcherVersion;
        WriteBytes(o.launcherFile, c.launcherBytes);
    }
    std::string error;
    if (!fl::PublishRelease(o, error)) throw std::runtime_error("publishing the demo tree: " + error);
    std::ifstream packs(tree + "/PackVersion.pat");
    for (std::string line; std::getline(packs, line);)
        if (line.rfind("full_pack|", 0) == 0) {
            std::string name = line.substr(10);
            while (!name.empty() && (name.back() == '\r' || name.back() == ' ')) name.pop_back();
            return name + ".zip";
        }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    fldemo::ContentOptions options;
    int port = 0;
    std::string installDir, treeDir;
    long long packRate = 0;
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
            else if (a == "--tree") treeDir = next();
            else if (a == "--pack-rate") packRate = std::stoll(next());
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
                             "                         [--install-dir DIR] [--launcher-version V] [--tree DIR]\n"
                             "                         [--pack-rate BYTES_PER_SECOND] [--delay-ms MS] [--auto-login]\n");
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

    // A tree the server made for itself goes with it.
    std::string ownTree;
    struct RemoveTree {
        std::string& path;
        ~RemoveTree() {
            std::error_code ec;
            if (!path.empty()) std::filesystem::remove_all(path, ec);
        }
    } removeTree{ownTree};
    try {
        fldemo::CDemoPlatform platform(fldemo::BuildDemoContent(options), port);
        if (treeDir.empty()) {
            char pattern[] = "/tmp/fenwa-demo-tree-XXXXXX";
            if (!mkdtemp(pattern)) throw std::runtime_error("cannot make a folder for the tree");
            ownTree = pattern;
            treeDir = ownTree + "/res";
        }
        const std::string fullPack = PublishContent(platform.Content(), treeDir);
        platform.ServeTree(treeDir);
        // The pack and the chunk store slowed down together, so the progress panel
        // has something to show however many workers read them.
        if (packRate > 0 && !fullPack.empty()) {
            const std::string release = fullPack.substr(0, fullPack.size() - std::string("_full.zip").size());
            platform.CapResources({fullPack, release + ".chunks"}, packRate);
        }
        std::printf("published tree: %s\n", treeDir.c_str());
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
