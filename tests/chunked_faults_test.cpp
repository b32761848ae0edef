// The chunked path held to what the whole-file paths hold to, through nginx
// and the runner: a folder the player moved and linked back, a signed index
// that leaves a file out, modes, the launcher's own records among game names,
// a server that ignores ranges, a full disk, a small open-file limit, an index
// cut by another chunker, and a server that offers an older release.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <sstream>
#include <thread>

#include "publish/ChunkStore.h"
#include "tests/support/ChunkedFixture.h"
#include "update/chunks/ChunkAssembler.h"

using namespace fltest;
namespace fs = std::filesystem;

namespace {

// A tmpfs of `mib` MiB mounted on `dir` while it lives (root only).
struct Tmpfs {
    std::string dir;
    bool mounted = false;
    Tmpfs(const std::string& where, int mib) : dir(where) {
        fs::create_directories(dir);
        mounted = geteuid() == 0 &&
                  mount("tmpfs", dir.c_str(), "tmpfs", 0, ("size=" + std::to_string(mib) + "m").c_str()) == 0;
    }
    ~Tmpfs() {
        if (mounted) umount2(dir.c_str(), MNT_DETACH);
    }
};

// The disk the partial files below `folder` take: what a build has written so far.
long long BytesWritten(const std::string& folder) {
    long long bytes = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        struct stat st {};
        if (stat(e.path().c_str(), &st) == 0) bytes += (long long)st.st_blocks * 512;
    }
    return bytes;
}

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? unsigned(st.st_mode & 07777) : 0;
}

}  // namespace

// The player moved data/ to another disk and linked it back: the link stays,
// the files behind it are updated through it, and nothing is removed through it.
TEST_F(ChunkedFixture, AFolderThePlayerMovedAndLinkedBackIsUpdatedThroughTheLink) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    WriteFile(game / "data/a.bin", RandomBytes(400000, 1));
    WriteFile(game / "data/b.bin", RandomBytes(300000, 2));
    WriteFile(game / "data/gone.bin", RandomBytes(1000, 3));
    WriteFile(game / "top.txt", "top");
    Publish("r1");
    ASSERT_EQ(Update().exitCode, 0);

    TempDir elsewhere;
    Tmpfs disk(elsewhere / "disk", 64);  // another file system where the test may mount one
    const std::string moved = disk.dir + "/data";
    fs::copy(Run() + "data", moved, fs::copy_options::recursive);
    fs::remove_all(Run() + "data");
    fs::create_directory_symlink(moved, Run() + "data");

    std::string a = ReadFile(game / "data/a.bin");
    a.replace(200000, 10, "0123456789");
    WriteFile(game / "data/a.bin", a);
    fs::remove(game / "data/gone.bin");
    Publish("r2");
    ProcessResult r = Update();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(Run() + "data")) << "the player's link stays";
    EXPECT_EQ(ReadFile(moved + "/a.bin"), a) << "the file behind the link is the release's";
    ExpectRelease();
    EXPECT_TRUE(Exists(moved + "/gone.bin")) << "nothing is removed through a link";
    EXPECT_EQ(Verify().exitCode, 0);
}

// A signed index that leaves out a file both lists name never ends as success without it.
TEST_F(ChunkedFixture, AnIndexThatLeavesAListedFileOutNeverEndsWithoutIt) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    WriteFile(game / "a.bin", RandomBytes(200000, 4));
    WriteFile(game / "left-out.txt", "listed by hash.pat and version.pat");
    Publish("r1");
    std::string index = ReadFile(Tree() + "/r1.idx");
    const size_t at = index.find("file|left-out.txt|");
    ASSERT_NE(at, std::string::npos);
    const size_t next = index.find("file|", at + 1);
    index.erase(at, next == std::string::npos ? std::string::npos : next - at);
    ReplaceSigned("r1.idx", index);
    ProcessResult r = Update();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ExpectRelease();
    EXPECT_EQ(ReadFile(Run() + "left-out.txt"), "listed by hash.pat and version.pat");
}

