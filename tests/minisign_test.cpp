// Signatures in minisign's format, checked against the minisign tool itself.
#include <gtest/gtest.h>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "update/integrity/HashList.h"
#include "update/integrity/Minisign.h"
#include "update/integrity/Sha256.h"

using namespace fltest;

namespace {

bool HaveMinisign() { return Exists("/usr/bin/minisign"); }

ProcessResult Minisign(const std::vector<std::string>& args, const std::string& dir) {
    ProcessOptions o;
    o.workDir = dir;
    return RunProcess("/usr/bin/minisign", args, o);
}

}  // namespace

TEST(Minisign, OurSignaturesVerifyAndAnyChangeIsCaught) {
    std::string pubText, secText;
    ASSERT_TRUE(fl::GenerateMinisignKeys(pubText, secText));
    fl::MinisignPublicKey pub;
    fl::MinisignSecretKey sec;
    ASSERT_TRUE(fl::ParseMinisignPublicKey(pubText, pub));
    ASSERT_TRUE(fl::ParseMinisignSecretKey(secText, sec));
    const std::string message = "a.dat|12 ab\r\nb.dat|3 cd\r\n";
    fl::MinisignSignature sig;
    ASSERT_TRUE(fl::ParseMinisignSignature(fl::SignMinisign(sec, message, "release r1 time 1700000000"), sig));
    EXPECT_TRUE(fl::VerifyMinisign(pub, sig, message));
    EXPECT_EQ(sig.trustedComment, "release r1 time 1700000000");

    std::string flipped = message;
    flipped[3] ^= 1;
    EXPECT_FALSE(fl::VerifyMinisign(pub, sig, flipped)) << "a changed list";
    fl::MinisignSignature comment = sig;
    comment.trustedComment = "release r0 time 1600000000";
    EXPECT_FALSE(fl::VerifyMinisign(pub, comment, message)) << "a changed trusted comment";
    std::string otherPub, otherSec;
    ASSERT_TRUE(fl::GenerateMinisignKeys(otherPub, otherSec));
    fl::MinisignPublicKey other;
    ASSERT_TRUE(fl::ParseMinisignPublicKey(otherPub, other));
    EXPECT_FALSE(fl::VerifyMinisign(other, sig, message)) << "another key";
    other.keyId = pub.keyId;
    EXPECT_FALSE(fl::VerifyMinisign(other, sig, message)) << "another key claiming our id";

    for (const std::string bad : {"", "untrusted comment: x\nRWQ=\n", "untrusted comment: x\n!!!\ntrusted comment: t\nAA==\n"}) {
        EXPECT_FALSE(fl::ParseMinisignSignature(bad, sig));
        EXPECT_FALSE(fl::ParseMinisignPublicKey(bad, pub));
    }
}

TEST(Minisign, TheToolAcceptsOursAndWeAcceptTheTools) {
    if (!HaveMinisign()) GTEST_SKIP() << "minisign is not installed";
    TempDir dir;
    WriteFile(dir / "hash.pat", "#release|r7\r\nversion.pat|10 aa\r\n");
    // Ours, checked by the tool.
    std::string pubText, secText;
    ASSERT_TRUE(fl::GenerateMinisignKeys(pubText, secText));
    WriteFile(dir / "our.pub", pubText);
    WriteFile(dir / "our.key", secText);
    fl::MinisignSecretKey sec;
    ASSERT_TRUE(fl::ParseMinisignSecretKey(secText, sec));
    WriteFile(dir / "hash.pat.minisig", fl::SignMinisign(sec, ReadFile(dir / "hash.pat"), "release r7 time 5"));
    ProcessResult v = Minisign({"-V", "-p", "our.pub", "-m", "hash.pat"}, dir.Path());
    EXPECT_EQ(v.exitCode, 0) << v.out << v.err;
    EXPECT_NE(v.out.find("release r7 time 5"), std::string::npos) << v.out;
    // The tool signs with our secret key; we check it.
    ProcessResult s = Minisign({"-S", "-s", "our.key", "-m", "hash.pat", "-t", "release r8 time 6"}, dir.Path());
    ASSERT_EQ(s.exitCode, 0) << s.err;
    fl::MinisignPublicKey pub;
    fl::MinisignSignature sig;
    ASSERT_TRUE(fl::ParseMinisignPublicKey(pubText, pub));
    ASSERT_TRUE(fl::ParseMinisignSignature(ReadFile(dir / "hash.pat.minisig"), sig));
    EXPECT_TRUE(fl::VerifyMinisign(pub, sig, ReadFile(dir / "hash.pat")));
    EXPECT_EQ(sig.trustedComment, "release r8 time 6");

    // The tool's own keys, prehashed and legacy signatures.
    ASSERT_EQ(Minisign({"-G", "-W", "-p", "t.pub", "-s", "t.key"}, dir.Path()).exitCode, 0);
    ASSERT_TRUE(fl::ParseMinisignPublicKey(ReadFile(dir / "t.pub"), pub));
    for (bool legacy : {false, true}) {
        std::vector<std::string> args = {"-S", "-s", "t.key", "-m", "hash.pat", "-t", "release r9 time 7"};
        if (legacy) args.push_back("-l");
        ASSERT_EQ(Minisign(args, dir.Path()).exitCode, 0);
        ASSERT_TRUE(fl::ParseMinisignSignature(ReadFile(dir / "hash.pat.minisig"), sig));
        EXPECT_EQ(sig.prehashed, !legacy);
        EXPECT_TRUE(fl::VerifyMinisign(pub, sig, ReadFile(dir / "hash.pat"))) << legacy;
        EXPECT_FALSE(fl::VerifyMinisign(pub, sig, ReadFile(dir / "hash.pat") + " ")) << legacy;
    }
}

