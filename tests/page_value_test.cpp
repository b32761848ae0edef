#include <gtest/gtest.h>

#include "web/PageValue.h"

using fl::GetPageValue;

TEST(PageValue, LookupFollowsTheFirstOccurrenceOfKeyQuoteColonQuote) {
    EXPECT_EQ(GetPageValue("'xpt':'1','pt':'2'", "pt"), "1") << "matched inside a longer key";
    EXPECT_EQ(GetPageValue("'pt':'1','pt':'2'", "pt"), "1") << "the first of two";
    EXPECT_EQ(GetPageValue("{'rsurl':'http://h/r/','qid':'9'}", "rsurl"), "http://h/r/");
    EXPECT_EQ(GetPageValue("'qid':'runs to the end", "qid"), "runs to the end");
    EXPECT_EQ(GetPageValue("'qid':'9'", "pt"), "");
    EXPECT_EQ(GetPageValue("'qid':''", "qid"), "");
    EXPECT_EQ(GetPageValue("'QID':'9'", "qid"), "") << "case-sensitive";
}
