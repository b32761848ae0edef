// The update's heavy steps beside their baselines, in one run:
//  - unpacking a 5,000-entry, 200 MB pack (ours vs `unzip -q`);
//  - unpacking a zip64 pack made by Info-ZIP with one 4.5 GiB entry and 1,000 small ones (ours vs `unzip -q`);
//  - comparing a 100,000-entry "version.pat" with a local one (must stay well under a second);
//  - a whole update of a fresh install with a 200 MB full pack (flauncher-cli vs curl + unzip),
//    with the peak memory of each, and of ours again on a pack a quarter the size;
//    every body is checked against the signed hash list (the build pins the demo key);
//  - SHA-256 throughput of our hashing beside `sha256sum` on the same 200 MB file.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "platform/Folders.h"
#include "app/WobrApp.h"
#include "bench/BenchSupport.h"
#include "demo/DemoPlatform.h"
#include "demo/PackWriter.h"
#include "update/Downloader.h"
#include "update/integrity/BodyCheck.h"

using namespace flbench;

namespace {

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

struct WholeUpdate {
    ChildRun ours, curl, unzip;
    double inProcessVerified = 0, inProcessUnverified = 0;
};

// The same update in this process: with the signed list, and as a launcher
// without keys against a server without one (what verification costs).
double RunInProcess(fldemo::CDemoPlatform& platform, const std::string& dir, bool verify) {
    const std::string data = dir + "/inproc";
    RemoveTree(data);
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    platform.Content().serveHashList = verify;
    platform.ClearLog();  // the server's threads see the change
    fl::CWobrApp app;
    app.m_bSkipClientLaunch = true;
    app.m_bHeadless = true;
    if (!verify) app.m_strPinnedKeys.clear();
    Stopwatch sw;
    {
        fl::CDownloader engine(app, app.EngineSettings());
        if (!engine.Initialize("'rsurl':'" + platform.ResourceUrl() + "','preloadver':'1','vm':'a','pt':'p'")) return -1;
        engine.StartDownLoadTask();
        if (!engine.m_bCompleted) std::fprintf(stderr, "the in-process update did not complete\n");
    }
    const double seconds = sw.Seconds();
    RemoveTree(data);
    setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1);
    platform.Content().serveHashList = true;
    platform.ClearLog();
    return seconds;
}

WholeUpdate RunWholeUpdate(const std::string& dir, int files, size_t fileSize) {
    fldemo::ContentOptions o;
    o.files = files;
    o.fileSize = fileSize;
    o.packLacks = 0;
    fldemo::CDemoPlatform platform(fldemo::BuildDemoContent(o));
    platform.FixHashList();  // signed before the clock starts, as a published tree is
    WholeUpdate w;
    const std::string install = dir + "/install", data = dir + "/data";
    RemoveTree(install);
    RemoveTree(data);
    fl::EnsureFolder(install + "/");
    WriteText(dir + "/values.txt", "'rsurl':'" + platform.ResourceUrl() + "','preloadver':'1','vm':'a','pt':'p'");
    w.ours = RunChild({FL_CLI, "update", "--install-dir", install, "--page-values", dir + "/values.txt", "--no-client"},
                      {{"XDG_DATA_HOME", data}});
    if (w.ours.status != 0) std::fprintf(stderr, "flauncher-cli ended with %d\n", w.ours.status);
    RemoveTree(dir + "/base");
    fl::EnsureFolder(dir + "/base/");
    w.curl = RunChild({"curl", "-s", "-o", dir + "/base/full.zip", platform.ResourceUrl() + "fenwa_full.zip"});
    w.unzip = RunChild({"unzip", "-q", "-o", dir + "/base/full.zip", "-d", dir + "/base/tree"});
    RemoveTree(dir + "/base");
    w.inProcessVerified = RunInProcess(platform, dir, true);
    w.inProcessUnverified = RunInProcess(platform, dir, false);
    return w;
}

}  // namespace

