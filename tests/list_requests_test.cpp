// The lists a start asks for: the hash list the folder already holds is asked
// for only if the server's changed, so a start with nothing to update costs
// next to nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "tests/support/ChunkedFixture.h"

using namespace fltest;

namespace {

// The access log's lines whose request holds `part`.
std::vector<std::string> LogLines(const Nginx& nginx, const std::string& part) {
    std::vector<std::string> lines;
    std::istringstream in(nginx.AccessLog());
    for (std::string line; std::getline(in, line);)
        if (line.find(part) != std::string::npos) lines.push_back(line);
    return lines;
}

}  // namespace

struct ListRequestsFixture : ChunkedFixture {};

TEST_F(ListRequestsFixture, AStartWithNothingToUpdateFetchesNoListItHoldsAgain) {
    // 1,500 files: a hash list of about 130 KB.
    for (int i = 0; i < 1500; ++i) WriteFile(game / ("data/f" + std::to_string(i) + ".dat"), RandomBytes(64, unsigned(i)));
    Publish("r1");
    ASSERT_EQ(Update().exitCode, 0);
    ASSERT_GT(std::filesystem::file_size(Tree() + "/hash.pat"), 100000u);

    // Nothing changed: hash.pat is answered 304 and the whole start costs under 64 KiB.
    const ProcessResult again = Update();
    ASSERT_EQ(again.exitCode, 0) << again.out << again.err;
    if (getenv("FL_SHOW_LOG")) std::printf("%s", nginx->AccessLog().c_str());
    const std::vector<std::string> asked = LogLines(*nginx, "/hash.pat?");
    ASSERT_EQ(asked.size(), 1u) << nginx->AccessLog();
    EXPECT_NE(asked[0].find("\" 304 "), std::string::npos) << asked[0];
    EXPECT_LE(nginx->BytesSent(), 64 << 10) << nginx->AccessLog();
    ExpectRelease();

    // A new release: the changed list comes whole and the folder follows it.
    WriteFile(game / "data/f7.dat", RandomBytes(64, 9999));
    Publish("r2");
    ASSERT_EQ(Update().exitCode, 0);
    const std::vector<std::string> changed = LogLines(*nginx, "/hash.pat?");
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_NE(changed[0].find("\" 200 "), std::string::npos) << changed[0];
    ExpectRelease();
    ASSERT_EQ(Update().exitCode, 0);
    EXPECT_LE(nginx->BytesSent(), 64 << 10);
}

// The kept list's record no longer names its bytes (the list was replaced by
// hand, or the record damaged): the list is asked for whole, never taken on trust.
TEST_F(ListRequestsFixture, AnEtagRecordThatNoLongerNamesTheKeptListIsNotUsed) {
    for (int i = 0; i < 20; ++i) WriteFile(game / ("f" + std::to_string(i)), RandomBytes(1000, unsigned(i)));
    Publish("r1");
    ASSERT_EQ(Update().exitCode, 0);
    const std::string record = fl::RecordPath(Run(), "hash.pat.etag");
    ASSERT_TRUE(std::filesystem::exists(record));
    std::string text = ReadFile(record);
    text.replace(text.find("sha256|") + 7, 4, "0000");
    WriteFile(record, text);
    ASSERT_EQ(Update().exitCode, 0);
    const std::vector<std::string> asked = LogLines(*nginx, "/hash.pat?");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_NE(asked[0].find("\" 200 "), std::string::npos) << asked[0];
    // Asked whole, the record names the list again and the next start asks only if it changed.
    ASSERT_EQ(Update().exitCode, 0);
    EXPECT_NE(LogLines(*nginx, "/hash.pat?")[0].find("\" 304 "), std::string::npos);
}

// A release's own files never change: asked for without "?v=", one cached copy
// serves every player. The lists that change keep it.
TEST_F(ListRequestsFixture, AReleasesOwnFilesAreAskedForWithoutAVersion) {
    WriteFile(game / "r1.dat", RandomBytes(3000, 1));
    WriteFile(game / "client.exe", RandomBytes(3000, 2));
    Publish("r1");
    ASSERT_EQ(Update().exitCode, 0);
    const std::string log = nginx->AccessLog();
    for (const char* own : {"/r1.idx ", "/r1.chunks ", "/r1.minisig ", "/r1.version.pat "})
        EXPECT_NE(log.find(own), std::string::npos) << own << "\n" << log;
    EXPECT_EQ(log.find("/r1.idx?"), std::string::npos) << log;
    EXPECT_EQ(log.find("/r1.chunks?"), std::string::npos) << log;
    for (const char* changing : {"/hash.pat?v=1a ", "/luncherVersion.pat?v=1a "})
        EXPECT_NE(log.find(changing), std::string::npos) << changing << "\n" << log;
    ExpectRelease();
}

// The lists come gzip-compressed from a server that has the publisher's copies
// (nginx's gzip_static), as they are from one that has not; a copy that is not
// its list is refused like any body that is not the listed one.
TEST_F(ListRequestsFixture, ListsComeCompressedWhereTheServerHasCopies) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    for (int i = 0; i < 1500; ++i) WriteFile(game / ("data/f" + std::to_string(i) + ".dat"), RandomBytes(64, unsigned(i)));
    WriteFile(game / "tiny.txt", "tiny");
    Publish("r1");
    for (const char* list : {"hash.pat", "version.pat", "r1.version.pat"}) {
        ASSERT_TRUE(Exists(Tree() + "/" + list + ".gz")) << list;
        EXPECT_TRUE(Shell("gzip -dc '" + Tree() + "/" + list + ".gz'") == ReadFile(Tree() + "/" + list)) << list;
    }
    EXPECT_FALSE(Exists(Tree() + "/PackVersion.pat.gz")) << "too small to gain from a copy";

    ASSERT_EQ(Update().exitCode, 0);
    ExpectRelease();
    const long long list = (long long)std::filesystem::file_size(Tree() + "/hash.pat");
    EXPECT_LT(nginx->BytesSent("/hash.pat?"), list * 2 / 3) << "hash.pat came compressed";
    EXPECT_LT(nginx->BytesSent("/version.pat?") + nginx->BytesSent("/r1.version.pat"),
              (long long)std::filesystem::file_size(Tree() + "/version.pat") * 2 / 3);

    // The same from a server without the copies' module on.
    ServeWith("gzip_static off;");
    std::filesystem::remove_all(data.Path() + "/fenwazelt");
    ASSERT_EQ(Update().exitCode, 0);
    ExpectRelease();
    EXPECT_GE(nginx->BytesSent("/hash.pat?"), list);

    // A copy that is not its list (left by a careless upload): refused, nothing of it installed.
    ServeWith("");
    WriteFile(game / "data/f1.dat", RandomBytes(64, 4242));
    Publish("r2");
    Shell("printf 'data/f1.dat|r1\\r\\n' | gzip -c > '" + Tree() + "/r2.version.pat.gz'");
    Shell("cp '" + Tree() + "/r2.version.pat.gz' '" + Tree() + "/version.pat.gz'");
    const ProcessResult stale = Update();
    EXPECT_NE(stale.exitCode, 0);
    EXPECT_NE(stale.err.find("version.pat"), std::string::npos) << stale.err;
}
