// Content-defined chunks: where the boundaries fall, the index that names
// them, and a published release rebuilt from its chunk store alone.
#include <gtest/gtest.h>
#include <zstd.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <set>

#include "demo/DemoContent.h"
#include "publish/Publisher.h"
#include "tests/support/PublishTree.h"
#include "tests/support/TempDir.h"
#include "update/chunks/ChunkIndex.h"
#include "update/chunks/ChunkAssembler.h"
#include "update/chunks/ChunkPlan.h"
#include "update/integrity/BodyCheck.h"
#include "update/chunks/Chunker.h"
#include "update/integrity/HashList.h"
#include "update/integrity/Sha256.h"

using namespace fltest;

namespace {

std::vector<std::string> Cut(const std::string& data, const fl::ChunkerParams& p = {}) {
    std::vector<std::string> chunks;
    for (size_t at = 0; at < data.size();) {
        const size_t n = fl::NextChunkLength(p, reinterpret_cast<const uint8_t*>(data.data()) + at, data.size() - at);
        chunks.push_back(data.substr(at, n));
        at += n;
    }
    return chunks;
}

}  // namespace

TEST(Chunker, BoundariesFollowTheContentSoAnInsertionChangesOnlyItsNeighbours) {
    const fl::ChunkerParams p;
    const std::string data = RandomBytes(8 << 20, 1);
    const auto chunks = Cut(data);
    size_t total = 0;
    for (size_t i = 0; i < chunks.size(); ++i) {
        total += chunks[i].size();
        EXPECT_LE(chunks[i].size(), p.maxSize);
        if (i + 1 < chunks.size()) {
            EXPECT_GE(chunks[i].size(), p.minSize);
        }
    }
    EXPECT_EQ(total, data.size());
    const double average = double(data.size()) / double(chunks.size());
    EXPECT_GT(average, p.avgSize * 0.6);
    EXPECT_LT(average, p.avgSize * 1.6);
    EXPECT_EQ(Cut(data), chunks) << "the same bytes, the same chunks";

    // 1 KiB inserted in the middle, a byte changed near the end, the front cut off.
    std::string edited = data;
    edited.insert(4 << 20, RandomBytes(1024, 2));
    edited[7 << 20] ^= 1;
    edited.erase(0, 100000);
    std::set<std::string> before;
    for (const auto& c : chunks) before.insert(fl::Sha256Of(c));
    size_t fresh = 0;
    for (const auto& c : Cut(edited)) fresh += before.count(fl::Sha256Of(c)) == 0;
    EXPECT_LE(fresh, 6u) << "of " << chunks.size();
}

TEST(ChunkerParams, OnlyOurChunkerWithSaneSizesIsAccepted) {
    fl::ChunkerParams p;
    ASSERT_TRUE(fl::ChunkerParams::Parse(fl::ChunkerParams().Describe(), p));
    EXPECT_EQ(p.avgSize, 65536u);
    for (const char* bad : {"", "fastcdc min=1 avg=2 max=3", "fastcdc min=16384 avg=60000 max=262144",
                            "fastcdc min=16384 avg=65536 max=1073741824", "rabin min=16384 avg=65536 max=262144",
                            "fastcdc min=16384 avg=65536 max=262144x"})
        EXPECT_FALSE(fl::ChunkerParams::Parse(bad, p)) << bad;
}

TEST(ChunkIndex, AnyFaultRefusesTheWholeIndex) {
    const std::string head = fl::CChunkIndex::HeaderLines("r1", {}, "r1.chunks");
    const std::string sha(64, 'a');
    const std::string good = head + "file|a.dat|10|" + sha + "|644\nchunk|" + sha + "|6|0|9\nchunk|" + sha + "|4|9|7\n";
    fl::CChunkIndex index;
    std::string why;
    ASSERT_TRUE(index.Parse(good, why)) << why;
    ASSERT_EQ(index.m_files.size(), 1u);
    EXPECT_EQ(index.m_files[0].chunks.size(), 2u);
    EXPECT_EQ(index.m_strStore, "r1.chunks");
    const std::vector<std::string> bad = {
        "file|a.dat|10|" + sha + "|644\n",                                      // no header
        head + "file|../a|4|" + sha + "|644\nchunk|" + sha + "|4|0|4\n",        // leaves its folder
        head + "file|a|4|" + sha + "|644\nchunk|" + sha + "|4|0|4\nfile|a|4|" + sha + "|644\nchunk|" + sha + "|4|0|4\n",
        head + "file|a|5|" + sha + "|644\nchunk|" + sha + "|4|0|4\n",           // short
        head + "file|a|4|" + sha + "|644\nchunk|" + sha + "|5|0|4\n",           // long
        head + "file|a|999999999|" + sha + "|644\nchunk|" + sha + "|999999999|0|4\n",  // larger than any chunk
        head + "chunk|" + sha + "|4|0|4\n",                                      // a chunk of no file
        head + "file|a|4|" + sha + "|644\nchunk|XYZ|4|0|4\n",
        head + "file|a|4|" + sha + "|644\nchunk|" + sha + "|4|-1|4\n",
        head + "store|other\n",
        fl::CChunkIndex::HeaderLines("r1", {}, "../r1.chunks"),
    };
    for (const auto& text : bad) EXPECT_FALSE(index.Parse(text, why)) << text;
}

