// fenwa-publish on a tree of one large file and many small ones: wall time and
// peak memory, beside `sha256sum` over the same files plus `zip -r -1` of them
// (what any publishing must at least do: hash and pack every byte); then the
// next release with --previous, which also writes patches against this one.
// Twice: with bytes that do not compress (a game's packed assets) and with
// bytes that do (letters: deflate and zstd both have work to do).
//
//   publish_bench [MiB of the large file, default 1024] [small files, default 2000]
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "bench/BenchSupport.h"
#include "platform/FileOps.h"

using namespace flbench;

namespace {

// Incompressible bytes (or, `letters`, bytes that compress to about 60 %), written
// a piece at a time (never the whole file in memory).
void WriteRandom(const std::string& path, long long size, unsigned seed, bool letters) {
    std::mt19937_64 random(seed);
    std::vector<uint64_t> block(1 << 17);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    for (long long left = size; left > 0;) {
        for (auto& v : block) {
            v = random();
            if (letters) {
                uint64_t l = 0;
                for (int k = 0; k < 8; ++k) l |= uint64_t('a' + (v >> (8 * k) & 0xff) % 26) << (8 * k);
                v = l;
            }
        }
        const size_t n = size_t(std::min<long long>(left, (long long)(block.size() * 8)));
        fl::WriteAll(fd, reinterpret_cast<const char*>(block.data()), n);
        left -= (long long)n;
    }
    close(fd);
}

void RunShape(long long bigMiB, int small, bool letters) {
    const std::string dir = MakeTempDir();
    const std::string game = dir + "/game";
    if (std::system(("mkdir -p " + game + "/data").c_str()) != 0) return;
    WriteRandom(game + "/data/big.bin", bigMiB << 20, 1, letters);
    for (int i = 0; i < small; ++i)
        WriteRandom(game + "/data/f" + std::to_string(i) + ".dat", 16 << 10, unsigned(i + 2), letters);
    std::printf("publishing a tree of %lld MiB and %d files of 16 KiB, %s\n", bigMiB, small,
                letters ? "letters (they compress)" : "bytes that do not compress");

    const ChildRun ours = RunChild({FL_PUBLISH, "--game", game, "--out", dir + "/tree", "--release", "r1"});
    const ChildRun hash = RunChild({"sh", "-c", "cd '" + game + "' && find . -type f -exec sha256sum {} + > /dev/null"});
    const ChildRun zip = RunChild({"sh", "-c", "cd '" + game + "' && zip -q -r -1 ../baseline.zip ."});
    if (ours.status != 0) std::printf("fenwa-publish failed (%d)\n", ours.status);
    PrintRow("publish (files, packs, chunks, lists)", ours.seconds, hash.seconds + zip.seconds, "sha256sum + zip -r -1");
    std::printf("  peak memory: ours %.1f MB, sha256sum %.1f MB, zip %.1f MB\n", ours.peakKiB / 1024.0,
                hash.peakKiB / 1024.0, zip.peakKiB / 1024.0);

    // The next release against this one: 64 scattered edits of 4 KiB in the large file, 20 small files changed.
    {
        std::mt19937_64 random(7);
        const int fd = open((game + "/data/big.bin").c_str(), O_WRONLY | O_CLOEXEC);
        std::string edit(4096, '\0');
        for (int i = 0; i < 64; ++i) {
            for (char& c : edit) c = char(random());
            if (pwrite(fd, edit.data(), edit.size(), off_t(random() % uint64_t((bigMiB << 20) - 4096))) < 0) break;
        }
        close(fd);
        for (int i = 0; i < 20 && i < small; ++i) {
            const std::string path = game + "/data/f" + std::to_string(i * 7 % small) + ".dat";
            const int f = open(path.c_str(), O_WRONLY | O_CLOEXEC);
            if (f >= 0 && pwrite(f, "edited", 6, 100 + i) < 0) std::printf("cannot edit %s\n", path.c_str());
            if (f >= 0) close(f);
        }
    }
    const ChildRun next = RunChild({FL_PUBLISH, "--game", game, "--out", dir + "/tree", "--previous", dir + "/tree",
                                    "--release", "r2", "--keep", "2"});
    const ChildRun hash2 = RunChild({"sh", "-c", "cd '" + game + "' && find . -type f -exec sha256sum {} + > /dev/null"});
    const ChildRun zip2 = RunChild({"sh", "-c", "rm -f ../baseline.zip; cd '" + game + "' && zip -q -r -1 ../baseline.zip ."});
    if (next.status != 0) std::printf("fenwa-publish --previous failed (%d)\n", next.status);
    PrintRow("publish --previous (and patches)", next.seconds, hash2.seconds + zip2.seconds, "sha256sum + zip -r -1");
    std::error_code ec;
    std::printf("  peak memory: ours %.1f MB; patches %lld bytes\n", next.peakKiB / 1024.0,
                (long long)std::filesystem::file_size(dir + "/tree/r2.patches", ec));
    RemoveTree(dir);
}

}  // namespace

int main(int argc, char** argv) {
    if (int rc = MeasureMode(argc, argv); rc >= 0) return rc;
    const long long bigMiB = argc > 1 ? std::atoll(argv[1]) : 1024;
    const int small = argc > 2 ? std::atoi(argv[2]) : 2000;
    for (const bool letters : {false, true}) RunShape(bigMiB, small, letters);
    return 0;
}