// The same bytes with another mode reach the player; verify sees a wrong mode and --repair sets it.
TEST_F(ChunkedFixture, AModeChangeReachesThePlayerAndVerifyRepairsAWrongMode) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    WriteFile(game / "run.sh", "#!/bin/sh\necho game\n");
    WriteFile(game / "data.bin", RandomBytes(100000, 5));
    fs::permissions(game / "run.sh", fs::perms(0644));
    Publish("r1");
    ASSERT_EQ(Update().exitCode, 0);
    EXPECT_EQ(ModeOf(Run() + "run.sh"), 0644u);

    fs::permissions(game / "run.sh", fs::perms(0755));
    Publish("r2");
    ProcessResult r = Update();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ModeOf(Run() + "run.sh"), 0755u);
    EXPECT_EQ(nginx->BytesSent("r2.chunks"), 0) << "the bytes were already here";

    chmod((Run() + "run.sh").c_str(), 0644);
    ProcessResult v = Verify();
    EXPECT_EQ(v.exitCode, 1);
    EXPECT_NE(v.out.find("run.sh: mode 644, the release has 755"), std::string::npos) << v.out;
    EXPECT_EQ(Verify(true).exitCode, 0);
    EXPECT_EQ(ModeOf(Run() + "run.sh"), 0755u);
    EXPECT_EQ(Verify().exitCode, 0);
}

// Game files named as the launcher's records once were are game files like any
// other; a name in the records folder is refused by the publisher.
TEST_F(ChunkedFixture, GameFilesNamedAsRecordsStayGameFilesAndTheRecordsFolderIsNoGameName) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    WriteFile(game / ".fenwa-launcher/x", "x");
    fl::PublishOptions o;
    o.gameDir = game.Path();
    o.outDir = Tree();
    o.release = "r0";
    std::string error;
    EXPECT_FALSE(fl::PublishRelease(o, error));
    EXPECT_NE(error.find("the launcher keeps its own records in .fenwa-launcher/"), std::string::npos) << error;
    fs::remove_all(game / ".fenwa-launcher");

    const std::map<std::string, std::string> odd = {{"hash.pat.accepted", "release|r0\r\ntime|1\r\n"},
                                                    {"hash.pat.installed", "game bytes"},
                                                    {"chunks.cache", "chunker|nothing\n"},
                                                    {"chunks.partial/x", "a game file"},
                                                    {"version.pat.journal", "journal|of the game"}};
    for (const auto& [name, bytes] : odd) WriteFile(game / name, bytes);
    WriteFile(game / "big.bin", RandomBytes(300000, 6));
    Publish("r1");
    ASSERT_EQ(Update().exitCode, 0);
    WriteFile(game / "big.bin", RandomBytes(300000, 7));
    Publish("r2");
    ProcessResult r = Update();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ExpectRelease();
    for (const auto& [name, bytes] : odd) EXPECT_EQ(ReadFile(Run() + name), bytes) << name;
    EXPECT_EQ(Verify().exitCode, 0);
    EXPECT_NE(ReadFile(Run() + ".fenwa-launcher/hash.pat.accepted").find("release|r2"), std::string::npos);
}

// A folder an earlier launcher kept its records in: they move, and the time it accepted still stands.
TEST_F(ChunkedFixture, RecordsAnEarlierLauncherKeptInTheRunFolderMoveWithNothingLost) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    WriteFile(game / "a.bin", RandomBytes(100000, 8));
    Publish("r1");
    ASSERT_EQ(Update().exitCode, 0);
    const std::string records = Run() + ".fenwa-launcher/";
    for (const char* name : {"hash.pat.accepted", "hash.pat.kept", "hash.pat.kept.minisig", "hash.pat.installed",
                             "hash.pat.installed.minisig", "chunks.cache"})
        fs::rename(records + name, Run() + name);
    const std::string accepted = ReadFile(Run() + "hash.pat.accepted");
    fs::remove_all(records);
    ProcessResult r = Update();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(Exists(Run() + "hash.pat.kept"));
    EXPECT_EQ(ReadFile(records + "hash.pat.accepted"), accepted);
    EXPECT_TRUE(Exists(records + "hash.pat.installed"));
    EXPECT_EQ(nginx->BytesSent("r1.chunks"), 0);
}

