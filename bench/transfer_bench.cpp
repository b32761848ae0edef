// Transfers on loopback, ours beside curl in one run: a 256 MB file (two
// ranges merged, against `curl -o`) and a list of 2,000 files of 16 KB (two
// workers, against `curl --parallel --parallel-max 2`).
#include <cstdio>
#include <fstream>

#include "app/WobrApp.h"
#include "bench/BenchSupport.h"
#include "update/Downloader.h"

using namespace flbench;

int main(int argc, char** argv) {
    if (int rc = MeasureMode(argc, argv); rc >= 0) return rc;
    const std::string dir = MakeTempDir();
    setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1);
    CFileServer server;
    auto big = std::make_shared<const std::string>(Letters(256u << 20, 7));
    server.Add("/res/big.zip", big);
    const int listSize = 2000;
    for (int i = 0; i < listSize; ++i)
        server.Add("/res/list/f" + std::to_string(i) + ".bin", std::make_shared<const std::string>(Letters(16384, unsigned(i))));

    fl::CWobrApp app;
    fl::CDownloader engine(app);
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
