// Inputs the fuzzers found to be taken wrongly, kept as they were found.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/TempDir.h"
#include "update/FileJournal.h"
#include "update/PathSafety.h"
#include "update/chunks/ChunkIndex.h"
#include "update/chunks/ChunkPlan.h"
#include "update/integrity/HashList.h"
#include "update/launcher/LauncherState.h"
#include "update/net/HttpConn.h"
#include "update/net/ResumeRecord.h"

using namespace fltest;

TEST(FuzzFound, NamesThatAreNotStrictUtf8NameNothing) {
    for (std::string bad : {"\xE0\x80\xAF", "a\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xF7\xBF\xBF\xBF",
                            "\xF0\x80\x80\xAF", "\xC1\xBF", "\xF8\x88\x80\x80\x80", "\xED\xBF\xBF"})
        EXPECT_FALSE(fl::IsSafeRelativeName(bad)) << bad;
    for (std::string good : {"\xE0\xA0\x80", "\xED\x9F\xBF", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF", "\xEF\xBF\xBD",
                             "资源/地图.dat"})
        EXPECT_TRUE(fl::IsSafeRelativeName(good)) << good;
}

TEST(FuzzFound, AResourceAddressIsAFolderAndItsHostIsDecodedOnce) {
    fl::HttpConn c;
    ASSERT_TRUE(c.Initialize("http://127.0.0.1:8080/res/game"));
    EXPECT_EQ(c.RequestUrl("luncherVersion.pat", ""), "http://127.0.0.1:8080/res/game/luncherVersion.pat");
    ASSERT_TRUE(c.Initialize("http://127.0.0.1:8080"));
    EXPECT_EQ(c.RequestUrl("a.pat", ""), "http://127.0.0.1:8080/a.pat");
    // "%2541" would be stored as "%41" and asked of "A" the second time round.
    EXPECT_FALSE(c.Initialize("http://x%2541/res/"));
    ASSERT_TRUE(c.Initialize("http://x%41/res/"));
    EXPECT_EQ(c.GetServer(), "xA") << "decoded once";
    ASSERT_TRUE(c.Initialize("http://[::1]:81/res/"));
    EXPECT_EQ(c.RequestUrl("a", ""), "http://[::1]:81/res/a");
}

TEST(FuzzFound, ATornJournalLineNeverJoinsTheNextOne) {
    TempDir dir;
    const std::string path = dir / "version.pat.journal";
    WriteFile(path, "a.dat|1\nt|");
    fl::CFileJournal journal;
    journal.SetPath(path);
    std::vector<std::string> lines;
    auto replay = [&] {
        lines.clear();
        return journal.Replay([&](std::string_view l) { lines.emplace_back(l); });
    };
    ASSERT_TRUE(replay());
    EXPECT_EQ(lines, (std::vector<std::string>{"a.dat|1"}));
    journal.Append("zz", "9");
    ASSERT_TRUE(replay());
    EXPECT_EQ(lines, (std::vector<std::string>{"a.dat|1", "zz|9"}));
}

TEST(FuzzFound, AResumeRecordWithCrlfGivesAValidatorWithoutTheCr) {
    TempDir dir;
    const std::string temp = dir / "f.temp";
    WriteFile(temp, "abc");
    WriteFile(fl::ResumePath(temp), "size|10\r\nvalidator|\"v1\"\r\n");
    fl::ResumeRecord record;
    long long held = 0;
    ASSERT_TRUE(fl::LoadResume(temp, record, held));
    EXPECT_EQ(record.validator, "\"v1\"");
    EXPECT_EQ(record.total, 10);
    EXPECT_EQ(held, 3);
    WriteFile(fl::ResumePath(temp), "size|10\nvalidator|\"v\x01\"\n");
    EXPECT_FALSE(fl::LoadResume(temp, record, held)) << "a control byte could bend the header";
}

namespace {

std::string Hex(char c) { return std::string(64, c); }

std::string IndexWith(const std::string& body) {
    return fl::CChunkIndex::HeaderLines("r1", fl::ChunkerParams(), "r1.chunks") + body;
}

}  // namespace

