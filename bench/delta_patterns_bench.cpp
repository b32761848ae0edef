// Updates that cost what changed: five ways a release changes, each published as
// the next release and fetched by the runner; our bytes (every byte the runner
// asked of nginx, lists and index included) beside rsync, rsync -z, zsync and
// casync run as their users run them, and the bytes that really changed.
//  1. a large archive-like file with 64 scattered 4 KiB edits and 1 MiB
//     inserted, beside small files: 20 changed by a few bytes, 5 added, 3 removed;
//  2. many small files, each changed by a few bytes;
//  3. a zip archive (Info-ZIP, deflate) rebuilt with one member changed;
//  4. files that grow by appending;
//  5. nothing changed: a start on a whole folder.
// Every update is checked exact: the new release's files, removed files gone.
//
//   delta_patterns_bench [MiB of the large file, default 128] [small files of pattern 2, default 2000]
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <random>

#include "bench/BenchSupport.h"
#include "bench/DeltaBaselines.h"
#include "bench/ReleaseShapes.h"
#include "demo/DemoHashList.h"
#include "tests/support/Nginx.h"

using namespace flbench;
namespace fs = std::filesystem;

namespace {

// A few bytes of `path` changed in place; returns how many.
long long Poke(const std::string& path, std::mt19937& r) {
    std::string bytes = ReadBytes(path);
    const int n = std::uniform_int_distribution<int>(1, 8)(r);
    const size_t at = std::uniform_int_distribution<size_t>(0, bytes.size() - 8)(r);
    for (int k = 0; k < n; ++k) bytes[at + size_t(k)] = char('A' + (bytes[at + size_t(k)] - 'A' + 1) % 26);
    WriteBytes(path, bytes);
    return n;
}

struct Pattern {
    std::string name;
    std::function<void(const std::string& game)> first;          // release 1
    std::function<long long(const std::string& game)> next;       // release 2; the bytes really changed (-1: no release)
};

std::vector<Pattern> Patterns(size_t bigMiB, int smallFiles) {
    std::vector<Pattern> p;
    p.push_back({"1. large file edited, small files changed/added/removed",
                 [=](const std::string& game) {
                     WriteBytes(game + "/archive.bin", ArchiveLike(bigMiB << 20, 1));
                     for (int i = 0; i < 500; ++i)
                         WriteBytes(game + "/data/f" + std::to_string(i) + ".dat", Letters(256 << 10, unsigned(i)));
                 },
                 [](const std::string& game) {
                     std::mt19937 r(9);
                     std::string big = ReadBytes(game + "/archive.bin");
                     for (int i = 0; i < 64; ++i) {
                         const size_t at = std::uniform_int_distribution<size_t>(0, big.size() - 4096)(r);
                         for (size_t k = 0; k < 4096; ++k) big[at + k] = char(r());
                     }
                     big.insert(big.size() / 2, ArchiveLike(1 << 20, 2));
                     WriteBytes(game + "/archive.bin", big);
                     long long changed = 64 * 4096 + (1 << 20);
                     for (int i = 0; i < 20; ++i) changed += Poke(game + "/data/f" + std::to_string(i * 7) + ".dat", r);
                     for (int i = 0; i < 5; ++i)
                         WriteBytes(game + "/data/new" + std::to_string(i) + ".dat", Letters(256 << 10, unsigned(20000 + i)));
                     for (int i = 0; i < 3; ++i) fs::remove(game + "/data/f" + std::to_string(i * 7 + 3) + ".dat");
                     return changed + 5 * (256 << 10);
                 }});
    p.push_back({"2. " + std::to_string(smallFiles) + " small files, each a few bytes changed",
                 [=](const std::string& game) {
                     for (int i = 0; i < smallFiles; ++i)
                         WriteBytes(game + "/s/f" + std::to_string(i) + ".dat", Letters(64 << 10, unsigned(i)));
                 },
                 [=](const std::string& game) {
                     std::mt19937 r(5);
                     long long changed = 0;
                     for (int i = 0; i < smallFiles; ++i) changed += Poke(game + "/s/f" + std::to_string(i) + ".dat", r);
                     return changed;
                 }});
    p.push_back({"3. zip archive rebuilt, one member changed",
                 [](const std::string& game) {
                     const std::string members = game + "/../members";
                     for (int i = 0; i < 200; ++i)
                         WriteBytes(members + "/m" + std::to_string(i) + ".txt", Letters(64 << 10, unsigned(500 + i)));
                     RunChild({"sh", "-c", "cd '" + members + "' && zip -q -X -r '" + game + "/pack.zip' ."});
                 },
                 [](const std::string& game) {
                     const std::string members = game + "/../members";
                     WriteBytes(members + "/m77.txt", Letters(64 << 10, 777777));
                     fs::remove(game + "/pack.zip");
                     RunChild({"sh", "-c", "cd '" + members + "' && zip -q -X -r '" + game + "/pack.zip' ."});
                     return 64LL << 10;
                 }});
    p.push_back({"4. files grown by appending",
                 [](const std::string& game) {
                     for (int i = 0; i < 50; ++i)
                         WriteBytes(game + "/logs/l" + std::to_string(i) + ".log", Letters(1 << 20, unsigned(900 + i)));
                 },
                 [](const std::string& game) {
                     for (int i = 0; i < 50; ++i) {
                         const std::string path = game + "/logs/l" + std::to_string(i) + ".log";
                         WriteBytes(path, ReadBytes(path) + Letters(16 << 10, unsigned(5000 + i)));
                     }
                     return 50LL * (16 << 10);
                 }});
    p.push_back({"5. nothing changed (a start on a whole folder)",
                 [=](const std::string& game) {
                     for (int i = 0; i < 2000; ++i)
                         WriteBytes(game + "/d/f" + std::to_string(i) + ".dat", Letters(16 << 10, unsigned(i)));
                 },
                 [](const std::string&) { return -1LL; }});
    return p;
}

// A figure the report gave (-1: none).
DeltaFigure Said(long long bytes) {
    DeltaFigure f;
    f.ran = bytes >= 0;
    f.bytes = bytes;
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    if (int rc = MeasureMode(argc, argv); rc >= 0) return rc;
    const size_t bigMiB = argc > 1 ? size_t(std::atoll(argv[1])) : 128;
    const int small = argc > 2 ? std::atoi(argv[2]) : 2000;
    const std::string top = MakeTempDir(), key = top + "/k.key";
    WriteBytes(key, fldemo::DemoSecretKeyFile());
    std::printf("%-52s %12s %8s %10s %10s %10s %10s %10s %6s %9s\n", "pattern", "changed", "ours", "×changed", "rsync",
                "rsync -z", "zsync", "casync", "exact", "reported");
    int index = 0;
    for (const Pattern& p : Patterns(bigMiB, small)) {
        const std::string dir = top + "/p" + std::to_string(++index), game = dir + "/game", tree = dir + "/www/res/fenwa";
        fs::create_directories(game);
        p.first(game);
        PublishRelease(game, tree, key, "r1");
        fltest::Nginx nginx(dir + "/www");
        if (!nginx.Running()) {
            std::fprintf(stderr, "delta_patterns_bench: nginx did not start\n");
            return 1;
        }
        WriteBytes(dir + "/values.txt", "'rsurl':'" + nginx.Url("/res/fenwa/") + "','preloadver':'1','vm':'a'");
        fs::create_directories(dir + "/install");
        const std::map<std::string, std::string> env = {{"XDG_DATA_HOME", dir + "/data"}};
        const std::vector<std::string> update = {FL_CLI, "update", "--install-dir", dir + "/install",
                                                 "--page-values", dir + "/values.txt", "--no-client"};
        if (RunChild(update, env).status != 0) std::printf("%s: the first install failed\n", p.name.c_str());
        CopyTree(game, dir + "/old");
        if (index == 1) CopyTree(dir + "/data", dir + "/data-r1");  // a second player, left at release 1
        // A build writes its files after the last release's: never within the same second (rsync's
        // quick check goes by size and time).
        for (const time_t copied = time(nullptr); time(nullptr) == copied;) usleep(50000);
        const long long changed = p.next(game);
        const long long treeBefore = TreeBytes(tree);
        if (changed >= 0) PublishRelease(game, tree, key, "r2");
        const long long treeAfter = TreeBytes(tree);
        nginx.ClearAccessLog();
        const ChildRun run = RunChild(update, env);
        const long long ours = nginx.BytesSent();
        const std::string diff = SameTree(game, dir + "/data/fenwazelt/fenwa");
        const std::string work = dir + "/baselines";
        const DeltaFigure rsync = RsyncDelta(dir + "/old", game, work), rsyncZ = RsyncDelta(dir + "/old", game, work, "-z");
        const DeltaFigure zsync = ZsyncDelta(dir + "/old", game, work), casync = CasyncDelta(dir + "/old", game, work);
        auto kib = [](const DeltaFigure& f) {
            char text[32];
            if (f.ran) std::snprintf(text, sizeof text, "%s%.1f", f.exact ? "" : "!", double(f.bytes) / 1024.0);
            else std::snprintf(text, sizeof text, "-");
            return std::string(text);
        };
        char times[32] = "-";
        if (changed > 0) std::snprintf(times, sizeof times, "%.2f", double(ours) / double(changed));
        // What the publisher's report said this player would fetch.
        const long long reported = changed >= 0 ? ReportedBytes(tree, "r2", "r1") : -1;
        std::printf("%-52s %9.1f KiB %8.1f %10s %10s %10s %10s %10s %6s %9s\n", p.name.c_str(),
                    changed >= 0 ? double(changed) / 1024.0 : 0.0, double(ours) / 1024.0, times,
                    kib(rsync).c_str(), kib(rsyncZ).c_str(), kib(zsync).c_str(), kib(casync).c_str(),
                    run.status == 0 && diff.empty() ? "yes" : "NO", kib(Said(reported)).c_str());
        if (!diff.empty()) std::printf("    not exact: %s\n", diff.c_str());
        if (changed >= 0) {
            auto mib = [](const DeltaFigure& f) { return f.disk >= 0 ? double(f.disk) / 1048576.0 : 0.0; };
            std::printf("    server disk for release 2 (MiB): ours %.1f (the tree of both releases %.1f), the release "
                        "as files %.1f (rsync), with .zsync files %.1f, casync's store %.1f\n",
                        double(treeAfter - treeBefore) / 1048576.0, double(treeAfter) / 1048576.0, mib(rsync), mib(zsync),
                        mib(casync));
            const long long list = nginx.BytesSent("hash.pat"),
                            index = nginx.BytesSent("r2.idx") + nginx.BytesSent("r2.from-r1.didx"),
                            patchIndex = nginx.BytesSent("r2.pidx"), patches = nginx.BytesSent("r2.patches"),
                            store = nginx.BytesSent("r2.chunks");
            std::printf("    ours: hash.pat %.1f, index (whole or delta) %.1f, patch index %.1f, patches %.1f, chunks %.1f, the rest %.1f\n",
                        list / 1024.0, index / 1024.0, patchIndex / 1024.0, patches / 1024.0, store / 1024.0,
                        (ours - list - index - patchIndex - patches - store) / 1024.0);
        }
        // A player still at release 1 when release 3 is out: neither patches nor the delta index fit.
        if (index == 1) {
            p.next(game);
            PublishRelease(game, tree, key, "r3");
            nginx.ClearAccessLog();
            const ChildRun older = RunChild(update, {{"XDG_DATA_HOME", dir + "/data-r1"}});
            const long long olderBytes = nginx.BytesSent();
            const std::string olderDiff = SameTree(game, dir + "/data-r1/fenwazelt/fenwa");
            const DeltaFigure casyncOlder = CasyncDelta(dir + "/old", game, work);
            const long long reportedOlder = ReportedBytes(tree, "r3", "r1");
            std::printf("%-52s %12s %8.1f %10s %10s %10s %10s %10s %6s %9s\n", "1b. the same again, from release 1 to 3", "",
                        double(olderBytes) / 1024.0, "", "", "", "", kib(casyncOlder).c_str(),
                        older.status == 0 && olderDiff.empty() ? "yes" : "NO",
                        kib(Said(reportedOlder)).c_str());
        }
        std::fflush(stdout);
        RemoveTree(dir);
    }
    std::printf("(bytes in KiB; ours from nginx's log, rsync from its client's count, zsync and casync from nginx's log;\n"
                " reported: what fenwa-publish's report of the release said the player would fetch;\n"
                " !: the tool's result was not the new release)\n");
    RemoveTree(top);
    return 0;
}