// A server that answers every range with the whole store: one whole store at most, and exact.
TEST_F(ChunkedFixture, AServerThatIgnoresRangesCostsOneWholeStoreAtMost) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    ServeWith("max_ranges 0;");
    std::vector<std::string> files;
    for (int i = 0; i < 6; ++i) {
        files.push_back(RandomBytes(1 << 20, 10 + i));
        WriteFile(game / ("f" + std::to_string(i) + ".bin"), files.back());
    }
    Publish("r1");
    ASSERT_EQ(Update().exitCode, 0);
    for (int i = 1; i < 6; i += 2) {  // edits far apart: ranges of their own
        files[i].replace(500000, 4, "EDIT");
        WriteFile(game / ("f" + std::to_string(i) + ".bin"), files[i]);
    }
    Publish("r2");
    ProcessResult r = Update();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ExpectRelease();
    const long long store = (long long)fs::file_size(Tree() + "/r2.chunks");
    EXPECT_LE(nginx->BytesSent("r2.chunks"), store) << "ranges answered whole are read from one body";
    EXPECT_EQ(nginx->AccessLog().find(".zip"), std::string::npos);
}

// A disk that fills during the build keeps what was fetched, checked and written.
TEST_F(ChunkedFixture, AFullDiskKeepsWhatWasFetchedForTheRunAfterRoomIsMade) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    Tmpfs disk(data / "disk", 24);
    if (!disk.mounted) GTEST_SKIP() << "mounting a tmpfs needs root";
    po.env["XDG_DATA_HOME"] = disk.dir;
    const std::string run = disk.dir + "/fenwazelt/fenwa/";
    for (int i = 0; i < 4; ++i) WriteFile(game / ("f" + std::to_string(i) + ".bin"), RandomBytes(3 << 20, 20 + i));
    Publish("r1");
    // Slowly, so that the disk can fill part way.
    const std::vector<std::string> args = {"update", "--install-dir", install.Path(), "--page-values",
                                           install / "values.txt", "--no-client", "--limit-rate", "3M"};
    nginx->ClearAccessLog();
    const pid_t pid = StartBackground(FL_CLI, args, po, data / "out.txt", data / "err.txt");
    const std::string partial = run + fl::CChunkAssembler::kPartialFolder;
    auto held = [&] { return BytesWritten(partial); };
    for (int i = 0; i < 200 && held() < (4 << 20); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    ASSERT_GE(held(), 4 << 20) << "the build did not start";
    {
        // Whatever room is left taken by something else.
        std::string filler(1 << 20, 'f');
        FILE* f = fopen((disk.dir + "/filler").c_str(), "wb");
        while (f && fwrite(filler.data(), 1, filler.size(), f) == filler.size()) {
        }
        if (f) fclose(f);
    }
    int status = 0;
    for (int i = 0; i < 1200 && waitpid(pid, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_NE(ReadFile(data / "err.txt").find("磁盘空间不足"), std::string::npos) << ReadFile(data / "err.txt");
    const long long first = nginx->BytesSent("r1.chunks");
    EXPECT_GT(held(), 2 << 20) << "what was built is kept";

    fs::remove(disk.dir + "/filler");
    ProcessResult again = RunProcess(FL_CLI, {args.begin(), args.end() - 2}, po);
    ASSERT_EQ(again.exitCode, 0) << again.err;
    const long long store = (long long)fs::file_size(Tree() + "/r1.chunks");
    EXPECT_LT(nginx->BytesSent("r1.chunks") - first, store - (2 << 20)) << "the rerun fetched only what it lacked";
    for (int i = 0; i < 4; ++i) {
        const std::string name = "f" + std::to_string(i) + ".bin";
        EXPECT_TRUE(ReadFile(run + name) == ReadFile(game / name)) << name;
    }
}

// Any number of files builds under a small open-file limit, through the store.
TEST_F(ChunkedFixture, TwoThousandFilesBuildUnderASmallOpenFileLimit) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    for (int i = 0; i < 2000; ++i)
        WriteFile(game / ("d" + std::to_string(i % 20) + "/f" + std::to_string(i) + ".dat"),
                  RandomBytes(1024 + (i * 37) % 7000, 1000 + i));
    Publish("r1");
    nginx->ClearAccessLog();
    ProcessResult r = RunProcess("/bin/sh",
                                 {"-c", "ulimit -n 64 && exec \"$0\" \"$@\"", FL_CLI, "update", "--install-dir",
                                  install.Path(), "--page-values", install / "values.txt", "--no-client"},
                                 po);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.find("the chunked update failed"), std::string::npos) << r.err;
    EXPECT_EQ(nginx->AccessLog().find(".zip"), std::string::npos) << "built from the store, not the full pack";
    ExpectRelease();
}

