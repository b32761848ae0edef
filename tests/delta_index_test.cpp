// The delta index, through nginx and the runner: a folder whole for the
// previous release reads only what changed since (never the whole index),
// and any folder it does not fit, or a delta index that does not fit the
// signed list, ends exact through the whole index.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/ChunkedFixture.h"
#include "update/chunks/DeltaIndex.h"

using namespace fltest;

namespace {

struct DeltaFixture : ChunkedFixture {
    std::string big;
    void PublishFirst() {
        big = RandomBytes(3 << 20, 1);
        WriteFile(game / "big.bin", big);
        for (int i = 0; i < 200; ++i) WriteFile(game / ("s/" + std::to_string(i)), RandomBytes(20000, 100 + unsigned(i)));
        Publish("r1");
    }
    // One edit in the large file, one small file changed, one added, one removed.
    void PublishEdits(const std::string& release, unsigned seed) {
        big.replace(1 << 20, 5000, RandomBytes(5000, seed));
        WriteFile(game / "big.bin", big);
        WriteFile(game / "s/7", RandomBytes(20000, seed + 1));
        WriteFile(game / ("new/" + release), RandomBytes(3000, seed + 2));
        std::filesystem::remove(game / ("s/" + std::to_string(seed % 200)));
        Publish(release);
    }
};

}  // namespace

TEST_F(DeltaFixture, AFolderWholeForThePreviousReleaseReadsOnlyWhatChanged) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    PublishFirst();
    ASSERT_EQ(Update().exitCode, 0);
    PublishEdits("r2", 11);
    const std::string deltaName = "r2.from-r1.didx";
    ASSERT_TRUE(Exists(Tree() + "/" + deltaName));
    EXPECT_NE(ReadFile(Tree() + "/hash.pat").find("\n" + deltaName + "|"), std::string::npos) << "signed with the release";
    fl::CDeltaIndex delta;
    std::string why;
    ASSERT_TRUE(delta.Parse(ReadFile(Tree() + "/" + deltaName), why)) << why;
    EXPECT_EQ(delta.m_vecFiles.size(), 3u) << "the large file, the changed small file and the new one";

    ProcessResult r = Update();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ExpectRelease();
    EXPECT_FALSE(Exists(Run() + "s/11")) << "the removed file is gone";
    const long long deltaBytes = nginx->BytesSent(deltaName), whole = (long long)std::filesystem::file_size(Tree() + "/r2.idx");
    std::printf("[ delta ] the delta index: %lld bytes, the whole index %lld\n", deltaBytes, whole);
    EXPECT_GT(deltaBytes, 0);
    EXPECT_EQ(nginx->AccessLog().find("r2.idx"), std::string::npos) << "the whole index is never read";
    EXPECT_LT(deltaBytes * 10, whole);

    // The next release, from there: its own delta index again.
    PublishEdits("r3", 23);
    ProcessResult third = Update();
    ASSERT_EQ(third.exitCode, 0) << third.err;
    ExpectRelease();
    EXPECT_GT(nginx->BytesSent("r3.from-r2.didx"), 0);
    EXPECT_EQ(nginx->AccessLog().find("r3.idx"), std::string::npos);
}

TEST_F(DeltaFixture, AFolderItDoesNotFitReadsTheWholeIndex) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    PublishFirst();
    ASSERT_EQ(Update().exitCode, 0);
    PublishEdits("r2", 11);
    PublishEdits("r3", 23);  // its delta index is from r2, which this folder never had
    ProcessResult older = Update();
    ASSERT_EQ(older.exitCode, 0) << older.err;
    ExpectRelease();
    EXPECT_NE(nginx->AccessLog().find("r3.idx"), std::string::npos);
    EXPECT_EQ(nginx->AccessLog().find(".didx"), std::string::npos) << "no delta index fits it: none is asked for";

    // A folder whose file the player touched since it was whole: the whole index, and the file mended.
    PublishEdits("r4", 37);
    WriteFile(Run() + "s/50", "touched by the player");
    ProcessResult touched = Update();
    ASSERT_EQ(touched.exitCode, 0) << touched.err;
    ExpectRelease();
    EXPECT_NE(nginx->AccessLog().find("r4.idx"), std::string::npos);
}