// The store holds each distinct chunk once, and the index alone rebuilds every file.
TEST(ChunkStore, APublishedReleaseIsRebuiltFromItsChunksAlone) {
    TempDir game, out;
    const std::string big = RandomBytes(3 << 20, 3);
    WriteFile(game / "data/big.bin", big);
    WriteFile(game / "data/copy.bin", big);  // the same content twice
    WriteFile(game / "small.txt", "small");
    WriteFile(game / "empty.txt", "");
    fl::PublishOptions o = ReleaseOptions(game.Path(), out.Path(), "r1");
    std::string error;
    ASSERT_TRUE(fl::PublishRelease(o, error)) << error;

    fl::CHashList hashes;
    ASSERT_TRUE(hashes.Parse(ReadFile(out / "hash.pat")));
    for (const char* name : {"r1.idx", "r1.chunks"}) ASSERT_NE(hashes.Find(name), nullptr) << name;
    const std::string store = ReadFile(out / "r1.chunks");
    EXPECT_EQ(hashes.Find("r1.chunks")->sha256, fl::Sha256Of(store));
    EXPECT_LT(store.size(), big.size() * 11 / 10) << "the copy's chunks are stored once";
    fl::CChunkIndex index;
    ASSERT_TRUE(index.Parse(ReadFile(out / "r1.idx"), error)) << error;
    EXPECT_EQ(index.m_files.size(), 4u);
    for (const fl::IndexedFile& f : index.m_files) {
        std::string rebuilt;
        for (const fl::ChunkRef& c : f.chunks) {
            ASSERT_LE(c.offset + c.stored, (long long)store.size());
            std::string plain(size_t(c.size), '\0');
            const size_t n = ZSTD_decompress(plain.data(), plain.size(), store.data() + c.offset, size_t(c.stored));
            ASSERT_EQ(n, size_t(c.size)) << f.name;
            EXPECT_EQ(fl::Sha256Of(plain), c.sha256.Hex());
            rebuilt += plain;
        }
        EXPECT_TRUE(rebuilt == ReadFile(game / f.name)) << f.name;
        EXPECT_EQ(f.sha256.Hex(), fl::Sha256Of(rebuilt));
        EXPECT_EQ(hashes.Find(f.name)->sha256, f.sha256.Hex());
    }
    // Published again: the same bytes.
    const std::string idx = ReadFile(out / "r1.idx");
    ASSERT_TRUE(fl::PublishRelease(o, error)) << error;
    EXPECT_EQ(ReadFile(out / "r1.idx"), idx);
    EXPECT_TRUE(ReadFile(out / "r1.chunks") == store);
}

