// The operators' publishing tool: versions, packs, lists and signature, and an
// update from the previous release by our launcher through a real server.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <filesystem>
#include <random>
#include <set>
#include <sstream>

#include "demo/DemoHashList.h"
#include "publish/Publisher.h"
#include "tests/support/Nginx.h"
#include "tests/support/Process.h"
#include "tests/support/PublishTree.h"
#include "tests/support/TempDir.h"
#include "update/integrity/HashList.h"

using namespace fltest;

namespace {

std::set<std::string> PackNames(const std::string& path) {
    std::set<std::string> names;
    int err = 0;
    zip_t* za = zip_open(path.c_str(), ZIP_RDONLY, &err);
    if (!za) return names;
    for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); ++i) names.insert(zip_get_name(za, zip_uint64_t(i), 0));
    zip_discard(za);
    return names;
}

// Every file of a tree with its bytes and modification time.
std::map<std::string, std::pair<std::string, long long>> Snapshot(const std::string& dir) {
    std::map<std::string, std::pair<std::string, long long>> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
        if (!e.is_regular_file()) continue;
        struct stat st {};
        stat(e.path().c_str(), &st);
        files[e.path().string()] = {ReadFile(e.path().string()), (long long)st.st_mtim.tv_nsec + st.st_mtime * 1000000000LL};
    }
    return files;
}

}  // namespace

TEST(Publish, ASecondReleaseKeepsUnchangedVersionsAndPacksOnlyWhatChanged) {
    TempDir game, www, install, data;
    const std::string tree = www / "res/fenwa";
    WriteFile(game / "a.txt", "alpha 1");
    WriteFile(game / "data/b.bin", std::string(300000, 'b'));
    WriteFile(game / "data/keep.txt", "kept");
    std::string error;
    WriteFile(install / "k.key", fldemo::DemoSecretKeyFile());  // the key our launcher pins
    fl::PublishOptions o;
    o.gameDir = game.Path();
    o.outDir = tree;
    o.keyFile = install / "k.key";
    o.release = "r1";
    ASSERT_TRUE(fl::PublishRelease(o, error)) << error;
    EXPECT_EQ(ReadFile(tree + "/version.pat"), "a.txt|r1\r\ndata/b.bin|r1\r\ndata/keep.txt|r1\r\n");

    // Our launcher installs the first release.
    Nginx nginx(www.Path());
    if (!nginx.Running()) GTEST_SKIP() << "nginx is not installed";
    WriteFile(install / "values.txt", "'rsurl':'" + nginx.Url("/res/fenwa/") + "','preloadver':'1','vm':'a'");
    ProcessOptions po;
    po.env = {{"XDG_DATA_HOME", data.Path()}};
    const std::vector<std::string> args = {"update", "--install-dir", install.Path(), "--page-values",
                                           install / "values.txt", "--no-client"};
    ASSERT_EQ(RunProcess(FL_CLI, args, po).exitCode, 0);

    // The second release: one file changed, one added, one gone.
    WriteFile(game / "a.txt", "alpha 2");
    WriteFile(game / "c/new.txt", "new");
    std::string log200;
    for (int i = 0; i < 20000; ++i) log200 += "line " + std::to_string(i) + "\n";
    WriteFile(game / "c/log.txt", log200);
    std::remove((game / "data/b.bin").c_str());
    o.previousDir = tree;
    o.release = "r2";
    ASSERT_TRUE(fl::PublishRelease(o, error)) << error;
    EXPECT_EQ(ReadFile(tree + "/version.pat"), "a.txt|r2\r\nc/log.txt|r2\r\nc/new.txt|r2\r\ndata/keep.txt|r1\r\n");
    EXPECT_EQ(ReadFile(tree + "/PackVersion.pat"), "newversion|r2\r\nlastversion|r1\r\nfull_pack|r2_full\r\n");
    EXPECT_EQ(PackNames(tree + "/r2.zip"), (std::set<std::string>{"version.pat", "a.txt", "c/log.txt", "c/new.txt"}))
        << "exactly the changed and added files";
    EXPECT_EQ(PackNames(tree + "/r2_full.zip"),
              (std::set<std::string>{"version.pat", "a.txt", "c/log.txt", "c/new.txt", "data/keep.txt"}));
    // The incremental pack's entries are copied compressed from the full pack: Info-ZIP reads them as the files.
    if (!Shell("command -v unzip").empty()) {
        EXPECT_EQ(Shell("unzip -tq '" + tree + "/r2.zip' > /dev/null && echo ok"), "ok\n");
        EXPECT_TRUE(Shell("unzip -p '" + tree + "/r2.zip' c/log.txt") == log200);
    }
    fl::CHashList hashes;
    ASSERT_TRUE(hashes.Parse(ReadFile(tree + "/hash.pat")));
    EXPECT_EQ(hashes.Release(), "r2");
    for (const char* name : {"a.txt", "c/new.txt", "data/keep.txt", "r2.zip", "r2_full.zip", "version.pat", "PackVersion.pat"})
        EXPECT_NE(hashes.Find(name), nullptr) << name;
    ProcessOptions mo;
    mo.workDir = tree;
    ProcessResult checked = RunProcess("/usr/bin/minisign", {"-V", "-P", fldemo::DemoPublicKeyLine(), "-m", "hash.pat"}, mo);
    if (Exists("/usr/bin/minisign")) {
        EXPECT_EQ(checked.exitCode, 0) << checked.err;
    }

    // The update from the first release: the chunks it lacks, then exactly the new tree.
    nginx.ClearAccessLog();
    ProcessResult r = RunProcess(FL_CLI, args, po);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string run = data.Path() + "/fenwazelt/fenwa/";
    EXPECT_EQ(ReadFile(run + "a.txt"), "alpha 2");
    EXPECT_EQ(ReadFile(run + "c/new.txt"), "new");
    EXPECT_TRUE(ReadFile(run + "c/log.txt") == log200);
    EXPECT_EQ(ReadFile(run + "data/keep.txt"), "kept");
    const std::string log = nginx.AccessLog();
    EXPECT_NE(log.find("/res/fenwa/r2.from-r1.didx"), std::string::npos) << "only what changed since r1: " << log;
    EXPECT_NE(log.find("/res/fenwa/r2.chunks"), std::string::npos) << log;
    EXPECT_EQ(log.find(".zip"), std::string::npos) << "no pack: the chunks it lacked";
    EXPECT_LT(nginx.BytesSent("r2.chunks"), 60000) << "two small files' chunks and the log's";

    // Published again with the same input: nothing in the tree changes.
    const auto before = Snapshot(tree);
    ASSERT_TRUE(fl::PublishRelease(o, error)) << error;
    EXPECT_TRUE(Snapshot(tree) == before);
}