// An index whose cuts are not its declared chunker's: the next update still finds the folder's chunks.
TEST_F(ChunkedFixture, CutsFromAnotherChunkerAreNotRecordedAsTheFoldersChunks) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    std::string big = RandomBytes(3 << 20, 30);
    WriteFile(game / "big.bin", big);
    Publish("r1");
    // r1's chunks cut otherwise, the index still naming the default chunker.
    fl::ChunkerParams other;
    other.minSize = 4 << 10;
    other.avgSize = 8 << 10;
    other.maxSize = 32 << 10;
    std::string error;
    ASSERT_TRUE(fl::WriteChunkedRelease(Tree(), "r1", {{"big.bin", game / "big.bin", (long long)big.size(),
                                                         fl::Sha256Of(big)}},
                                        other, error))
        << error;
    std::string index = ReadFile(Tree() + "/r1.idx");
    const std::string declared = "chunker|" + other.Describe(), normal = "chunker|" + fl::ChunkerParams().Describe();
    ASSERT_NE(index.find(declared), std::string::npos);
    index.replace(index.find(declared), declared.size(), normal);
    ReplaceSigned("r1.chunks", ReadFile(Tree() + "/r1.chunks"));
    ReplaceSigned("r1.idx", index);
    ASSERT_EQ(Update().exitCode, 0);

    big.replace(1 << 20, 8, "CHANGED!");
    WriteFile(game / "big.bin", big);
    Publish("r2");
    ProcessResult r = Update();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ExpectRelease();
    EXPECT_LT(nginx->BytesSent("r2.chunks"), 600 << 10) << "the chunks around the edit, not the whole file";
}

// A tree without release-named copies whose server offers an older signed list:
// a folder whole at the newer release fetches nothing and ends whole; one that
// is not says which release the server offers, once, without retrying.
TEST_F(ChunkedFixture, AnOlderListFromATreeWithoutReleaseCopiesIsNoNetworkFault) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    // As an older publisher writes a tree: no "R."-named copies of the lists.
    auto publishWithoutCopies = [&](const std::string& release, long long time) {
        Publish(release);
        std::string list, kept;
        for (const auto& e : fs::directory_iterator(Tree())) {
            const std::string name = e.path().filename().string();
            if (name.rfind(release + ".", 0) == 0 && name != release + ".idx" && name != release + ".chunks")
                fs::remove(e.path());
        }
        std::istringstream lines(ReadFile(Tree() + "/hash.pat"));
        while (std::getline(lines, list))
            if (list.rfind(release + ".", 0) != 0 || list.rfind(release + ".idx|", 0) == 0 ||
                list.rfind(release + ".chunks|", 0) == 0)
                kept += list + "\n";
        WriteFile(Tree() + "/hash.pat", kept);
        WriteFile(Tree() + "/hash.pat.minisig", fldemo::SignWithDemoKey(kept, time));
    };
    WriteFile(game / "a.bin", RandomBytes(100000, 40));
    publishWithoutCopies("r1", 1000000000);
    ASSERT_EQ(Update().exitCode, 0);
    TempDir old;  // r1's lists as served, saved before r2 replaces them
    for (const char* list : {"hash.pat", "hash.pat.minisig", "version.pat", "PackVersion.pat", "luncherVersion.pat"})
        WriteFile(old / list, ReadFile(Tree() + "/" + list));
    WriteFile(game / "a.bin", RandomBytes(100000, 41));
    publishWithoutCopies("r2", 1000000100);
    ASSERT_EQ(Update().exitCode, 0);
    ExpectRelease();
    // A stale cache, or a replay: the server offers r1's lists again.
    for (const char* list : {"hash.pat", "hash.pat.minisig", "version.pat", "PackVersion.pat", "luncherVersion.pat"})
        WriteFile(Tree() + "/" + list, ReadFile(old / list));

    ProcessResult whole = Update();
    EXPECT_EQ(whole.exitCode, 0) << whole.err;
    EXPECT_EQ(nginx->AccessLog().find("/version.pat"), std::string::npos) << nginx->AccessLog();
    EXPECT_EQ(nginx->AccessLog().find("PackVersion.pat"), std::string::npos) << nginx->AccessLog();
    ExpectRelease();

    WriteFile(Run() + "a.bin", "changed by the player");
    ProcessResult stale = Update();
    EXPECT_EQ(stale.exitCode, 1);
    EXPECT_EQ(stale.err.find("网络不稳定"), std::string::npos) << stale.err;
    EXPECT_NE(stale.err.find("the server offers release r1, older than r2 here"), std::string::npos) << stale.err;
}

