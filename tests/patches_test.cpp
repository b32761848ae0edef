// Patches from the previous release, through nginx and the runner: a player at
// the previous release fetches patches instead of the chunks they make, every
// result is the published chunk, and anything else (a damaged patch, a player
// at an older release, a fresh install) still ends exact through the chunks.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/ChunkedFixture.h"
#include "update/chunks/PatchIndex.h"

using namespace fltest;

namespace {

// Bytes that compress as a game's assets do, so a chunk costs what assets cost.
void Poke(std::string& bytes, size_t at, const std::string& with) { bytes.replace(at, with.size(), with); }

struct PatchesFixture : ChunkedFixture {
    std::string big, small;
    void PublishFirst() {
        big = Letters(4 << 20, 1);
        small = Letters(60 << 10, 2);
        WriteFile(game / "big.bin", big);
        for (int i = 0; i < 20; ++i) WriteFile(game / ("s/" + std::to_string(i)), Letters(60 << 10, 100 + unsigned(i)));
        Publish("r1");
    }
    // A few bytes changed in the large file and in every small one.
    void PublishEdits(const std::string& release, const std::string& mark) {
        for (size_t at : {size_t(100000), size_t(2000000), size_t(3500000)}) Poke(big, at, mark);
        WriteFile(game / "big.bin", big);
        for (int i = 0; i < 20; ++i) {
            std::string s = ReadFile(game / ("s/" + std::to_string(i)));
            Poke(s, 1000 + size_t(i) * 100, mark);
            WriteFile(game / ("s/" + std::to_string(i)), s);
        }
        Publish(release);
    }
};

}  // namespace

TEST_F(PatchesFixture, APlayerAtThePreviousReleaseFetchesPatchesNotChunks) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    PublishFirst();
    ASSERT_EQ(Update().exitCode, 0);
    EXPECT_FALSE(Exists(Tree() + "/r1.pidx")) << "the first release has nothing to patch against";
    PublishEdits("r2", "EDITED");
    // The publisher wrote a patch for every changed chunk, each smaller than its chunk.
    fl::CPatchIndex patches;
    std::string why;
    ASSERT_TRUE(patches.Parse(ReadFile(Tree() + "/r2.pidx"), why)) << why;
    EXPECT_EQ(patches.m_strStore, "r2.patches");
    EXPECT_GE(patches.m_vecPatches.size(), 23u) << "three chunks of the large file and the twenty small files";
    const std::string list = ReadFile(Tree() + "/hash.pat");
    EXPECT_NE(list.find("\nr2.pidx|"), std::string::npos);
    EXPECT_NE(list.find("\nr2.patches|"), std::string::npos);

    ProcessResult r = Update();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ExpectRelease();
    const long long chunks = nginx->BytesSent("r2.chunks"), patched = nginx->BytesSent("r2.patches");
    std::printf("[ patches ] %lld bytes of patches, %lld of chunks, %lld of the delta index\n", patched, chunks,
                nginx->BytesSent("r2.from-r1.didx"));
    EXPECT_EQ(nginx->BytesSent("r2.pidx"), 0) << "the delta index names the patches this folder can use";
    EXPECT_GT(patched, 0);
    EXPECT_LT(patched, 8 << 10) << "a few bytes changed in 23 places";
    EXPECT_EQ(chunks, 0) << "every changed chunk came as a patch";
    EXPECT_FALSE(Exists(Run() + ".fenwa-launcher/chunks.patched")) << "the made chunks' file goes with the run";

    // Once more: nothing fetched, not even the patch index.
    ASSERT_EQ(Update().exitCode, 0);
    EXPECT_EQ(nginx->BytesSent("r2.pidx") + nginx->BytesSent("r2.patches") + nginx->BytesSent("r2.chunks"), 0);
}

