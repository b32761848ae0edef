// A chunked release through the runner, beside the packs a server would send
// otherwise, in one run:
//  - a fresh install (ours: the chunk store read and written as it arrives;
//    baseline: curl of the same content as a zip pack, then unzip);
//  - the next release, which edits 64 scattered 4 KiB regions of the large
//    file, inserts 1 MiB in its middle, changes 20 small files, adds 5 and
//    removes 3: bytes fetched (every byte the runner asked of the server, from
//    nginx's log) and wall time, beside the incremental pack's size and curl +
//    unzip of it, and rsync, zsync and casync from the old folder as their users
//    run them;
//  - the run folder cut into chunks: the first time and from the cache.
//
//   chunk_bench [MiB of the large file, default 512] [small files of 256 KiB, default 2000]
#include <cstdio>
#include <filesystem>
#include <random>

#include "bench/BenchSupport.h"
#include "bench/DeltaBaselines.h"
#include "bench/ReleaseShapes.h"
#include "tests/support/Nginx.h"
#include "demo/DemoHashList.h"
#include "update/chunks/ChunkIndex.h"
#include "update/chunks/ChunkPlan.h"
#include "update/PathSafety.h"
#include "update/RunRecords.h"

using namespace flbench;
namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (int rc = MeasureMode(argc, argv); rc >= 0) return rc;
    const size_t bigMiB = argc > 1 ? size_t(std::atoll(argv[1])) : 512;
    const int small = argc > 2 ? std::atoi(argv[2]) : 2000;
    const std::string dir = MakeTempDir(), game = dir + "/game", tree = dir + "/www/res/fenwa", key = dir + "/k.key";
    WriteBytes(key, fldemo::DemoSecretKeyFile());
    std::string big = ArchiveLike(bigMiB << 20, 1);
    WriteBytes(game + "/archive.bin", big);
    for (int i = 0; i < small; ++i) WriteBytes(game + "/data/f" + std::to_string(i) + ".dat", Letters(256 << 10, unsigned(i)));
    PublishRelease(game, tree, key, "r1");
    std::printf("a tree of %zu MiB and %d files of 256 KiB; store %.1f MiB, full pack %.1f MiB\n", bigMiB, small,
                double(fs::file_size(tree + "/r1.chunks")) / 1048576.0, double(fs::file_size(tree + "/r1_full.zip")) / 1048576.0);

    fltest::Nginx server(dir + "/www");
    if (!server.Running()) {
        std::fprintf(stderr, "chunk_bench: nginx did not start\n");
        return 1;
    }
    const std::string install = dir + "/install", values = dir + "/values.txt";
    fs::create_directories(install);
    WriteBytes(values, "'rsurl':'" + server.Url("/res/fenwa/") + "','preloadver':'1','vm':'a'");
    const std::map<std::string, std::string> env = {{"XDG_DATA_HOME", dir + "/data"}};
    const std::vector<std::string> update = {FL_CLI, "update", "--install-dir", install, "--page-values", values, "--no-client"};
    const ChildRun fresh = RunChild(update, env);
    const ChildRun curl = RunChild({"curl", "-s", "-o", dir + "/full.zip", server.Url("/res/fenwa/r1_full.zip")});
    const ChildRun unzip = RunChild({"unzip", "-q", "-o", dir + "/full.zip", "-d", dir + "/unzipped"});
    if (fresh.status != 0) std::printf("the fresh install failed (%d)\n", fresh.status);
    PrintRow("fresh install, verified (chunk store)", fresh.seconds, curl.seconds + unzip.seconds, "curl + unzip");
    std::printf("  peak memory: ours %.1f MB, curl %.1f MB, unzip %.1f MB\n", fresh.peakKiB / 1024.0, curl.peakKiB / 1024.0,
                unzip.peakKiB / 1024.0);
    RemoveTree(dir + "/unzipped");

    // The next release; the first one's folder is kept as the baselines' seed,
    // with its files' times (the times a folder they installed would have).
    CopyTree(game, dir + "/old");
    std::mt19937 r(9);
    for (int i = 0; i < 64; ++i) {
        const size_t at = std::uniform_int_distribution<size_t>(0, big.size() - 4096)(r);
        for (size_t k = 0; k < 4096; ++k) big[at + k] = char(r());
    }
    big.insert(big.size() / 2, ArchiveLike(1 << 20, 2));
    WriteBytes(game + "/archive.bin", big);
    for (int i = 0; i < 20; ++i) WriteBytes(game + "/data/f" + std::to_string(i * 7) + ".dat", Letters(256 << 10, unsigned(10000 + i)));
    for (int i = 0; i < 5; ++i) WriteBytes(game + "/data/new" + std::to_string(i) + ".dat", Letters(256 << 10, unsigned(20000 + i)));
    for (int i = 0; i < 3; ++i) fs::remove(game + "/data/f" + std::to_string(i * 7 + 3) + ".dat");
    // What really changed: the edited and inserted regions and the new small files.
    const long long changed = 64 * 4096 + (1 << 20) + 25 * (256 << 10);
    PublishRelease(game, tree, key, "r2");
    RemoveTree(dir + "/data/fenwazelt/logs");
    server.ClearAccessLog();
    const ChildRun delta = RunChild(update, env);
    const long long fetched = server.BytesSent(), fromStore = RunnerStoreBytes(dir + "/data");
    const ChildRun curl2 = RunChild({"curl", "-s", "-o", dir + "/inc.zip", server.Url("/res/fenwa/r2.zip")});
    const ChildRun unzip2 = RunChild({"unzip", "-q", "-o", dir + "/inc.zip", "-d", dir + "/unzipped"});
    if (delta.status != 0) std::printf("the delta update failed (%d)\n", delta.status);
    PrintRow("next release (chunks it lacks)", delta.seconds, curl2.seconds + unzip2.seconds, "incremental");
    std::printf("  bytes fetched: ours %.2f MiB (%.2f MiB of the store, the rest lists and the index), the incremental"
                " pack %.2f MiB; %.2f MiB really changed\n",
                double(fetched) / 1048576.0, double(fromStore) / 1048576.0,
                double(fs::file_size(tree + "/r2.zip")) / 1048576.0, double(changed) / 1048576.0);

    std::printf("  the same release by other tools, from the first release's folder over loopback:\n");
    const std::pair<const char*, DeltaFigure> others[] = {
        {"rsync -a (daemon)", RsyncDelta(dir + "/old", game, dir + "/baselines")},
        {"rsync -az (daemon)", RsyncDelta(dir + "/old", game, dir + "/baselines", "-z")},
        {"zsync (per changed file)", ZsyncDelta(dir + "/old", game, dir + "/baselines")},
        {"casync (HTTP store)", CasyncDelta(dir + "/old", game, dir + "/baselines")}};
    std::printf("    %-26s %10.2f MiB %8.2f s\n", "ours (nginx's log)", double(fetched) / 1048576.0, delta.seconds);
    for (const auto& [name, figure] : others) {
        if (!figure.ran || !figure.exact) {
            if (figure.ran) std::printf("    %-26s its result is not the release (%s)\n", name, figure.note.c_str());
            else std::printf("    %-26s not measured (not installed, or it failed)\n", name);
            continue;
        }
        std::printf("    %-26s %10.2f MiB %8.2f s  ours/theirs %.2f %s\n", name, double(figure.bytes) / 1048576.0,
                    figure.seconds, double(fetched) / double(std::max(figure.bytes, 1LL)), figure.note.c_str());
    }
    RemoveTree(dir + "/old");

    // Cutting the run folder: first time, then from the cache.
    const std::string run = dir + "/data/fenwazelt/fenwa/", cache = fl::RecordPath(run, "chunks.cache");
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 0) fs::remove(cache);
        Stopwatch sw;
        fl::CLocalChunks local(run, fl::ChunkerParams(), cache);
        for (auto e = fs::recursive_directory_iterator(run); e != fs::recursive_directory_iterator(); ++e) {
            if (e->path().filename() == fl::kRecordsFolder) e.disable_recursion_pending();
            else if (e->is_regular_file()) local.AddFile(fs::relative(e->path(), run).string());
        }
        local.SaveCache();
        std::printf("cutting the run folder into chunks, %s: %.3f s, %.1f MiB read\n", pass ? "cached" : "first time",
                    sw.Seconds(), double(local.BytesRead()) / 1048576.0);
    }
    RemoveTree(dir);
    return 0;
}
