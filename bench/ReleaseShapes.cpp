#include "bench/ReleaseShapes.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "publish/Publisher.h"
#include "update/PathSafety.h"

namespace flbench {

namespace fs = std::filesystem;

std::string ReadBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ArchiveLike(size_t size, unsigned seed) {
    std::mt19937_64 r(seed);
    std::string s(size, '\0');
    for (size_t i = 0; i < size; i += 8) {
        const uint64_t v = (i / 65536) % 3 == 0 ? 0x2020202020202020ULL ^ (i >> 16) : r();
        std::memcpy(s.data() + i, &v, std::min<size_t>(8, size - i));
    }
    return s;
}

long long ReportedBytes(const std::string& tree, const std::string& release, const std::string& from) {
    const std::string report = ReadBytes(tree + "/" + release + ".report.txt"), key = "from " + from + ": ";
    const size_t at = report.rfind(key);
    return at == std::string::npos ? -1 : std::atoll(report.c_str() + at + key.size());
}

void PublishRelease(const std::string& game, const std::string& tree, const std::string& key, const std::string& release) {
    fl::PublishOptions o;
    o.gameDir = game;
    o.outDir = tree;
    o.keyFile = key;
    o.release = release;
    if (fs::exists(tree + "/hash.pat")) o.previousDir = tree;
    std::string error;
    if (!fl::PublishRelease(o, error)) std::fprintf(stderr, "publishing: %s\n", error.c_str());
}

long long RunnerStoreBytes(const std::string& dataHome) {
    long long bytes = -1;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dataHome + "/fenwazelt/logs", ec)) {
        const std::string log = ReadBytes(e.path().string());
        const size_t at = log.rfind("every file in place; ");
        if (at != std::string::npos) bytes = std::atoll(log.c_str() + at + 21);
    }
    return bytes;
}

std::string SameTree(const std::string& game, const std::string& run) {
    for (const auto& e : fs::recursive_directory_iterator(game)) {
        if (!e.is_regular_file()) continue;
        const std::string name = fs::relative(e.path(), game).string();
        if (!fs::exists(run + "/" + name) || ReadBytes(run + "/" + name) != ReadBytes(e.path().string())) return name;
    }
    for (auto e = fs::recursive_directory_iterator(run); e != fs::recursive_directory_iterator(); ++e) {
        if (e->path().filename() == fl::kRecordsFolder) {
            e.disable_recursion_pending();
            continue;
        }
        if (!e->is_regular_file()) continue;
        const std::string name = fs::relative(e->path(), run).string();
        // The launcher's lists beside the game's files are its own.
        if (name == "version.pat" || name == "PackVersion.pat") continue;
        if (!fs::exists(game + "/" + name)) return name + " (left over)";
    }
    return {};
}

}  // namespace flbench