TEST_F(PatchesFixture, ADamagedPatchLeavesItsChunkToTheStore) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    PublishFirst();
    ASSERT_EQ(Update().exitCode, 0);
    PublishEdits("r2", "EDITED");
    // Damaged behind the signed list's back: a range of the store cannot be checked whole, each result is.
    std::string store = ReadFile(Tree() + "/r2.patches");
    for (size_t i = 0; i < store.size(); i += 97) store[i] ^= 0x5a;
    WriteFile(Tree() + "/r2.patches", store);
    ProcessResult r = Update();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ExpectRelease();
    EXPECT_GT(nginx->BytesSent("r2.chunks"), 0) << "the chunks the patches did not make";
    EXPECT_FALSE(Exists(Run() + ".fenwa-launcher/chunks.patched"));
}

TEST_F(PatchesFixture, APlayerAtAnOlderReleaseOrAFreshFolderEndsExactThroughTheChunks) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    PublishFirst();
    ASSERT_EQ(Update().exitCode, 0);
    PublishEdits("r2", "SECOND");
    PublishEdits("r3", "THIRD!");  // its patches are against r2, which this player never had
    ProcessResult older = Update();
    ASSERT_EQ(older.exitCode, 0) << older.err;
    ExpectRelease();
    EXPECT_EQ(nginx->BytesSent("r3.patches"), 0) << "no patch this folder could apply";
    EXPECT_GT(nginx->BytesSent("r3.chunks"), 0);

    std::filesystem::remove_all(data.Path() + "/fenwazelt");
    ProcessResult fresh = Update();
    ASSERT_EQ(fresh.exitCode, 0) << fresh.err;
    ExpectRelease();
    EXPECT_EQ(nginx->BytesSent("r3.pidx"), 0) << "a fresh folder holds nothing to patch";
}

TEST(PatchIndex, AHostileIndexIsRefusedWhole) {
    const std::string head = "#patchindex|1\nrelease|r2\nstore|r2.patches\n";
    const std::string ref(64, 'a');
    fl::CPatchIndex p;
    std::string why;
    EXPECT_TRUE(p.Parse(head + "patch|0|0|10|" + ref + "+" + ref + "\n", why)) << why;
    for (const std::string& bad : {
             head + "patch|0|0|10|" + ref + "\npatch|0|10|10|" + ref + "\n",  // one chunk patched twice
             head + "patch|0|0|0|" + ref + "\n",                                // an empty patch
             head + "patch|-1|0|10|" + ref + "\n",                              // a sign
             head + "patch|0|0|10|" + ref.substr(1) + "\n",                     // a short reference
             head + "patch|0|0|10|" + ref + "+" + ref + "+" + ref + "+" + ref + "+" + ref + "\n",  // too many
             std::string("#patchindex|1\nrelease|r2\nstore|../r2.patches\n"),  // a store elsewhere
             std::string("#patchindex|2\nrelease|r2\nstore|r2.patches\n"),     // another version
             head + "release|r3\n"}) {
        EXPECT_FALSE(p.Parse(bad, why)) << bad;
    }
    // A frame that asks for a window far past what a reference and a chunk need is refused, not honoured.
    std::string out;
    const std::string frame = "\x28\xb5\x2f\xfd\x00\xf8", reference = "x";  // window 2^31+
    EXPECT_FALSE(fl::ApplyPatch(reference, frame.data(), frame.size(), 10, out));
}

// A server that answers every range with the whole patch store: the patches
// are given up after one answer, and the chunks come as from such a server.
TEST_F(PatchesFixture, AServerThatIgnoresRangesStillEndsExact) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    PublishFirst();
    ASSERT_EQ(Update().exitCode, 0);
    PublishEdits("r2", "EDITED");
    ServeWith("max_ranges 0;");
    ProcessResult r = Update();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ExpectRelease();
    EXPECT_LE(nginx->BytesSent("r2.patches"), (long long)std::filesystem::file_size(Tree() + "/r2.patches"))
        << "the whole patch store once at most";
}
