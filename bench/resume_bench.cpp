// A 256 MB full-pack update cut off at half way, then run again: the bytes the
// second run fetches beside the bytes that were missing, and its time beside a
// fresh run's.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <thread>

#include "platform/Folders.h"
#include "bench/BenchSupport.h"
#include "demo/DemoPlatform.h"
#include "demo/PackWriter.h"
#include "update/net/ResumeRecord.h"

using namespace flbench;

namespace {

long long Size(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_size : 0;
}

pid_t Start(const std::vector<std::string>& argv, const std::string& data) {
    pid_t pid = fork();
    if (pid == 0) {
        setenv("XDG_DATA_HOME", data.c_str(), 1);
        if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(127);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

}  // namespace

int main(int argc, char** argv) {
    if (int rc = MeasureMode(argc, argv); rc >= 0) return rc;
    const std::string dir = MakeTempDir();
    // A pack of 256 MB that does not compress (game data already packed).
    fldemo::ContentOptions o;
    o.files = 0;
    o.packLacks = 0;
    fldemo::DemoContent content = fldemo::BuildDemoContent(o);
    std::mt19937_64 random(7);
    std::vector<fldemo::PackEntry> entries;
    for (int i = 0; i < 64; ++i) {
        std::string bytes(4 << 20, '\0');
        for (size_t k = 0; k < bytes.size(); k += 8) {
            const uint64_t v = random();
            std::memcpy(&bytes[k], &v, 8);
        }
        const std::string name = "data/big" + std::to_string(i) + ".pak";
        content.files[name] = bytes;
        content.versions[name] = "1";
        entries.push_back({name, std::move(bytes)});
    }
    entries.push_back({"version.pat", content.VersionPat()});
    entries.push_back({"client.exe", content.files["client.exe"], 0755});
    content.fullPack = fldemo::BuildPack(entries);
    entries.clear();
    const long long packSize = (long long)content.fullPack.size();
    fldemo::CDemoPlatform platform(std::move(content));

    const std::string install = dir + "/install";
    fl::EnsureFolder(install + "/");
    std::ofstream(dir + "/values.txt") << "'rsurl':'" << platform.ResourceUrl() << "','preloadver':'1','vm':'a'";
    const std::vector<std::string> cli = {FL_CLI, "update", "--install-dir", install, "--page-values", dir + "/values.txt",
                                          "--no-client"};

    // A fresh run, for the time.
    const ChildRun fresh = RunChild(cli, {{"XDG_DATA_HOME", dir + "/fresh"}});
    RemoveTree(dir + "/fresh");

    // Cut off once the halves hold half of the pack.
    const std::string data = dir + "/data", run = data + "/fenwazelt/fenwa/";
    const pid_t pid = Start(cli, data);
    while (Size(run + "fenwa_full_0.temp") + Size(run + "fenwa_full_1.temp") < packSize / 2)
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    long long held = 0;
    for (const char* half : {"fenwa_full_0.temp", "fenwa_full_1.temp"}) {
        fl::ResumeRecord record;
        long long bytes = 0;
        if (fl::LoadResume(run + half, record, bytes)) held += bytes;
    }
    platform.ClearLog();
    const ChildRun resumed = RunChild(cli, {{"XDG_DATA_HOME", data}});
    const long long fetched = platform.BytesServed();

    std::printf("resuming a %.0f MB full-pack update cut off at %.0f %%\n", packSize / 1048576.0,
                100.0 * double(held) / double(packSize));
    std::printf("%-46s ours %10lld bytes   missing %10lld bytes   ratio %.4f\n", "bytes fetched by the resumed run",
                fetched, packSize - held, double(fetched) / double(packSize - held));
    PrintRow("resumed run beside a fresh run", resumed.seconds, fresh.seconds, "fresh run");
    if (resumed.status != 0 || fresh.status != 0) std::fprintf(stderr, "a run failed: %d %d\n", fresh.status, resumed.status);
    RemoveTree(dir);
    return 0;
}