TEST(Publish, NamesALauncherWouldRefuseAreRefusedAtPublishing) {
    TempDir game, out;
    WriteFile(game / "bad\x01name.txt", "x");
    fl::PublishOptions o;
    o.gameDir = game.Path();
    o.outDir = out.Path();
    std::string error;
    EXPECT_FALSE(fl::PublishRelease(o, error));
    EXPECT_NE(error.find("not a name"), std::string::npos) << error;
    EXPECT_FALSE(Exists(out / "version.pat")) << "nothing half published";
}

// A release name stands for one content: published again with other files it is
// refused, so its packs, lists and files never disagree.
TEST(Publish, AKnownReleaseNameWithOtherContentIsRefused) {
    TempDir game, out;
    WriteFile(game / "a.txt", "one");
    WriteFile(game / "b.txt", "two");
    fl::PublishOptions o = ReleaseOptions(game.Path(), out.Path(), "r1");
    std::string error;
    ASSERT_TRUE(fl::PublishRelease(o, error)) << error;
    const auto before = Snapshot(out.Path());
    WriteFile(game / "a.txt", "one, changed");
    EXPECT_FALSE(fl::PublishRelease(o, error));
    EXPECT_NE(error.find("release r1 is published"), std::string::npos) << error;
    EXPECT_TRUE(Snapshot(out.Path()) == before) << "nothing written";
    // A new name publishes it; going back to the old name with the new content is refused too.
    o.release = "r2";
    o.previousDir = out.Path();
    ASSERT_TRUE(fl::PublishRelease(o, error)) << error;
    o.release = "r1";
    EXPECT_FALSE(fl::PublishRelease(o, error));
    EXPECT_NE(error.find("release r1 was published"), std::string::npos) << error;
    // Without a name the release is named after its content, and that is always safe.
    o.release.clear();
    EXPECT_TRUE(fl::PublishRelease(o, error)) << error;
}

