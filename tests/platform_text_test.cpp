#include <gtest/gtest.h>

#include "platform/HttpClient.h"
#include "platform/TextCodec.h"

TEST(Utf8Joiner, JoinsASequenceSplitBetweenPieces) {
    const std::string text = "a\xE4\xB8\xAD" "b\xF0\x9F\x98\x80";  // a 中 b 😀
    for (size_t cut = 0; cut <= text.size(); ++cut) {
        fl::CUtf8Joiner j;
        std::string out = j.Feed(text.data(), cut);
        out += j.Feed(text.data() + cut, text.size() - cut);
        out += j.Flush();
        EXPECT_EQ(out, text) << "cut at " << cut;
    }
    fl::CUtf8Joiner j;
    EXPECT_EQ(j.Feed("x\xE4", 2), "x");
    EXPECT_EQ(j.Flush(), "\xE4") << "a broken tail is handed back as it is";
}

TEST(TextCodec, Utf16TextModeBytesDoubleEveryLineFeedByte) {
    // 'a' -> 61 00; U+000A -> 0A 00 stored as 0D 0A 00; U+0A0A -> 0D 0A 0D 0A
    EXPECT_EQ(fl::Utf16LeTextModeBytes(u"a\n\u0A0A"), std::string("a\0\x0D\x0A\0\x0D\x0A\x0D\x0A", 9));
    EXPECT_EQ(fl::Utf16ToUtf8(fl::Utf8ToUtf16("中😀")), "中😀");
}

TEST(TextCodec, TrimCaseAndNumbers) {
    EXPECT_EQ(fl::Trim(" \t 1.0.6\r\n"), "1.0.6");
    EXPECT_TRUE(fl::EqualsNoCase("NewVersion", "newversion"));
    EXPECT_FALSE(fl::EqualsNoCase("1.0.6", "1.0.60"));
    EXPECT_EQ(fl::ParseLeadingNumber(" 1234abc"), 1234);
    EXPECT_EQ(fl::ParseLeadingNumber("abc"), 0);
    EXPECT_EQ(fl::EncodeRequestTarget("/r?a=b\x1F" "c d"), "/r?a=b%1Fc%20d");
    EXPECT_EQ(fl::EncodeRequestTarget("/中?x=1&y='z'"), "/中?x=1&y='z'");
}