// The next release edits a large file in places and adds one: the plan builds
// only the files that differ, finds every chunk the folder still has (even in
// another file), and fetches the rest in few, merged ranges.
TEST(ChunkPlan, OnlyTheChangedChunksAreFetchedAndNeighboursMerged) {
    TempDir game, out, run;
    std::string big = RandomBytes(6 << 20, 5);
    WriteFile(game / "big.bin", big);
    WriteFile(game / "same.txt", "unchanged");
    fl::PublishOptions o = ReleaseOptions(game.Path(), out.Path(), "r1");
    std::string error;
    ASSERT_TRUE(fl::PublishRelease(o, error)) << error;
    // The player holds release 1, and a copy of the big file under another name.
    WriteFile(run / "big.bin", big);
    WriteFile(run / "moved.bin", big.substr(1 << 20));
    WriteFile(run / "same.txt", "unchanged");

    big.insert(3 << 20, RandomBytes(4096, 6));  // 4 KiB inserted in the middle
    big[5 << 20] ^= 1;
    WriteFile(game / "big.bin", big);
    WriteFile(game / "moved/big-tail.bin", big.substr(1 << 20));  // content the folder has elsewhere
    o.release = "r2";
    o.previousDir = out.Path();
    ASSERT_TRUE(fl::PublishRelease(o, error)) << error;
    fl::CChunkIndex index;
    ASSERT_TRUE(index.Parse(ReadFile(out / "r2.idx"), error)) << error;

    fl::CLocalChunks local(run.Path() + "/", index.m_params, run / "chunks.cache");
    for (const char* name : {"big.bin", "moved.bin", "same.txt"}) ASSERT_TRUE(local.AddFile(name));
    EXPECT_EQ(local.BytesRead(), (long long)(6 << 20) + (5 << 20) + 9);
    const auto whole = [&](const fl::IndexedFile& f) { return f.name == "same.txt"; };
    const fl::ChunkPlan plan = fl::MakeChunkPlan(index, local, whole);
    ASSERT_EQ(plan.build.size(), 2u);
    EXPECT_EQ(plan.build[0]->name, "big.bin");
    EXPECT_EQ(plan.build[1]->name, "moved/big-tail.bin");
    EXPECT_LE(plan.remoteChunks, 4) << "the chunks around the two edits";
    EXPECT_LT(plan.fetchBytes, 1 << 20) << "a fraction of the 6 MiB file";
    EXPECT_LE(plan.fetch.size(), 2u) << "neighbours in the store are one request";
    EXPECT_EQ(plan.buildBytes, (long long)big.size() * 2 - (1 << 20));

    // A second look reads nothing it read before: the cache knows the files as they are.
    ASSERT_TRUE(local.SaveCache());
    fl::CLocalChunks again(run.Path() + "/", index.m_params, run / "chunks.cache");
    again.AddCachedFiles();  // as a run does before it looks at the index's files
    for (const char* name : {"big.bin", "moved.bin", "same.txt"}) ASSERT_TRUE(again.AddFile(name));
    EXPECT_EQ(again.BytesRead(), 0);
    EXPECT_EQ(fl::MakeChunkPlan(index, again, whole).fetchBytes, plan.fetchBytes);
    // A file changed since is cut again.
    WriteFile(run / "same.txt", "changed by the player");
    fl::CLocalChunks third(run.Path() + "/", index.m_params, run / "chunks.cache");
    ASSERT_TRUE(third.AddFile("same.txt"));
    EXPECT_EQ(third.BytesRead(), 21);
}

namespace {

// The store read from the published tree, counting what was asked for.
struct FileStore : fl::IStoreSource {
    std::string bytes;
    std::vector<fl::StoreRange> asked;
    long long cutAfter = -1;  // the network goes away after that many bytes
    long long delivered = 0;
    bool Fetch(const fl::StoreRange& r, const std::function<bool(const char*, size_t)>& sink) override {
        asked.push_back(r);
        if (r.offset + r.length > (long long)bytes.size()) return false;
        // In pieces, as a network delivers them.
        for (long long at = 0; at < r.length; at += 1000) {
            const size_t n = size_t(std::min<long long>(1000, r.length - at));
            if (cutAfter >= 0 && delivered + (long long)n > cutAfter) return false;
            delivered += (long long)n;
            if (!sink(bytes.data() + r.offset + at, n)) return false;
        }
        return true;
    }
    bool FailureIsTransient() const override { return cutAfter >= 0; }
};

struct Release {
    TempDir game, out;
    fl::CChunkIndex index;
    FileStore store;
    void Publish(const std::string& name) {
        fl::PublishOptions o;
        o.gameDir = game.Path();
        o.outDir = out.Path();
        o.release = name;
        std::string error;
        ASSERT_TRUE(fl::PublishRelease(o, error)) << error;
        ASSERT_TRUE(index.Parse(ReadFile(out / (name + ".idx")), error)) << error;
        store.bytes = ReadFile(out / (name + ".chunks"));
    }
};

}  // namespace