TEST(Publish, AGameFileNamedLikeTheTreesOwnFilesIsRefused) {
    for (const char* own : {"PackVersion.pat", "hash.pat", "hash.pat.minisig", "luncherVersion.pat", "FLauncher_zelt.exe",
                            "r5_full.zip", "r5.zip", "r4_full.zip"}) {
        TempDir game, out;
        WriteFile(out / "PackVersion.pat", "newversion|r4\r\nfull_pack|r4_full\r\n");  // the tree's current release
        WriteFile(game / "ok.txt", "x");
        WriteFile(game / own, "a game file");
        fl::PublishOptions o;
        o.gameDir = game.Path();
        o.outDir = out.Path();
        o.previousDir = out.Path();
        o.release = "r5";
        std::string error;
        EXPECT_FALSE(fl::PublishRelease(o, error)) << own;
        EXPECT_NE(error.find("may not be named"), std::string::npos) << error;
        EXPECT_FALSE(Exists(out / "version.pat")) << own;
    }
}

TEST(Publish, ARelativeOutFolderThatDoesNotExistYetIsMade) {
    TempDir work;
    WriteFile(work / "game/a.txt", "a");
    WriteFile(work / "game/sub/b.txt", "b");
    for (const char* out : {"tree", "./tree2", "deep/tree3/"}) {
        ProcessOptions po;
        po.workDir = work.Path();
        ProcessResult r = RunProcess(FL_PUBLISH, {"--game", "game", "--out", out, "--release", "r1"}, po);
        EXPECT_EQ(r.exitCode, 0) << out << ": " << r.err;
        const std::string tree = work / (std::string(out).rfind("./", 0) == 0 ? std::string(out).substr(2) : std::string(out));
        EXPECT_EQ(ReadFile(tree + "/sub/b.txt"), "b") << out;
        EXPECT_TRUE(Exists(tree + "/hash.pat")) << out;
    }
}

// Each release's lists, launcher and signature also stand under its own name;
// the oldest releases' files go, never one the lists in place still name.
TEST(Publish, ReleasesKeepTheirOwnListsAndOnlyTheLastOnesStay) {
    TempDir game, www, key;
    const std::string tree = www / "res/fenwa";
    WriteFile(key / "k.key", fldemo::DemoSecretKeyFile());
    WriteFile(game / "launcher.bin", "launcher 2");
    fl::PublishOptions o;
    o.gameDir = game / "files";
    o.outDir = tree;
    o.keyFile = key / "k.key";
    o.keep = 1;
    std::string error;
    for (int i = 1; i <= 4; ++i) {
        WriteFile(game / "files/a.txt", "alpha " + std::to_string(i));
        o.release = "r" + std::to_string(i);
        if (i == 2) {
            o.launcherFile = game / "launcher.bin";
            o.launcherVersion = "2.0";
        }
        if (i > 1) o.previousDir = tree;
        if (i == 2) std::filesystem::remove(tree + "/releases.pat");  // a tree from before the record
        ASSERT_TRUE(fl::PublishRelease(o, error)) << error;
    }
    fl::CHashList hashes;
    ASSERT_TRUE(hashes.Parse(ReadFile(tree + "/hash.pat")));
    for (const char* name : {"version.pat", "PackVersion.pat", "luncherVersion.pat", "FLauncher_zelt.exe"}) {
        const fl::FoundEntry entry = hashes.Find(name);
        const fl::FoundEntry copy = hashes.Find(std::string("r4.") + name);
        ASSERT_TRUE(entry && copy) << name;
        EXPECT_EQ(copy->sha256, entry->sha256) << name;
        EXPECT_EQ(ReadFile(tree + "/r4." + name), ReadFile(tree + "/" + name)) << name;
    }
    EXPECT_EQ(ReadFile(tree + "/r4.minisig"), ReadFile(tree + "/hash.pat.minisig"));
    // r4 is kept, and r3 too: the pack list in place names it as the release before.
    for (const char* gone : {"r1.idx", "r1.chunks", "r1_full.zip", "r1.version.pat", "r2.chunks", "r2.minisig",
                             "r2.FLauncher_zelt.exe", "r2.from-r1.didx"})
        EXPECT_FALSE(Exists(tree + "/" + gone)) << gone;
    for (const char* kept : {"r3.idx", "r3.chunks", "r3.minisig", "r4.idx", "r4.chunks", "r4.zip", "r4_full.zip",
                             "r3.from-r2.didx", "r4.from-r3.didx"})
        EXPECT_TRUE(Exists(tree + "/" + kept)) << kept;
    EXPECT_EQ(ReadFile(tree + "/releases.pat"), "release|r3\r\nrelease|r4\r\n");

    // Signed a second apart at least, whatever the clock says: no launcher takes the newer for a rollback.
    std::string r3Release, r4Release;
    long long r3Time = 0, r4Time = 0;
    fl::MinisignSignature s3, s4;
    ASSERT_TRUE(fl::ParseMinisignSignature(ReadFile(tree + "/r3.minisig"), s3) &&
                fl::ParseMinisignSignature(ReadFile(tree + "/r4.minisig"), s4));
    ASSERT_TRUE(fl::ParseTrustedComment(s3.trustedComment, r3Release, r3Time) &&
                fl::ParseTrustedComment(s4.trustedComment, r4Release, r4Time));
    EXPECT_GT(r4Time, r3Time);

    ProcessResult refused = RunProcess(FL_PUBLISH, {"--game", game / "files", "--out", tree, "--keep", "0"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("--keep takes a number of releases, at least 1: 0"), std::string::npos) << refused.err;
}

TEST(Publish, TheListSaysWhichReleasesTheTreeKeepsAndWhichIsInPlace) {
    TempDir work;
    WriteFile(work / "k.key", fldemo::DemoSecretKeyFile());
    WriteFile(work / "game/a.bin", std::string(300000, 'a'));
    ProcessOptions here;
    here.workDir = work.Path();  // relative paths, as an operator types them
    for (int i = 1; i <= 3; ++i) {
        WriteFile(work / "game/b.txt", "release " + std::to_string(i));
        std::vector<std::string> args = {"--game", "game", "--out", "tree", "--key", "k.key", "--release",
                                         "r" + std::to_string(i), "--keep", "2"};
        if (i > 1) args.insert(args.end(), {"--previous", "tree"});
        ASSERT_EQ(RunProcess(FL_PUBLISH, args, here).exitCode, 0);
    }
    const auto before = Snapshot(work / "tree");
    ProcessResult listed = RunProcess(FL_PUBLISH, {"--list", "--out", "tree"}, here);
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    std::istringstream lines(listed.out);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) rows.push_back(line);
    ASSERT_EQ(rows.size(), 3u) << listed.out;
    EXPECT_EQ(rows[1].rfind("r2 ", 0), 0u) << "oldest first: " << listed.out;
    EXPECT_EQ(rows[2].rfind("r3 ", 0), 0u) << listed.out;
    EXPECT_EQ(rows[1].find("in place"), std::string::npos);
    EXPECT_NE(rows[2].find("<- the lists in place"), std::string::npos);
    EXPECT_NE(rows[2].find(" 2 "), std::string::npos) << "two files";
    EXPECT_NE(rows[2].find("293.0 KiB"), std::string::npos) << "their size";
    EXPECT_TRUE(Snapshot(work / "tree") == before) << "listing writes nothing";

    ProcessResult none = RunProcess(FL_PUBLISH, {"--list", "--out", "elsewhere"}, here);
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find("no release is published in"), std::string::npos) << none.err;
    EXPECT_EQ(RunProcess(FL_PUBLISH, {"--list", "--out", "tree", "--game", "game"}, here).exitCode, 2);
}

