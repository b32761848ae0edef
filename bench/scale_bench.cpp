// A game of many small files and one large one, through the runner and nginx,
// beside what the same work costs the tools players and operators know:
//  - publishing (ours beside sha256sum of the tree and zip -r -1 of it);
//  - a fresh install (ours beside rsync -a of the same tree);
//  - a start with nothing to update (ours beside stat of every file of the tree);
//  - an update changing 1 % of the small files (ours beside rsync -a of the changed tree);
// each with its wall time and peak memory.
//
//   scale_bench [small files, default 100000] [MiB of the large file, default 4096]
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "bench/BenchSupport.h"
#include "demo/DemoHashList.h"
#include "publish/Publisher.h"
#include "tests/support/Nginx.h"

using namespace flbench;
namespace fs = std::filesystem;

namespace {

void Write(const std::string& path, const char* data, size_t size) {
    std::ofstream f(path, std::ios::binary);
    f.write(data, std::streamsize(size));
}

// Incompressible bytes, quickly.
void Fill(std::string& s, std::mt19937_64& r) {
    for (size_t i = 0; i + 8 <= s.size(); i += 8) {
        const uint64_t v = r();
        std::memcpy(s.data() + i, &v, 8);
    }
}

void MakeGame(const std::string& game, int files, long long bigMiB) {
    std::mt19937_64 r(7);
    std::string bytes;
    for (int i = 0; i < files; ++i) {
        const std::string folder = game + "/d" + std::to_string(i % 100);
        if (i < 100) fs::create_directories(folder);
        bytes.resize(1024 + size_t(r() % 7169));
        Fill(bytes, r);
        Write(folder + "/f" + std::to_string(i) + ".dat", bytes.data(), bytes.size());
    }
    std::ofstream big(game + "/big.pak", std::ios::binary);
    bytes.resize(1 << 20);
    for (long long m = 0; m < bigMiB; ++m) {
        Fill(bytes, r);
        big.write(bytes.data(), std::streamsize(bytes.size()));
    }
}

void Row(const std::string& what, const ChildRun& ours, const ChildRun& base, const std::string& baseName) {
    std::printf("%-34s ours %8.2f s %7.1f MiB   %-22s %8.2f s %7.1f MiB%s\n", what.c_str(), ours.seconds,
                double(ours.peakKiB) / 1024.0, baseName.c_str(), base.seconds, double(base.peakKiB) / 1024.0,
                ours.status == 0 ? "" : "   (ours FAILED)");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (int rc = MeasureMode(argc, argv); rc >= 0) return rc;
    const int files = argc > 1 ? std::atoi(argv[1]) : 100000;
    const long long bigMiB = argc > 2 ? std::atoll(argv[2]) : 4096;
    // On the disk: a game of gigabytes, its tree, an install and a copy do not fit in memory.
    char folder[] = "/var/tmp/fenwa-scale-XXXXXX";
    const std::string root = bigMiB >= 1024 ? std::string(mkdtemp(folder) ? folder : "") : MakeTempDir();
    const std::string game = root + "/game", www = root + "/www", tree = www + "/res/fenwa", key = root + "/k.key";
    const std::string data = root + "/data", copy = root + "/copy";
    std::printf("a game of %d files of 1-8 KiB and one of %lld MiB\n", files, bigMiB);
    Stopwatch made;
    MakeGame(game, files, bigMiB);
    std::printf("(made in %.1f s)\n", made.Seconds());
    Write(key, fldemo::DemoSecretKeyFile().data(), fldemo::DemoSecretKeyFile().size());

    // Publishing: ours through the tool, beside reading every byte once (sha256sum) and packing it once (zip -1).
    const ChildRun publish = RunChild({FL_PUBLISH, "--game", game, "--out", tree, "--key", key, "--release", "r1"});
    const ChildRun sha = RunChild({"sh", "-c", "cd '" + game + "' && find . -type f -print0 | xargs -0 sha256sum >/dev/null"});
    const ChildRun zip = RunChild({"sh", "-c", "cd '" + game + "' && zip -qr -1 '" + root + "/z.zip' ."});
    ChildRun both = sha;
    both.seconds += zip.seconds;
    both.peakKiB = std::max(sha.peakKiB, zip.peakKiB);
    Row("publish", publish, both, "sha256sum + zip -r -1");
    fs::remove(root + "/z.zip");

    fltest::Nginx nginx(www);
    if (!nginx.Running()) {
        std::printf("nginx did not start\n");
        return 1;
    }
    std::ofstream(root + "/values.txt") << "'rsurl':'" << nginx.Url("/res/fenwa/") << "','preloadver':'1','vm':'a'";
    std::vector<std::string> update = {FL_CLI, "update", "--install-dir", root, "--page-values",
                                       root + "/values.txt", "--no-client"};
    // FL_BENCH_WRAP="heaptrack" (or any command) runs the launcher under it, to see where its memory goes.
    if (const char* wrap = std::getenv("FL_BENCH_WRAP")) update.insert(update.begin(), wrap);
    std::map<std::string, std::string> env = {{"XDG_DATA_HOME", data}};
    if (const char* trace = std::getenv("FLAUNCHER_TRACE")) env["FLAUNCHER_TRACE"] = trace;

    const ChildRun install = RunChild(update, env);
    const ChildRun rsync = RunChild({"rsync", "-a", game + "/", copy + "/"});
    Row("fresh install", install, rsync, "rsync -a");

    nginx.ClearAccessLog();
    const ChildRun same = RunChild(update, env);
    const ChildRun stat = RunChild({"sh", "-c", "find '" + copy + "' -type f -printf '%s %T@\\n' >/dev/null"});
    Row("nothing to update", same, stat, "find -printf %s %T@");
    std::printf("  its requests: %lld bytes; the index %s\n", nginx.BytesSent(),
                nginx.AccessLog().find(".idx") == std::string::npos ? "not fetched" : "FETCHED");

    // 1 % of the small files changed.
    std::mt19937_64 r(99);
    std::string bytes;
    for (int i = 0; i < files; i += 100) {
        bytes.resize(1024 + size_t(r() % 7169));
        Fill(bytes, r);
        Write(game + "/d" + std::to_string(i % 100) + "/f" + std::to_string(i) + ".dat", bytes.data(), bytes.size());
    }
    const ChildRun publish2 =
        RunChild({FL_PUBLISH, "--game", game, "--out", tree, "--key", key, "--release", "r2", "--previous", tree});
    std::printf("  (r2 published in %.1f s, %.1f MiB)\n", publish2.seconds, double(publish2.peakKiB) / 1024.0);
    nginx.ClearAccessLog();
    const ChildRun changed = RunChild(update, env);
    const ChildRun rsync2 = RunChild({"rsync", "-a", game + "/", copy + "/"});
    Row("1 % of the small files changed", changed, rsync2, "rsync -a");
    std::printf("  fetched %lld bytes (index %lld, store %lld)\n", nginx.BytesSent(), nginx.BytesSent(".idx"),
                nginx.BytesSent(".chunks"));
    RemoveTree(root);
    return 0;
}