TEST(ChunkAssembler, AFreshFolderAndAnOldReleaseBothEndAsTheNewReleaseFetchingOnlyWhatTheyLack) {
    Release r;
    std::string big = RandomBytes(4 << 20, 7);
    WriteFile(r.game / "big.bin", big);
    WriteFile(r.game / "sub/small.txt", "small");
    WriteFile(r.game / "empty.txt", "");
    r.Publish("r1");
    TempDir run;
    const std::string root = run.Path() + "/";
    auto build = [&](bool wholeCheck) {
        fl::CLocalChunks local(root, r.index.m_params, run / "cache");
        for (const auto& f : r.index.m_files) local.AddFile(f.name);
        const auto whole = [&](const fl::IndexedFile& f) {
            return wholeCheck && fl::CheckFile(root + f.name, {true, true, f.size, f.sha256.Hex()}).empty();
        };
        const fl::ChunkPlan plan = fl::MakeChunkPlan(r.index, local, whole);
        fl::CChunkAssembler assembler(root, r.index, local);
        std::string why;
        EXPECT_TRUE(assembler.Run(plan, r.store, why)) << why;
        EXPECT_EQ(assembler.BytesFetched(), plan.fetchBytes);
        local.SaveCache();
        return assembler.BytesFetched();
    };
    // Nothing local: the store is read front to back, in one request.
    EXPECT_EQ(build(true), (long long)r.store.bytes.size());
    EXPECT_EQ(r.store.asked.size(), 1u);
    for (const auto& f : r.index.m_files) EXPECT_TRUE(ReadFile(root + f.name) == ReadFile(r.game / f.name)) << f.name;

    // The next release: a small edit inside the big file.
    big[2 << 20] ^= 0x55;
    WriteFile(r.game / "big.bin", big);
    r.Publish("r2");
    r.store.asked.clear();
    const long long fetched = build(true);
    EXPECT_GT(fetched, 0);
    EXPECT_LT(fetched, 300 << 10) << "a chunk or two, not the 4 MiB file";
    EXPECT_TRUE(ReadFile(root + "big.bin") == big);
    for (const auto& e : std::filesystem::recursive_directory_iterator(run.Path()))
        EXPECT_EQ(e.path().string().find("chunks.partial"), std::string::npos) << e.path();
}

TEST(ChunkAssembler, ADamagedStoreOrAStaleFolderNeverPutsAWrongByteInPlace) {
    Release r;
    const std::string old = RandomBytes(2 << 20, 8);
    WriteFile(r.game / "a.bin", old);
    r.Publish("r1");
    TempDir run;
    const std::string root = run.Path() + "/";
    WriteFile(root + "a.bin", old);
    fl::CLocalChunks cached(root, r.index.m_params, run / "cache");
    ASSERT_TRUE(cached.AddFile("a.bin"));
    ASSERT_TRUE(cached.SaveCache());

    std::string next = old;
    next.append(RandomBytes(100000, 9));
    WriteFile(r.game / "a.bin", next);
    r.Publish("r2");
    // One byte of the store damaged: the run fails and the old file stays.
    fl::CLocalChunks local(root, r.index.m_params, run / "cache");
    ASSERT_TRUE(local.AddFile("a.bin"));
    const auto never = [](const fl::IndexedFile&) { return false; };
    fl::ChunkPlan plan = fl::MakeChunkPlan(r.index, local, never);
    ASSERT_FALSE(plan.fetch.empty());
    r.store.bytes[size_t(plan.fetch[0].offset + 5)] ^= 1;
    std::string why;
    {
        fl::CChunkAssembler assembler(root, r.index, local);
        EXPECT_FALSE(assembler.Run(plan, r.store, why));
    }
    EXPECT_NE(why.find("not the one the index names"), std::string::npos) << why;
    EXPECT_TRUE(ReadFile(root + "a.bin") == old);
    EXPECT_FALSE(Exists(root + fl::CChunkAssembler::kPartialFolder)) << "nothing partial kept after damage";
    r.store.bytes = ReadFile(r.out / "r2.chunks");

    // The folder's file changed behind the cache's back (same size, same time): what
    // it holds now is checked, not trusted, and the rest is fetched.
    struct stat st {};
    stat((root + "a.bin").c_str(), &st);
    std::string edited = old;
    edited[1000] ^= 1;
    WriteFile(root + "a.bin", edited);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    utimensat(AT_FDCWD, (root + "a.bin").c_str(), times, 0);
    fl::CLocalChunks stale(root, r.index.m_params, run / "cache");
    ASSERT_TRUE(stale.AddFile("a.bin"));
    EXPECT_EQ(stale.BytesRead(), 0) << "the cache believed it";
    plan = fl::MakeChunkPlan(r.index, stale, never);
    fl::CChunkAssembler assembler(root, r.index, stale);
    EXPECT_TRUE(assembler.Run(plan, r.store, why)) << why;
    EXPECT_GE(assembler.StaleLocalChunks(), 1);
    EXPECT_TRUE(ReadFile(root + "a.bin") == next);
}

