// Transfers on loopback, ours beside curl in one run: a 256 MB file (two
// ranges merged, against `curl -o`) and a list of 2,000 files of 16 KB (two
// workers, against `curl --parallel --parallel-max 2`). `transfer_bench cap`: a
// 20 MB pack in two halves under a 4 MB/s cap shared by both workers, then 30 s
// of transfer under the same cap: the measured rate beside the cap.
#include <cstdio>
#include <fstream>

#include "app/WobrApp.h"
#include "bench/BenchSupport.h"
#include "update/Downloader.h"

using namespace flbench;

namespace {

// The full pack `name` fetched in two halves by `engine`; seconds.
double FetchPack(fl::CDownloader& engine, const std::string& name) {
    Stopwatch sw;
    engine.m_strFullPack = name.substr(0, name.size() - 4);
    engine.m_strRequest = name;
    engine.m_nTaskKind = fl::TASK_FULL_PACK;
    engine.m_nTotalSize = engine.QueryRemoteSize(name);
    engine.m_nReceived = 0;
    engine.DownloadSegmented(2, engine.m_nTotalSize);
    engine.MergeSegments();
    const double seconds = sw.Seconds();
    std::remove((engine.GetRunFolder(false) + name).c_str());
    return seconds;
}

int CapBench(const std::string& dir) {
    CFileServer server;
    const long long cap = 4 << 20;
    server.Add("/res/capped.zip", std::make_shared<const std::string>(Letters(20u << 20, 3)));
    server.Add("/res/long.zip", std::make_shared<const std::string>(Letters(120u << 20, 4)));
    fl::CWobrApp app;
    app.m_nLimitRate = cap;
    fl::CDownloader engine(app, app.EngineSettings());
    if (!engine.Initialize("'rsurl':'" + server.Url("/res/") + "','preloadver':'1'")) return 1;
    const double twenty = FetchPack(engine, "capped.zip");
    const double thirty = FetchPack(engine, "long.zip");
    std::printf("a cap of 4 MB/s shared by both halves (success flag: %d)\n", int(engine.m_bSuccess.load()));
    std::printf("%-46s %6.2f s (expected 5.00)   rate %.3f MB/s   cap 4.000 MB/s   ratio %.3f\n",
                "20 MB pack, two halves", twenty, 20 / twenty, 20 / twenty / 4);
    std::printf("%-46s %6.2f s (expected 30.00)  rate %.3f MB/s   cap 4.000 MB/s   ratio %.3f\n",
                "120 MB pack, two halves (30 s)", thirty, 120 / thirty, 120 / thirty / 4);
    engine.Shutdown();
    RemoveTree(dir);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (int rc = MeasureMode(argc, argv); rc >= 0) return rc;
    const std::string dir = MakeTempDir();
    setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1);
    if (argc > 1 && std::string(argv[1]) == "cap") return CapBench(dir);
    CFileServer server;
    auto big = std::make_shared<const std::string>(Letters(256u << 20, 7));
    server.Add("/res/big.zip", big);
    const int listSize = 2000;
    for (int i = 0; i < listSize; ++i)
        server.Add("/res/list/f" + std::to_string(i) + ".bin", std::make_shared<const std::string>(Letters(16384, unsigned(i))));

    fl::CWobrApp app;
    fl::CDownloader engine(app, app.EngineSettings());
    if (!engine.Initialize("'rsurl':'" + server.Url("/res/") + "','preloadver':'1'")) return 1;
    const std::string run = engine.GetRunFolder(false);

    // --- the big file ---
    double oursBig = 1e9, curlBig = 1e9;
    for (int round = 0; round < 3; ++round) {
        Stopwatch sw;
        engine.m_strFullPack = "big";
        engine.m_strRequest = "big.zip";
        engine.m_nTaskKind = fl::TASK_FULL_PACK;
        engine.m_nTotalSize = engine.QueryRemoteSize("big.zip");
        engine.m_nReceived = 0;
        engine.DownloadSegmented(2, engine.m_nTotalSize);
        engine.MergeSegments();
        oursBig = std::min(oursBig, sw.Seconds());
        std::ifstream f(run + "big.zip", std::ios::binary | std::ios::ate);
        if (long(f.tellg()) != long(big->size())) {
            std::fprintf(stderr, "wrong size\n");
            return 1;
        }
        std::remove((run + "big.zip").c_str());

        ChildRun c = RunChild({"curl", "-s", "-o", dir + "/curl-big.bin", server.Url("/res/big.zip?v=1")});
        curlBig = std::min(curlBig, c.seconds);
        std::remove((dir + "/curl-big.bin").c_str());
    }

    // --- the list ---
    double oursList = 1e9, curlList = 1e9;
    std::ofstream cfg(dir + "/list.cfg");
    for (int i = 0; i < listSize; ++i)
        cfg << "url = \"" << server.Url("/res/list/f" + std::to_string(i) + ".bin?v=1") << "\"\noutput = \"" << dir
            << "/curl-list/f" << i << ".bin\"\n";
    cfg.close();
    for (int round = 0; round < 3; ++round) {
        RemoveTree(run + "list");
        engine.m_mapDownloadList.clear();
        for (int i = 0; i < listSize; ++i) engine.m_mapDownloadList["list/f" + std::to_string(i) + ".bin"] = "1";
        Stopwatch sw;
        engine.DownloadSegmented(1, listSize);
        oursList = std::min(oursList, sw.Seconds());

        RemoveTree(dir + "/curl-list");
        ChildRun c = RunChild({"curl", "-s", "--no-progress-meter", "--create-dirs", "--parallel", "--parallel-max", "2", "-K", dir + "/list.cfg"});
        curlList = std::min(curlList, c.seconds);
    }
    std::printf("loopback transfers, best of three rounds (success flag: %d)\n", int(engine.m_bSuccess.load()));
    PrintRow("256 MB file, two ranges + merge", oursBig, curlBig, "curl -o");
    PrintRow("2,000 files of 16 KB, two workers", oursList, curlList, "curl --parallel");
    engine.Shutdown();
    RemoveTree(dir);
    return 0;
}
