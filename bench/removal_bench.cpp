// What removing a release's removed files costs: 2,003 files of release 1 in a
// run folder, release 2 removes 3. Ours: the check of every name the previous
// list gave against the lists in force, the digest of the 3 candidates, the
// removal. Beside it, rsync -a --delete bringing a copy of release 1 to release 2.
#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "update/RemovedFiles.h"
#include "update/integrity/HashList.h"
#include "update/integrity/Sha256.h"

int main(int argc, char** argv) {
    if (int rc = flbench::MeasureMode(argc, argv); rc >= 0) return rc;
    const std::string dir = flbench::MakeTempDir();
    const int files = 2003;
    std::vector<std::string> names;
    std::string list = "#release|r1\r\n";
    for (int i = 0; i < files; ++i) {
        const std::string name = "data/d" + std::to_string(i % 40) + "/f" + std::to_string(i) + ".dat";
        const std::string bytes = flbench::Letters(4096, unsigned(i));
        fl::CSha256 h;
        h.Update(bytes.data(), bytes.size());
        list += name + "|4096 " + h.HexDigest() + "\r\n";
        names.push_back(name);
        for (const char* tree : {"/r1/", "/r2/"}) {
            fl::EnsureFolder(fl::ParentOf(dir + tree + name));
            fl::WriteFileAtomically(dir + tree + name, bytes);
        }
    }
    fl::CHashList before;
    if (!before.Parse(list)) return 1;
    std::set<std::string> current(names.begin(), names.end());
    for (int i : {5, 700, 2002}) {
        current.erase(names[size_t(i)]);
        std::remove((dir + "/r2/" + names[size_t(i)]).c_str());
    }
    double ours = 1e9, rsync = 1e9;
    for (int round = 0; round < 5; ++round) {
        flbench::RemoveTree(dir + "/run");
        flbench::RunChild({"cp", "-a", dir + "/r1", dir + "/run"});
        flbench::Stopwatch a;
        const auto found = fl::FindRemovedFiles(dir + "/run/", names, current, before);
        const int removed = fl::RemoveOurFiles(dir + "/run/", found);
        ours = std::min(ours, a.Seconds());
        if (removed != 3) return 2;
        flbench::RemoveTree(dir + "/run");
        flbench::RunChild({"cp", "-a", dir + "/r1", dir + "/run"});
        rsync = std::min(rsync, flbench::RunChild({"rsync", "-a", "--delete", dir + "/r2/", dir + "/run/"}).seconds);
    }
    std::printf("release 2 removes 3 of %d files (4 KiB each), best of 5\n", files);
    flbench::PrintRow("removing what the release removed", ours, rsync, "rsync -a --delete");
    flbench::RemoveTree(dir);
    return 0;
}