TEST(Publish, FilesThatDoNotCompressAreStoredInThePacksAsTheyAre) {
    TempDir game, out;
    std::mt19937 random(3);
    std::string noise(300000, '\0');
    for (char& c : noise) c = char(random());
    WriteFile(game / "noise.bin", noise);
    WriteFile(game / "text.txt", std::string(200000, 't'));
    std::string error;
    ASSERT_TRUE(fl::PublishRelease(ReleaseOptions(game.Path(), out.Path(), "r1"), error)) << error;
    noise[1000] ^= 1;
    WriteFile(game / "noise.bin", noise);
    WriteFile(game / "text.txt", std::string(200001, 't'));
    fl::PublishOptions next = ReleaseOptions(game.Path(), out.Path(), "r2");
    next.previousDir = out.Path();
    ASSERT_TRUE(fl::PublishRelease(next, error)) << error;
    for (const std::string pack : {"r1_full.zip", "r2_full.zip", "r2.zip"}) {
        int err = 0;
        zip_t* za = zip_open((out / pack).c_str(), ZIP_RDONLY, &err);
        ASSERT_NE(za, nullptr) << pack;
        zip_stat_t noiseStat, textStat;
        ASSERT_EQ(zip_stat(za, "noise.bin", 0, &noiseStat), 0) << pack;
        ASSERT_EQ(zip_stat(za, "text.txt", 0, &textStat), 0) << pack;
        EXPECT_EQ(noiseStat.comp_method, ZIP_CM_STORE) << pack;
        EXPECT_EQ(textStat.comp_method, ZIP_CM_DEFLATE) << pack;
        zip_discard(za);
        // Info-ZIP reads them as any other pack.
        if (access("/usr/bin/unzip", X_OK) != 0) continue;
        EXPECT_EQ(std::system(("unzip -tqq '" + out / pack + "' >/dev/null").c_str()), 0) << pack;
    }
}
