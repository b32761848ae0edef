// The update from a chunked release, through a real server (nginx) and the
// runner: files changed every way a release changes them end byte for byte as
// published, and cost only the chunks they lack; a store that does not hold
// what its index says leaves nothing wrong in place and the whole files come
// instead.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "tests/support/ChunkedFixture.h"

using namespace fltest;


TEST_F(ChunkedFixture, EveryKindOfChangeEndsAsPublishedAndCostsOnlyWhatChanged) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    const std::string a = RandomBytes(3 << 20, 1), b = RandomBytes(2 << 20, 2), c = RandomBytes(1 << 20, 3), d = RandomBytes(1 << 20, 4);
    WriteFile(game / "insert.bin", a);
    WriteFile(game / "truncate.bin", b);
    WriteFile(game / "append.bin", c);
    WriteFile(game / "old/name.bin", d);
    WriteFile(game / "empty-me.txt", "something");
    WriteFile(game / "same.txt", "same");
    Publish("r1");
    ProcessResult first = Update();
    ASSERT_EQ(first.exitCode, 0) << first.err;
    ExpectRelease();
    EXPECT_EQ(nginx->AccessLog().find(".zip"), std::string::npos) << "a fresh install reads the chunk store";

    std::string a2 = a;
    a2.insert(1 << 20, RandomBytes(5000, 5));
    WriteFile(game / "insert.bin", a2);
    WriteFile(game / "truncate.bin", b.substr(0, b.size() / 2));
    WriteFile(game / "append.bin", c + RandomBytes(3000, 6));
    std::filesystem::remove(game / "old/name.bin");  // the release removes it (and with it its folder)
    WriteFile(Run() + "mine/notes.txt", "the player's");
    WriteFile(game / "new/renamed.bin", d);      // renamed and moved to another folder
    WriteFile(game / "copy/of-insert.bin", a2);  // duplicated
    WriteFile(game / "empty-me.txt", "");
    Publish("r2");
    ProcessResult second = Update();
    ASSERT_EQ(second.exitCode, 0) << second.err;
    ExpectRelease();
    EXPECT_FALSE(Exists(Run() + "old")) << "the file the release removed is gone, and its folder";
    EXPECT_EQ(ReadFile(Run() + "mine/notes.txt"), "the player's");
    const long long fetched = nginx->BytesSent("r2.chunks");
    std::printf("[ chunked ] the second release fetched %lld bytes of its store\n", fetched);
    EXPECT_LT(fetched, 400 << 10) << "the chunks around the edits, not the 10 MiB of changed files";
    EXPECT_EQ(nginx->AccessLog().find(".zip"), std::string::npos);

    // Once more: nothing to fetch but the lists.
    ProcessResult third = Update();
    ASSERT_EQ(third.exitCode, 0) << third.err;
    EXPECT_EQ(nginx->BytesSent("r2.chunks"), 0);
}

TEST_F(ChunkedFixture, AStoreThatIsNotWhatItsIndexSaysFallsBackToWholeFiles) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    WriteFile(game / "a.bin", RandomBytes(1 << 20, 7));
    WriteFile(game / "b.txt", "bee");
    Publish("r1");
    // The store damaged behind the signed list's back, then lacking its last chunks:
    // the whole files come from the file list instead, and nothing partial stays.
    const std::string whole = ReadFile(Tree() + "/r1.chunks");
    std::string store = whole;
    store[store.size() / 2] ^= 1;
    for (const std::string& served : {store, whole.substr(0, whole.size() / 2)}) {
        SCOPED_TRACE(served.size() == whole.size() ? "damaged" : "cut short");
        WriteFile(Tree() + "/r1.chunks", served);
        std::filesystem::remove_all(data.Path() + "/fenwazelt");
        ProcessResult r = Update();
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.err.find("the chunked update failed"), std::string::npos) << r.err;
        ExpectRelease();
        for (const auto& e : std::filesystem::recursive_directory_iterator(Run()))
            EXPECT_EQ(e.path().string().find("chunks.partial"), std::string::npos) << e.path();
    }
}

