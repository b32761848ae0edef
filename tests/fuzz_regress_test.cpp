// Inputs the fuzzers found to be taken wrongly, kept as they were found.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/TempDir.h"
#include "update/FileJournal.h"
#include "update/PathSafety.h"
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
