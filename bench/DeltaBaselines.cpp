#include "bench/DeltaBaselines.h"

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "bench/BenchSupport.h"
#include "bench/ReleaseShapes.h"
#include "tests/support/Nginx.h"
#include "tests/support/Process.h"

namespace flbench {

namespace fs = std::filesystem;

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

bool Installed(const char* tool) { return access((std::string("/usr/bin/") + tool).c_str(), X_OK) == 0; }

// A copy of the old folder for a tool to bring up to date. Its times are the
// old folder's: a folder with fresh times would cost rsync a delta of every file
// and casync a chunk around every file's entry, which no player's folder does.
std::string Seed(const std::string& oldTree, const std::string& to) {
    fs::remove_all(to);
    CopyTree(oldTree, to);
    return to;
}

long long NumberAfter(const std::string& text, const std::string& label) {
    const size_t at = text.find(label);
    if (at == std::string::npos) return -1;
    std::string digits;
    for (size_t i = at + label.size(); i < text.size() && (isdigit((unsigned char)text[i]) || text[i] == ','); ++i)
        if (text[i] != ',') digits += text[i];
    return digits.empty() ? -1 : std::atoll(digits.c_str());
}

}  // namespace

long long TreeBytes(const std::string& path) {
    long long bytes = 0;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(path, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (it->is_regular_file()) bytes += (long long)it->file_size();
    return bytes;
}

bool CopyTree(const std::string& from, const std::string& to) {
    return RunChild({"cp", "-a", from, to}).status == 0;
}

DeltaFigure RsyncDelta(const std::string& oldTree, const std::string& newTree, const std::string& work,
                       const std::string& options) {
    DeltaFigure f;
    if (!Installed("rsync")) return f;
    fs::create_directories(work);
    const std::string conf = work + "/rsyncd.conf", target = Seed(oldTree, work + "/rsync-target");
    std::ofstream(conf) << "use chroot = no\npid file = " << work << "/rsyncd.pid\n[g]\npath = " << newTree
                        << "\nread only = yes\n";
    // A port of this run's own: the daemon of the run before may still be going away.
    static int runs = 0;
    const int port = 20000 + int(getpid() % 20000) + 7 * runs++;
    fs::remove(work + "/rsyncd.pid");
    const ChildRun daemon = RunChild({"rsync", "--daemon", "--config", conf, "--port", std::to_string(port), "--address", "127.0.0.1"});
    if (daemon.status != 0) return f;
    // The daemon listens a moment after it forks away: wait until it accepts.
    for (int i = 0; i < 250 && !fltest::PortAccepts(port); ++i) usleep(20000);
    const std::string out = work + "/rsync.out";
    // -a as its users run it (--stats only prints the client's own count), --delete since a release drops files.
    const ChildRun run = RunChild({"sh", "-c", "rsync -a --delete --stats " + options + " rsync://127.0.0.1:" +
                                                   std::to_string(port) + "/g/ " + target + "/ > " + out});
    const std::string pid = ReadText(work + "/rsyncd.pid");
    if (!pid.empty()) {
        const pid_t daemonPid = pid_t(std::atoi(pid.c_str()));
        kill(daemonPid, SIGTERM);
        for (int i = 0; i < 100 && kill(daemonPid, 0) == 0; ++i) usleep(20000);
    }
    f.ran = run.status == 0;
    f.seconds = run.seconds;
    f.bytes = NumberAfter(ReadText(out), "Total bytes received: ");
    f.disk = TreeBytes(newTree);  // the daemon serves the release as it is
    // Its quick check skips a file of the same size and time: a bench that changes files within
    // the second they were made would flatter it with a result that is not the release.
    const std::string diff = SameTree(newTree, target);
    f.exact = diff.empty();
    if (!f.exact) f.note = "not exact: " + diff;
    fs::remove_all(target);
    return f;
}

DeltaFigure ZsyncDelta(const std::string& oldTree, const std::string& newTree, const std::string& work) {
    DeltaFigure f;
    if (!Installed("zsync") || !Installed("zsyncmake")) return f;
    const std::string www = work + "/zsync-www";
    fs::create_directories(www);
    fltest::Nginx nginx(www);
    if (!nginx.Running()) return f;
    // Published beforehand: a .zsync beside each changed or new file (not timed).
    std::vector<std::string> changed;
    for (const auto& e : fs::recursive_directory_iterator(newTree)) {
        if (!e.is_regular_file()) continue;
        const std::string name = fs::relative(e.path(), newTree).string(), old = oldTree + "/" + name;
        if (fs::exists(old) && fs::file_size(old) == e.file_size() && ReadText(old) == ReadText(e.path().string())) continue;
        const std::string served = www + "/" + name;
        fs::create_directories(fs::path(served).parent_path());
        fs::copy_file(e.path(), served, fs::copy_options::overwrite_existing);
        RunChild({"zsyncmake", "-u", nginx.Url("/" + name), "-o", served + ".zsync", served});
        changed.push_back(name);
    }
    nginx.ClearAccessLog();
    f.ran = true;
    for (const std::string& name : changed) {
        const std::string old = oldTree + "/" + name, out = work + "/zsync-out/" + name;
        fs::create_directories(fs::path(out).parent_path());
        // zsync builds beside its output: it runs in the output's folder.
        std::string command = "cd '" + fs::path(out).parent_path().string() + "' && zsync -q -o '" + out + "'";
        if (fs::exists(old)) command += " -i '" + old + "'";
        const ChildRun run = RunChild({"sh", "-c", command + " " + nginx.Url("/" + name + ".zsync")});
        f.seconds += run.seconds;
        f.ran &= run.status == 0;
    }
    f.bytes = nginx.BytesSent();
    f.note = std::to_string(changed.size()) + " files";
    // The release as it is, and a .zsync beside each file (made here for the changed ones; each costs about the same).
    long long zsyncs = 0;
    for (const std::string& name : changed) zsyncs += (long long)fs::file_size(www + "/" + name + ".zsync");
    long long files = 0;
    for (const auto& e : fs::recursive_directory_iterator(newTree)) files += e.is_regular_file();
    f.disk = TreeBytes(newTree) + (changed.empty() ? 0 : zsyncs * files / (long long)changed.size());
    fs::remove_all(work + "/zsync-out");
    fs::remove_all(www);
    return f;
}

DeltaFigure CasyncDelta(const std::string& oldTree, const std::string& newTree, const std::string& work) {
    DeltaFigure f;
    if (!Installed("casync")) return f;
    const std::string www = work + "/casync-www";
    fs::create_directories(www);
    // Published beforehand with its defaults: the new folder's index and chunk store (not timed).
    if (RunChild({"casync", "make", "--store=" + www + "/store", www + "/new.caidx", newTree}).status != 0) return f;
    fltest::Nginx nginx(www);
    if (!nginx.Running()) return f;
    const std::string out = work + "/casync-out";
    fs::remove_all(out);
    // The old folder as its seed, as a player's machine has it; owners are set only by root.
    std::vector<std::string> extract = {"casync", "extract", "--seed=" + oldTree, "--store=" + nginx.Url("/store"),
                                        nginx.Url("/new.caidx"), out};
    if (geteuid() != 0) extract.insert(extract.begin() + 2, "--without=privileged");
    const ChildRun run = RunChild(extract);
    f.ran = run.status == 0;
    f.seconds = run.seconds;
    f.bytes = nginx.BytesSent();
    f.disk = TreeBytes(www);  // the release's index and its whole chunk store
    fs::remove_all(out);
    fs::remove_all(www);
    return f;
}

}  // namespace flbench