TEST(Sha256, MatchesSha256sumWhileTheBytesGoBy) {
    TempDir dir;
    std::string data(3 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = char(i * 131 + (i >> 9));
    WriteFile(dir / "f.bin", data);
    fl::CSha256 h;
    for (size_t off = 0; off < data.size(); off += 10240) h.Update(data.data() + off, std::min<size_t>(10240, data.size() - off));
    ProcessResult sum = RunProcess("/usr/bin/sha256sum", {dir / "f.bin"});
    ASSERT_EQ(sum.exitCode, 0);
    EXPECT_EQ(h.HexDigest(), sum.out.substr(0, 64));
}

TEST(HashList, AListIsWholeAndExactOrNothing) {
    const std::string a(64, 'a'), b(64, 'B');
    fl::CHashList list;
    ASSERT_TRUE(list.Parse("#release|r7\r\nversion.pat|120 " + a + "\r\ndata\\x.dat|5 " + b + "\r\n"));
    EXPECT_EQ(list.Release(), "r7");
    ASSERT_NE(list.Find("version.pat"), nullptr);
    EXPECT_EQ(list.Find("version.pat")->size, 120);
    EXPECT_EQ(list.Find("data\\x.dat")->sha256, std::string(64, 'b')) << "hex is compared in lower case";
    EXPECT_EQ(list.Find("other"), nullptr);
    for (const std::string& bad : {std::string(), "version.pat|1 " + a, "#release|r\nx|12 " + a.substr(1), "#release|r\nx|-1 " + a,
                                  "#release|r\nx|1" + a, std::string("#release|r\nnobar")})
        EXPECT_FALSE(list.Parse(bad)) << bad;
    ASSERT_TRUE(list.Parse("#release|r\n../x|1 " + a + "\ny|2 " + b));
    EXPECT_EQ(list.Find("../x"), nullptr) << "never a path, never checked";
    EXPECT_EQ(list.Size(), 1u);
}

TEST(HashList, ANameListedTwiceWithTwoContentsRefusesTheWholeList) {
    const std::string a(64, 'a'), b(64, 'b');
    fl::CHashList list;
    EXPECT_FALSE(list.Parse("#release|r\nx|1 " + a + "\nx|1 " + b)) << "which of the two?";
    EXPECT_FALSE(list.Parse("#release|r\nx|1 " + a + "\nx|2 " + a));
    EXPECT_TRUE(list.Parse("#release|r\nx|1 " + a + "\nx|1 " + a)) << "the same line twice says one thing";
}

TEST(HashList, APinnedKeyOfTwoVerifiesAnUnknownKeyDoesNot) {
    std::string pub1, sec1, pub2, sec2, pub3, sec3;
    ASSERT_TRUE(fl::GenerateMinisignKeys(pub1, sec1));
    ASSERT_TRUE(fl::GenerateMinisignKeys(pub2, sec2));
    ASSERT_TRUE(fl::GenerateMinisignKeys(pub3, sec3));
    auto line = [](const std::string& file) { return file.substr(file.find('\n') + 1, file.rfind('\n') - file.find('\n') - 1); };
    const auto pinned = fl::ParsePinnedKeys(line(pub1) + ";" + line(pub2) + " junk");
    ASSERT_EQ(pinned.size(), 2u);
    const std::string list = "#release|r2\nversion.pat|1 " + std::string(64, '0') + "\n";
    for (const std::string* sec : {&sec1, &sec2}) {
        fl::MinisignSecretKey key;
        ASSERT_TRUE(fl::ParseMinisignSecretKey(*sec, key));
        std::string release;
        long long time = 0;
        EXPECT_TRUE(fl::VerifySignedList(list, fl::SignMinisign(key, list, fl::MakeTrustedComment("r2", 1700000000)),
                                         pinned, release, time));
        EXPECT_EQ(release, "r2");
        EXPECT_EQ(time, 1700000000);
    }
    fl::MinisignSecretKey unknown;
    ASSERT_TRUE(fl::ParseMinisignSecretKey(sec3, unknown));
    std::string release;
    long long time = 0;
    EXPECT_FALSE(fl::VerifySignedList(list, fl::SignMinisign(unknown, list, fl::MakeTrustedComment("r2", 1)), pinned,
                                      release, time));
}