// A file the release turns into a folder, and a folder it turns into a file;
// a folder holding a file of the player's is not removed for it.
TEST_F(ChunkedFixture, AFileBecomesAFolderAndAFolderBecomesAFile) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    WriteFile(game / "maps", RandomBytes(300000, 11));
    WriteFile(game / "sounds/a.ogg", RandomBytes(200000, 12));
    WriteFile(game / "sounds/b.ogg", RandomBytes(100000, 13));
    WriteFile(game / "keep.txt", "keep");
    Publish("r1");
    ASSERT_EQ(Update().exitCode, 0);

    const std::string maps = ReadFile(game / "maps"), a = ReadFile(game / "sounds/a.ogg");
    std::filesystem::remove(game / "maps");
    std::filesystem::remove_all(game / "sounds");
    WriteFile(game / "maps/first.map", maps);  // the old file's bytes, now inside the folder
    WriteFile(game / "sounds", a);
    Publish("r2");
    ProcessResult r = Update();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ExpectRelease();
    EXPECT_TRUE(std::filesystem::is_directory(Run() + "maps"));
    EXPECT_TRUE(std::filesystem::is_regular_file(Run() + "sounds"));
    EXPECT_LT(nginx->BytesSent("r2.chunks"), 20000) << "both were built from the folder's own chunks";

    // Back again, with a file of the player's inside the folder that would go.
    WriteFile(Run() + "maps/mine.map", "the player's own map");
    std::filesystem::remove_all(game / "maps");
    WriteFile(game / "maps", maps);
    Publish("r3");
    ProcessResult refused = Update();
    EXPECT_EQ(ReadFile(Run() + "maps/mine.map"), "the player's own map");
    EXPECT_NE(refused.err.find("the folder maps holds maps/mine.map, not a file of the game"), std::string::npos)
        << refused.err;
}

// A fresh install beside an installer's pack (as the package ships it) unpacks
// that pack and fetches from the store only what it lacks.
TEST_F(ChunkedFixture, AFreshInstallUnpacksTheInstallersPackInsteadOfReadingTheStore) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    WriteFile(game / "big.bin", RandomBytes(2 << 20, 21));
    WriteFile(game / "maps/a.map", RandomBytes(300000, 22));
    Publish("r1");
    WriteFile(install / "installver.pat", "i1\r\n");
    WriteFile(install / "r1_full.dydr", ReadFile(Tree() + "/r1_full.zip"));
    ProcessResult r = Update();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ExpectRelease();
    EXPECT_EQ(nginx->BytesSent("r1.chunks"), 0) << "every chunk came from the installer's pack";
    EXPECT_EQ(nginx->AccessLog().find(".zip"), std::string::npos);

    // A pack that is not the listed one is not used: the store serves the install.
    std::filesystem::remove_all(data.Path() + "/fenwazelt");
    WriteFile(install / "r1_full.dydr", "not a pack");
    ProcessResult other = Update();
    ASSERT_EQ(other.exitCode, 0) << other.err;
    ExpectRelease();
    EXPECT_GT(nginx->BytesSent("r1.chunks"), 2 << 20);
}

// verify --repair on a chunked release: a damaged file is rebuilt from its own
// good chunks and the store's others, not fetched whole.
TEST_F(ChunkedFixture, RepairRebuildsADamagedFileFromItsGoodChunks) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    WriteFile(game / "big.bin", RandomBytes(8 << 20, 61));
    WriteFile(game / "small.dat", RandomBytes(5000, 62));
    Publish("r1");
    ASSERT_EQ(Update().exitCode, 0);
    // 100 bytes in the middle of the large file, and the small one gone.
    std::string big = ReadFile(Run() + "big.bin");
    for (size_t i = 0; i < 100; ++i) big[(4 << 20) + i] = char(~big[(4 << 20) + i]);
    WriteFile(Run() + "big.bin", big);
    std::filesystem::remove(Run() + "small.dat");

    ProcessResult found = Verify();
    EXPECT_EQ(found.exitCode, 1);
    EXPECT_NE(found.out.find("2 missing or different"), std::string::npos) << found.out;
    nginx->ClearAccessLog();
    ProcessResult fixed = Verify(true);
    ASSERT_EQ(fixed.exitCode, 0) << fixed.out << fixed.err;
    EXPECT_NE(fixed.out.find("big.bin: rebuilt from its chunks"), std::string::npos) << fixed.out;
    EXPECT_NE(fixed.out.find("2 of 2 files repaired"), std::string::npos) << fixed.out;
    ExpectRelease();
    // A chunk or two of the store, never the file itself.
    EXPECT_EQ(nginx->AccessLog().find("/big.bin"), std::string::npos) << nginx->AccessLog();
    EXPECT_LT(nginx->BytesSent(".chunks"), 1 << 20);
    EXPECT_EQ(Verify().exitCode, 0);
}
