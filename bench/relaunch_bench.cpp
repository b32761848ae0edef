// What the way back costs a start: the hand-off of a start from the install
// folder with the probation record (the digest of FLuncher.updt, the record
// read and written, the copy to FLuncher.dydr) beside the copy alone, and beside
// cp. The launcher copied is the real one.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "bench/BenchSupport.h"
#include "platform/FileOps.h"
#include "update/launcher/LauncherHealth.h"

int main(int argc, char** argv) {
    if (int rc = flbench::MeasureMode(argc, argv); rc >= 0) return rc;
    const std::string dir = flbench::MakeTempDir();
    const std::string updt = dir + "/FLuncher.updt", copy = dir + "/FLuncher.dydr";
    const std::string temp = dir + "/FLauncher_zelt.exe.temp";
    if (!fl::CopyFileKeepMode(FL_LAUNCHER, temp, false)) return 1;
    std::string why;
    fl::CLauncherHealth(dir).PlaceNew(temp, "1.0.7", why);
    // A proven launcher, as every start after its first runs it.
    fl::LauncherState s = fl::LoadLauncherState(dir);
    s.updtGood = true;
    fl::SaveLauncherState(dir, s);
    struct stat st {};
    stat(updt.c_str(), &st);

    double ours = 1e9, copyOnly = 1e9, cp = 1e9;
    for (int round = 0; round < 7; ++round) {
        flbench::Stopwatch a;
        fl::CLauncherHealth health(dir);
        const auto choice = health.ChooseForStart("/nonexistent/FLauncher_zelt.exe");
        fl::CopyFileKeepMode(choice.path, copy + ".new", false);
        std::rename((copy + ".new").c_str(), copy.c_str());
        health.RecordStart(&choice);
        ours = std::min(ours, a.Seconds());
        if (choice.source != "updt") return 2;

        flbench::Stopwatch b;
        fl::CopyFileKeepMode(updt, copy + ".new", false);
        std::rename((copy + ".new").c_str(), copy.c_str());
        copyOnly = std::min(copyOnly, b.Seconds());

        cp = std::min(cp, flbench::RunChild({"cp", updt, copy}).seconds);
    }
    std::printf("hand-off of a start, launcher of %.1f MB, best of 7\n", double(st.st_size) / 1e6);
    flbench::PrintRow("with the probation record", ours, copyOnly, "the copy alone");
    flbench::PrintRow("with the probation record", ours, cp, "cp");
    flbench::RemoveTree(dir);
    return 0;
}