// A run cut off by the network keeps the chunks it wrote; the next run checks
// them and fetches only the rest.
TEST(ChunkAssembler, AnInterruptedBuildIsContinuedNotFetchedAgain) {
    Release r;
    WriteFile(r.game / "big.bin", RandomBytes(3 << 20, 21));
    WriteFile(r.game / "other.bin", RandomBytes(1 << 20, 22));
    r.Publish("r1");
    TempDir run;
    const std::string root = run.Path() + "/";
    const auto never = [](const fl::IndexedFile&) { return false; };
    const long long total = (long long)r.store.bytes.size();
    std::string why;
    {
        fl::CLocalChunks local(root, r.index.m_params, run / "cache");
        fl::CChunkAssembler::AdoptPartials(root, r.index, local);
        r.store.cutAfter = total * 2 / 3;
        fl::CChunkAssembler assembler(root, r.index, local);
        EXPECT_FALSE(assembler.Run(fl::MakeChunkPlan(r.index, local, never), r.store, why));
        EXPECT_TRUE(assembler.Resumable());
    }
    EXPECT_FALSE(Exists(root + "big.bin"));
    EXPECT_TRUE(Exists(root + fl::CChunkAssembler::kPartialFolder));
    // A partial file of a file no release needs any more goes.
    WriteFile(root + fl::CChunkAssembler::kPartialFolder + "0123456789012345678901234567890123456789", "stale");

    fl::CLocalChunks local(root, r.index.m_params, run / "cache");
    fl::CChunkAssembler::AdoptPartials(root, r.index, local);
    EXPECT_FALSE(Exists(root + fl::CChunkAssembler::kPartialFolder + "0123456789012345678901234567890123456789"));
    const fl::ChunkPlan plan = fl::MakeChunkPlan(r.index, local, never);
    EXPECT_LT(plan.fetchBytes, total / 2) << "what the first run wrote is not fetched again";
    r.store.cutAfter = -1;
    fl::CChunkAssembler assembler(root, r.index, local);
    ASSERT_TRUE(assembler.Run(plan, r.store, why)) << why;
    EXPECT_TRUE(ReadFile(root + "big.bin") == ReadFile(r.game / "big.bin"));
    EXPECT_TRUE(ReadFile(root + "other.bin") == ReadFile(r.game / "other.bin"));
    EXPECT_FALSE(Exists(root + fl::CChunkAssembler::kPartialFolder));
}

// A fresh install reads the store in two halves at once, one per worker.
TEST(ChunkAssembler, TwoWorkersShareTheStoreByHalves) {
    Release r;
    WriteFile(r.game / "big.bin", RandomBytes(3 << 20, 31));
    WriteFile(r.game / "small.txt", "small");
    r.Publish("r1");
    TempDir run;
    const std::string root = run.Path() + "/";
    fl::CLocalChunks local(root, r.index.m_params, run / "cache");
    const fl::ChunkPlan plan = fl::MakeChunkPlan(r.index, local, [](const fl::IndexedFile&) { return false; });
    FileStore other;
    other.bytes = r.store.bytes;
    fl::CChunkAssembler assembler(root, r.index, local);
    std::string why;
    ASSERT_TRUE(assembler.Run(plan, {&r.store, &other}, why)) << why;
    const long long total = (long long)r.store.bytes.size();
    EXPECT_EQ(r.store.delivered + other.delivered, total) << "every byte once";
    EXPECT_NEAR(double(r.store.delivered), double(total) / 2, double(300 << 10)) << "within a chunk of half";
    EXPECT_TRUE(ReadFile(root + "big.bin") == ReadFile(r.game / "big.bin"));
    EXPECT_EQ(ReadFile(root + "small.txt"), "small");
}