// kill -9 at points through a chunked install: the next run fetches at most
// 2 MiB more than the chunks the killed run had not checked and written.
TEST_F(ChunkedFixture, AKillDuringAChunkedInstallCostsAtMostTwoMebibytesFetchedAgain) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    for (int i = 0; i < 6; ++i) WriteFile(game / ("f" + std::to_string(i) + ".bin"), RandomBytes(8 << 20, 50 + i));
    Publish("r1");
    fl::CChunkIndex index;
    std::string why;
    ASSERT_TRUE(index.Parse(ReadFile(Tree() + "/r1.idx"), why)) << why;
    const long long store = (long long)fs::file_size(Tree() + "/r1.chunks");
    auto values = [&](const std::string& v) {
        WriteFile(install / "values.txt", "'rsurl':'" + nginx->Url("/res/fenwa/") + "','preloadver':'" + v + "','vm':'a'");
    };
    const std::vector<std::string> args = {"update", "--install-dir", install.Path(), "--page-values",
                                           install / "values.txt", "--no-client"};
    const std::string partial = Run() + fl::CChunkAssembler::kPartialFolder;
    auto written = [&] { return BytesWritten(partial); };
    int kills = 0;
    for (long long at : {6LL << 20, 19LL << 20, 31LL << 20, 42LL << 20}) {
        fs::remove_all(data.Path() + "/fenwazelt");
        values("1");
        const pid_t pid = StartBackground(FL_CLI, args, po, data / "out.txt", data / "err.txt");
        bool reached = false;
        for (int i = 0; i < 4000 && !(reached = written() >= at); ++i) {
            if (waitpid(pid, nullptr, WNOHANG) == pid) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        KillAndReap(pid, 9);
        if (!reached) continue;
        ++kills;
        // What the killed run left checked in its partial files.
        fl::CLocalChunks local(Run(), index.m_params, data / "no-cache");
        fl::CChunkAssembler::AdoptPartials(Run(), index, local);
        std::set<long long> held;
        long long heldBytes = 0;
        for (const fl::IndexedFile& f : index.m_files)
            for (const fl::ChunkRef& c : f.chunks)
                if (local.Find(c.sha256) && held.insert(c.offset).second) heldBytes += c.stored;
        // The killed run's requests are logged once nginx's next send fails: they
        // are in the log before it is cleared, and do not count.
        values("2");
        std::this_thread::sleep_for(std::chrono::seconds(1));
        nginx->ClearAccessLog();
        ProcessResult next = RunProcess(FL_CLI, args, po);
        ASSERT_EQ(next.exitCode, 0) << next.err;
        ExpectRelease();
        const long long fetched = nginx->BytesSent("r1.chunks");
        std::printf("[ killed ] at %lld: %lld of %lld checked, the next run fetched %lld\n", at, heldBytes, store, fetched);
        EXPECT_LE(fetched, store - heldBytes + (2 << 20)) << "only what was missing";
    }
    EXPECT_GT(kills, 0);
}
