#include <gtest/gtest.h>

#include "web/NavigationRules.h"

using fl::ClassifyBeforeNavigate;

TEST(NavigationRules, StartOfANavigation) {
    auto both = ClassifyBeforeNavigate("http://h/login?to=enter_game.php", "ads.example");
    EXPECT_TRUE(both.bCancel);
    EXPECT_TRUE(both.bHandleLogin);

    auto game = ClassifyBeforeNavigate("http://h/enter_game.php?s=1", "ads.example");
    EXPECT_TRUE(game.bCancel);
    EXPECT_FALSE(game.bHandleLogin);

    auto test = ClassifyBeforeNavigate("http://h/test.php?abc", "");
    EXPECT_TRUE(test.bTestPage);
    EXPECT_FALSE(test.bCancel) << "the test page itself still loads";
    EXPECT_EQ(test.strTestArgument, "abc");
    EXPECT_EQ(ClassifyBeforeNavigate("http://h/test.php", "").strTestArgument, "");
    EXPECT_EQ(ClassifyBeforeNavigate("http://h/test.php?", "").strTestArgument, "");
    EXPECT_TRUE(ClassifyBeforeNavigate("http://h/x?next=test.php", "").bTestPage) << "in the query too";
    EXPECT_FALSE(ClassifyBeforeNavigate("http://h/Login?x", "").bHandleLogin) << "case-sensitive";
}

TEST(NavigationRules, AdvertisingHostAndCompletedNavigations) {
    EXPECT_TRUE(ClassifyBeforeNavigate("http://ads.example:8080/banner", "ads.example").bAdvertising);
    EXPECT_FALSE(ClassifyBeforeNavigate("http://ads.example.org/", "ads.example").bAdvertising);
    EXPECT_FALSE(ClassifyBeforeNavigate("http://h/", "").bAdvertising);
    EXPECT_EQ(fl::HostOf("https://user@ads.example:8080/x?y"), "ads.example");

    auto login = fl::ClassifyNavigateComplete("http://h/login?r=1");
    EXPECT_TRUE(login.bHandleLogin);
    EXPECT_TRUE(login.bStop);
    auto game = fl::ClassifyNavigateComplete("http://h/enter_game.php");
    EXPECT_TRUE(game.bStop);
    EXPECT_FALSE(game.bHandleLogin);
}