TEST(FuzzFound, OneRuleForNamesWithABackslashOnEveryPath) {
    fl::CChunkIndex index;
    std::string why;
    // "d" a file and "d\g" a file in it: the same clash as "d" and "d/g".
    EXPECT_FALSE(index.Parse(IndexWith("file|d|0|" + Hex('a') + "|644\nfile|d\\g|0|" + Hex('a') + "|644\n"), why));
    EXPECT_NE(why.find("both a file and a folder"), std::string::npos) << why;
    // "a/b" and "a\b" are one name.
    EXPECT_FALSE(index.Parse(IndexWith("file|a/b|0|" + Hex('a') + "|644\nfile|a\\b|0|" + Hex('a') + "|644\n"), why));
    ASSERT_TRUE(index.Parse(IndexWith("file|a\\b|0|" + Hex('a') + "|644\n"), why)) << why;
    EXPECT_EQ(index.m_files[0].name, "a/b");
    fl::CHashList list;
    EXPECT_FALSE(list.Parse("#release|r1\r\na/b|1 " + Hex('a') + "\r\na\\b|2 " + Hex('b') + "\r\n"));
    ASSERT_TRUE(list.Parse("#release|r1\r\na\\b|1 " + Hex('a') + "\r\n"));
    EXPECT_NE(list.Find("a/b"), nullptr);
}

TEST(FuzzFound, TheLaunchersRecordsFolderIsNoNameOfAListOrAnIndex) {
    EXPECT_FALSE(fl::IsSafeRelativeName(".fenwa-launcher/hash.pat.accepted"));
    EXPECT_FALSE(fl::IsSafeRelativeName(".fenwa-launcher\\x"));
    EXPECT_TRUE(fl::IsSafeRelativeName(".fenwa-launcher2/x"));
    fl::CHashList list;
    EXPECT_FALSE(list.Parse("#release|r1\r\n.fenwa-launcher/hash.pat.accepted|1 " + Hex('a') + "\r\n"));
    fl::CChunkIndex index;
    std::string why;
    EXPECT_FALSE(index.Parse(IndexWith("file|.fenwa-launcher/chunks.cache|0|" + Hex('a') + "|644\n"), why));
}

TEST(FuzzFound, TwoChunksAtOneStoreOffsetAreRefused) {
    const std::string file = "file|f|200|" + Hex('f') + "|644\n";
    fl::CChunkIndex index;
    std::string why;
    EXPECT_FALSE(index.Parse(IndexWith(file + "chunk|" + Hex('1') + "|100|0|50\nchunk|" + Hex('2') + "|100|0|50\n"), why));
    EXPECT_NE(why.find("overlap"), std::string::npos) << why;
    EXPECT_FALSE(index.Parse(IndexWith(file + "chunk|" + Hex('1') + "|100|0|50\nchunk|" + Hex('2') + "|100|49|50\n"), why));
    // One chunk named twice (a file that repeats it) is one place.
    EXPECT_TRUE(index.Parse(IndexWith(file + "chunk|" + Hex('1') + "|100|0|50\nchunk|" + Hex('1') + "|100|0|50\n"), why))
        << why;
}

TEST(FuzzFound, TheChunkCacheNamesPassTheGate) {
    TempDir run;
    WriteFile(run / "../outside.bin", std::string(70000, 'x'));
    const fl::ChunkerParams params;
    WriteFile(run / "cache", "chunker|" + params.Describe() + "\nfile|../outside.bin|70000|0\nc|" + Hex('a') +
                                 "|70000\nfile|a\\b|1|0\nc|" + Hex('b') + "|1\n");
    fl::CLocalChunks local(run.Path() + "/", params, run / "cache");
    local.AddCachedFiles();
    EXPECT_FALSE(local.Knows("../outside.bin"));
    fl::Digest a;
    ASSERT_TRUE(fl::Digest::FromHex(Hex('a'), a));
    EXPECT_EQ(local.Find(a), nullptr) << "a file outside the run folder is never a chunk source";
    EXPECT_FALSE(local.Knows("a\\b"));
}

TEST(FuzzFound, ALauncherStateWrittenWithCrLfReadsAsWritten) {
    TempDir data;
    WriteFile(data / fl::kStateName, "updt.sha256=abc\r\nupdt.good=1\r\nupdt.attempts=2\r\n");
    const fl::LauncherState s = fl::LoadLauncherState(data.Path());
    EXPECT_TRUE(s.updtGood);
    EXPECT_EQ(s.updtSha, "abc");
    EXPECT_EQ(s.attempts, 2);
}

TEST(FuzzFound, AResumeRecordIsSavedOnlyWhenItCanBeLoaded) {
    TempDir dir;
    const std::string temp = dir / "f.temp";
    WriteFile(temp, "12345");
    fl::SaveResume(temp, {10, "\x03"});
    fl::ResumeRecord record;
    long long held = 0;
    EXPECT_FALSE(Exists(fl::ResumePath(temp))) << "a record that would never load is not kept";
    fl::SaveResume(temp, {10, "\"v1\""});
    EXPECT_TRUE(fl::LoadResume(temp, record, held));
    EXPECT_EQ(held, 5);
}