// Signed by the key, so only the launcher's own checks stand between it and the folder.
TEST_F(DeltaFixture, ADeltaIndexThatDoesNotFitTheSignedListIsSetAside) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    PublishFirst();
    ASSERT_EQ(Update().exitCode, 0);
    PublishEdits("r2", 11);
    // A changed file left out: the folder would end without it.
    std::string delta = ReadFile(Tree() + "/r2.from-r1.didx");
    const size_t file = delta.find("\nfile|s/7|");
    ASSERT_NE(file, std::string::npos);
    const size_t next = delta.find("\nfile|", file + 1);
    delta = delta.substr(0, file + 1) + (next == std::string::npos ? "" : delta.substr(next + 1));
    ReplaceSigned("r2.from-r1.didx", delta);
    ProcessResult lacking = Update();
    ASSERT_EQ(lacking.exitCode, 0) << lacking.err;
    ExpectRelease();
    EXPECT_NE(nginx->AccessLog().find("r2.idx"), std::string::npos) << "the whole index instead";

    // A run past the end of the version the folder holds.
    PublishEdits("r3", 23);
    delta = ReadFile(Tree() + "/r3.from-r2.didx");
    const size_t same = delta.find("\nsame|");
    ASSERT_NE(same, std::string::npos);
    delta.insert(same + 1, "same|0|99999\n");
    ReplaceSigned("r3.from-r2.didx", delta);
    ProcessResult past = Update();
    ASSERT_EQ(past.exitCode, 0) << past.err;
    ExpectRelease();
    EXPECT_NE(nginx->AccessLog().find("r3.idx"), std::string::npos) << "the whole index instead";
}

TEST(DeltaIndex, AHostileDeltaIndexIsRefusedWhole) {
    const std::string head = "#deltaindex|1\nrelease|r2\nfrom|r1\nchunker|fastcdc min=16384 avg=65536 max=262144\nstore|r2.chunks\n";
    const std::string sha(64, 'a');
    fl::CDeltaIndex d;
    std::string why;
    EXPECT_TRUE(d.Parse(head + "file|a|10|" + sha + "|644\nsame|0|1\nchunk|" + sha + "|10|0|12\n", why)) << why;
    const std::string patched = head + "patches|r2.patches\nfile|a|10|" + sha + "|644\nchunk|" + sha + "|10|0|12\n";
    EXPECT_TRUE(d.Parse(patched + "patch|0|5|0|2\n", why)) << why;
    for (const std::string& bad : {
             head + "file|../a|10|" + sha + "|644\n",                            // a name that may not become a path
             head + "file|.fenwa-launcher/x|10|" + sha + "|644\n",              // the launcher's own folder
             head + "file|a|10|" + sha + "|644\nfile|a|10|" + sha + "|644\n",  // named twice
             head + "same|0|1\n",                                               // a run before its file
             head + "file|a|10|" + sha + "|644\nsame|0|0\n",                   // an empty run
             head + "file|a|10|" + sha + "|644\nsame|-1|1\n",                  // a sign
             head + "file|a|10|" + sha + "|644\nchunk|" + sha + "|999999|0|12\n",  // a chunk no chunker makes
             std::string("#deltaindex|1\nrelease|r2\nfrom|r1\nstore|r2.chunks\n"),  // no chunker
             std::string("#deltaindex|2\n"),
             head + "file|a|10|" + sha + "|644\nchunk|" + sha + "|10|0|12\npatch|0|5|0|1\n",  // no patch store named
             patched + "patch|0|5|0|0\n",                                       // a patch against nothing
             patched + "patch|0|5|0|5\n",                                       // against too much
             patched + "patch|0|5|0|1\npatch|5|5|0|1\n",                       // two patches for one chunk
             head + "patches|../r2.patches\n",                                  // a patch store elsewhere
             head + "patches|r2.patches\nfile|a|10|" + sha + "|644\nsame|0|1\npatch|0|5|0|1\n"}) {  // a run's patch
        EXPECT_FALSE(d.Parse(bad, why)) << bad;
    }
}