int main(int argc, char** argv) {
    if (int rc = MeasureMode(argc, argv); rc >= 0) return rc;
    const std::string dir = MakeTempDir();
    setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1);

    // "update_bench compare" runs only the list comparison.
    const bool compareOnly = argc > 1 && std::string(argv[1]) == "compare";
    // "update_bench hash" runs only the hashing comparison.
    const bool hashOnly = argc > 1 && std::string(argv[1]) == "hash";
    fl::CWobrApp app;
    fl::CDownloader engine(app, app.EngineSettings());
    double oursUnzip = 0, baseUnzip = 0, oursBig = 0, baseBig = 0;
    struct stat st {};
    double oursHash = 1e9, baseHash = 1e9;
    if (hashOnly) {
        const std::string file = dir + "/hashed.bin";
        WriteText(file, Letters(200 << 20, 3));
        fl::Expectation any;
        any.check = any.listed = true;
        for (int round = 0; round < 3; ++round) {
            Stopwatch sw;
            fl::CheckFile(file, any);
            oursHash = std::min(oursHash, sw.Seconds());
            baseHash = std::min(baseHash, RunChild({"sha256sum", file}).seconds);
        }
        std::printf("%-46s ours %7.0f MB/s   sha256sum %7.0f MB/s\n", "SHA-256 of a 200 MB file", 200 / oursHash,
                    200 / baseHash);
        RemoveTree(dir);
        return 0;
    }
    if (!compareOnly) {
    // --- unpacking ---
    std::vector<fldemo::PackEntry> entries;
    for (int i = 0; i < 5000; ++i)
        entries.push_back({"d" + std::to_string(i % 50) + "/f" + std::to_string(i) + ".dat", Letters(40 * 1024, unsigned(i))});
    const std::string pack = dir + "/pack.zip";
    fldemo::WritePack(pack, entries);
    stat(pack.c_str(), &st);
    entries.clear();

    app.SetResFolder("unpack/");
    oursUnzip = 1e9, baseUnzip = 1e9;
    for (int round = 0; round < 2; ++round) {
        RemoveTree(engine.GetRunFolder(false));
        fl::EnsureFolder(engine.GetRunFolder(false));
        Stopwatch sw;
        int rc = engine.UnzipPack(pack);
        oursUnzip = std::min(oursUnzip, sw.Seconds());
        if (rc != 0) return 1;
        RemoveTree(dir + "/unzip");
        baseUnzip = std::min(baseUnzip, RunChild({"unzip", "-q", "-o", pack, "-d", dir + "/unzip"}).seconds);
    }

    // --- one entry past every 32-bit limit, beside 1,000 small ones ---
    const std::string bigTree = dir + "/bigtree";
    fl::EnsureFolder(bigTree + "/small/");
    for (int i = 0; i < 1000; ++i) WriteText(bigTree + "/small/s" + std::to_string(i) + ".txt", Letters(2048, unsigned(i)));
    WriteText(bigTree + "/big.bin", "");
    if (truncate((bigTree + "/big.bin").c_str(), 4608LL << 20) != 0) return 1;
    const std::string bigPack = dir + "/big.zip";
    ChildRun zipped = RunChild({"sh", "-c", "cd '" + bigTree + "' && zip -q -1 -r -fz '" + bigPack + "' big.bin small"});
    RemoveTree(bigTree);
    if (zipped.status != 0) return 1;
    app.SetResFolder("bigunpack/");
    Stopwatch bigSw;
    if (engine.UnzipPack(bigPack) != 0) return 1;
    oursBig = bigSw.Seconds();
    RemoveTree(engine.GetRunFolder(false));
    baseBig = RunChild({"unzip", "-q", "-o", bigPack, "-d", dir + "/bigunzip"}).seconds;
    RemoveTree(dir + "/bigunzip");
    std::remove(bigPack.c_str());
    }

    // --- comparing 100,000 names ---
    app.SetResFolder("compare/");
    const std::string run = engine.GetRunFolder(false);
    std::string list;
    for (int i = 0; i < 100000; ++i) {
        std::string name = "d" + std::to_string(i % 100) + "/f" + std::to_string(i) + ".dat";
        list += name + "|" + std::to_string(i % 7) + "\r\n";
        if (i < 100) fl::EnsureFolder(run + "d" + std::to_string(i) + "/");
        std::ofstream(run + name);
    }
    WriteText(run + "version.pat", list);
    double compare = 1e9;
    for (int round = 0; round < 3; ++round) {
        engine.m_mapServerFiles.clear();
        Stopwatch cmp;
        engine.m_nTaskKind = fl::TASK_FILE_LIST;
        engine.OnReceiveText(list.data(), list.size());
        engine.LoadLocalVersionList();
        engine.BuildDownloadList();
        compare = std::min(compare, cmp.Seconds());
    }
    const size_t listed = engine.m_mapDownloadList.size();

    if (compareOnly) {
        std::printf("%-46s ours %7.3f s   (%zu of 100,000 listed)\n", "compare a 100,000-entry version.pat", compare, listed);
        RemoveTree(dir);
        return 0;
    }

    // --- a whole update ---
    WholeUpdate big = RunWholeUpdate(dir, 5000, 40 * 1024);
    WholeUpdate small = RunWholeUpdate(dir, 1250, 40 * 1024);

    std::printf("update steps on loopback (pack %.0f MB compressed, 5,000 entries of 40 KB)\n", st.st_size / 1048576.0);
    PrintRow("unpack 5,000 entries / 200 MB", oursUnzip, baseUnzip, "unzip -q");
    PrintRow("unpack zip64: 4.5 GiB entry + 1,000 small", oursBig, baseBig, "unzip -q");
    std::printf("%-46s ours %7.3f s   (%zu of 100,000 listed)\n", "compare a 100,000-entry version.pat", compare, listed);
    PrintRow("whole fresh update, 200 MB full pack", big.ours.seconds, big.curl.seconds + big.unzip.seconds,
             "curl + unzip");
    PrintRow("  the same in-process, verified", big.inProcessVerified, big.curl.seconds + big.unzip.seconds,
             "curl + unzip");
    PrintRow("  the same in-process, no hash list", big.inProcessUnverified, big.curl.seconds + big.unzip.seconds,
             "curl + unzip");
    std::printf("%-46s ours %7ld KiB   curl %ld KiB, unzip %ld KiB\n", "peak memory, 200 MB pack", big.ours.peakKiB,
                big.curl.peakKiB, big.unzip.peakKiB);
    std::printf("%-46s ours %7ld KiB   (a pack a quarter the size)\n", "peak memory, 50 MB pack", small.ours.peakKiB);
    RemoveTree(dir);
    return 0;
}
