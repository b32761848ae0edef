// The one gate for names from outside, the request encoding and the answers'
// ranges: the rules every engine path relies on.
#include <gtest/gtest.h>

#include "platform/HttpClient.h"
#include "tests/support/EngineHarness.h"
#include "update/PathSafety.h"
#include "update/VersionFiles.h"

using namespace fltest;

TEST(NameGate, RefusesEveryNameThatIsNotPlainlyBelowItsFolder) {
    for (std::string bad : {"", "/etc/passwd", "\\x", "c:x", "C:\\x", "..", "../x", "a/../../x", "a\\..\\x", ".",
                            "./x", "a/./b", "a//b", "a\\\\b", "a/", "x\x01y", "x\x1f", "x\x7fy", "a\nb", "\x96\x89", "a\xE4\xB8", "\xC0\xAF"})
        EXPECT_FALSE(fl::IsSafeRelativeName(bad)) << bad;
    // A NUL inside the name: the system would see only what comes before it.
    EXPECT_FALSE(fl::IsSafeRelativeName(std::string("..\0", 3)));
    EXPECT_FALSE(fl::IsSafeRelativeName(std::string("a\0/../../x", 10)));
    for (std::string good : {"a", "a/b.dat", "data\\maps\\r.dat", "a..b", "..a", "a.", "%41", "x#y", "x?v=1", "中.pat",
                             "a b"})
        EXPECT_TRUE(fl::IsSafeRelativeName(good)) << good;
    EXPECT_TRUE(fl::IsSafeRelativeName("dir/", true)) << "a pack's folder entry";
    EXPECT_FALSE(fl::IsSafeRelativeName("dir//", true));
    EXPECT_TRUE(fl::IsSafeSegment("res"));
    EXPECT_TRUE(fl::IsSafeSegment("127.0.0.1:8080"));
    for (std::string bad : {"", ".", "..", "a/b", "a\\b", "x\ty"}) EXPECT_FALSE(fl::IsSafeSegment(bad)) << bad;
}

TEST(NameGate, AbsurdNamesAreCutInMessagesAndKeepTheirCharactersWhole) {
    EXPECT_EQ(fl::ShortName("short"), "short");
    const std::string cut = fl::ShortName(std::string(199, 'a') + "中" + std::string(50000, 'b'));
    EXPECT_LT(cut.size(), 240u);
    EXPECT_EQ(cut.substr(0, 199), std::string(199, 'a'));
    EXPECT_EQ(cut.substr(199, 3), "...") << "no half character";
    EXPECT_NE(cut.find("50202 bytes"), std::string::npos);
}

TEST(RequestEncoding, EveryByteButUnreservedOnesIsEncoded) {
    EXPECT_EQ(fl::PercentEncode("a/b%41#c?d e\\中~-._", true), "a/b%2541%23c%3Fd%20e%5C%E4%B8%AD~-._");
    EXPECT_EQ(fl::PercentEncode("1/2&x", false), "1%2F2%26x");
}

TEST(RequestEncoding, ContentRangeMustBeWellFormed) {
    long long a = 0, b = 0, t = 0;
    EXPECT_TRUE(fl::ParseContentRange(" bytes 500-1000/1001\r\n", a, b, t));
    EXPECT_EQ(a, 500);
    EXPECT_EQ(b, 1000);
    EXPECT_EQ(t, 1001);
    EXPECT_TRUE(fl::ParseContentRange("bytes 0-9/*", a, b, t));
    EXPECT_EQ(t, -1);
    for (std::string bad : {"", "bytes */100", "bytes 5-4/10", "bytes 0-10/10", "items 0-1/2", "bytes 0-1/2x",
                            "bytes -1/2", "bytes 0-99999999999999999999/1"})
        EXPECT_FALSE(fl::ParseContentRange(bad, a, b, t)) << bad;
}

TEST(RequestEncoding, AddressesAreTakenApartByTheLibrarysParser) {
    fl::UrlParts p;
    ASSERT_TRUE(fl::ParseUrl("HTTP://Host.example:8080/a/b/", p));
    EXPECT_EQ(p.scheme, "http");
    EXPECT_EQ(p.port, 8080);
    EXPECT_EQ(p.path, "/a/b/");
    ASSERT_TRUE(fl::ParseUrl("http://h/res/game/sub/../", p));
    EXPECT_EQ(p.path, "/res/game/sub/../") << "as written";
    ASSERT_TRUE(fl::ParseUrl("http://h/r#x/", p));
    EXPECT_TRUE(p.hasFragment);
    ASSERT_TRUE(fl::ParseUrl("http://h/r/?x=1", p));
    EXPECT_TRUE(p.hasQuery);
    EXPECT_FALSE(fl::ParseUrl("not an address", p));
}

TEST(ListLines, AnAbsurdlyLongLineIsDroppedWithoutBeingHeld) {
    fl::CWobrApp app;
    fl::CDownloader engine(app, app.EngineSettings());
    engine.m_nTaskKind = fl::TASK_FILE_LIST;
    const std::string huge(1 << 20, 'x');
    std::string body = "a.dat|1\n" + huge + "|2\nb.dat|3\n";
    size_t biggestPending = 0;
    for (size_t off = 0; off < body.size(); off += 10240) {
        engine.OnReceiveText(body.data() + off, std::min<size_t>(10240, body.size() - off));
        biggestPending = std::max(biggestPending, engine.m_strPendingLine.capacity());
    }
    engine.OnReceiveText(nullptr, 0);
    EXPECT_EQ(engine.m_mapServerFiles, (std::map<std::string, std::string>{{"a.dat", "1"}, {"b.dat", "3"}}));
    EXPECT_LE(biggestPending, 2 * fl::kMaxListLine) << "memory stays bounded";
    // The same for the local copy, read from disk.
    TempDir data;
    ScopedEnv xdg("XDG_DATA_HOME", data.Path());
    app.SetResFolder("res/");
    WriteFile(data / "fenwazelt/res/version.pat", body + "c.dat|4");
    ASSERT_TRUE(engine.LoadLocalVersionList());
    EXPECT_EQ(engine.m_mapLocalFiles,
              (std::map<std::string, std::string>{{"a.dat", "1"}, {"b.dat", "3"}, {"c.dat", "4"}}));
}

TEST(ListLines, RefusedNamesAndPackValuesAreNeverKept) {
    fl::CWobrApp app;
    fl::CDownloader engine(app, app.EngineSettings());
    engine.m_nTaskKind = fl::TASK_FILE_LIST;
    static const char raw[] = "ok.dat|1\n../up.dat|1\n/abs|1\nnul\0.dat|1\nc:\\x|1\n";
    const std::string list(raw, sizeof raw - 1);
    engine.OnReceiveText(list.data(), list.size());
    EXPECT_EQ(engine.m_mapServerFiles, (std::map<std::string, std::string>{{"ok.dat", "1"}}));
    engine.m_nTaskKind = fl::TASK_PACK_LIST;
    const std::string packs = "newversion|../../inc\nlastversion|p1\nfull_pack|full\n";
    engine.OnReceiveText(packs.data(), packs.size());
    EXPECT_EQ(engine.m_strNewVersion, "");
    EXPECT_EQ(engine.m_strFullPack, "full");
    EXPECT_TRUE(engine.m_bPackValueRefused);
}
