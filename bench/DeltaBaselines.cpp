#include "bench/DeltaBaselines.h"

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "bench/BenchSupport.h"
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

// A copy of the old folder for a tool to bring up to date.
std::string Seed(const std::string& oldTree, const std::string& to) {
    fs::remove_all(to);
    fs::copy(oldTree, to, fs::copy_options::recursive);
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

DeltaFigure RsyncDelta(const std::string& oldTree, const std::string& newTree, const std::string& work) {
    DeltaFigure f;
    if (!Installed("rsync")) return f;
    fs::create_directories(work);
    const std::string conf = work + "/rsyncd.conf", target = Seed(oldTree, work + "/rsync-target");
    std::ofstream(conf) << "use chroot = no\npid file = " << work << "/rsyncd.pid\n[g]\npath = " << newTree
                        << "\nread only = yes\n";
    const int port = 20000 + int(getpid() % 20000);
    const ChildRun daemon = RunChild({"rsync", "--daemon", "--config", conf, "--port", std::to_string(port), "--address", "127.0.0.1"});
    if (daemon.status != 0) return f;
    usleep(300000);
    const std::string out = work + "/rsync.out";
    const ChildRun run = RunChild({"sh", "-c", "rsync -a --stats rsync://127.0.0.1:" + std::to_string(port) + "/g/ " +
                                                   target + "/ > " + out});
    const std::string pid = ReadText(work + "/rsyncd.pid");
    if (!pid.empty()) kill(pid_t(std::atoi(pid.c_str())), SIGTERM);
    f.ran = run.status == 0;
    f.seconds = run.seconds;
    f.bytes = NumberAfter(ReadText(out), "Total bytes received: ");
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
    fs::remove_all(work + "/zsync-out");
    fs::remove_all(www);
    return f;
}

DeltaFigure CasyncDelta(const std::string& oldTree, const std::string& newTree, const std::string& work) {
    DeltaFigure f;
    if (!Installed("casync")) return f;
    const std::string www = work + "/casync-www";
    fs::create_directories(www);
    // Published beforehand: the new folder's index and chunk store (not timed).
    if (RunChild({"casync", "make", "--without=privileged", "--store=" + www + "/store", www + "/new.caidx", newTree}).status != 0)
        return f;
    fltest::Nginx nginx(www);
    if (!nginx.Running()) return f;
    const std::string out = work + "/casync-out";
    fs::remove_all(out);
    const ChildRun run = RunChild({"casync", "extract", "--without=privileged", "--seed=" + oldTree,
                                   "--store=" + nginx.Url("/store"), nginx.Url("/new.caidx"), out});
    f.ran = run.status == 0;
    f.seconds = run.seconds;
    f.bytes = nginx.BytesSent();
    fs::remove_all(out);
    fs::remove_all(www);
    return f;
}

}  // namespace flbench
