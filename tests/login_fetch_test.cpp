#include <gtest/gtest.h>
#include <httplib.h>

#include "app/WobrApp.h"
#include "tests/support/FakeMainWindow.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestServer.h"
#include "web/LoginFetch.h"

using namespace fltest;

namespace {

const std::string kAnswer =
    "{'rsurl':'http://res.example/fenwa/','preloadver':'20','vm':'b','pt':'player','qid':'77',"
    "'serverid':'s1','logoutRecord':'http://report.example/r'}";

struct LoginFixture : ::testing::Test {
    TestServer server;
    FakeMainWindow window;
    fl::CWobrApp app;
    void SetUp() override { app.SetMainDlg(&window); }
};

}  // namespace

TEST_F(LoginFixture, UsableAnswerFillsTheRecordSignalsStepOneAndPostsTheUpdateCode) {
    server.AddFile("/login", kAnswer);
    EXPECT_EQ(fl::HandleLoginUrl(app, server.Url("/login?user=a&pass=b")), 1);
    EXPECT_EQ(server.Targets(), std::vector<std::string>{"/login?user=a&pass=b&fclient=9"});
    EXPECT_EQ(window.GameParams().Copy(), kAnswer);
    EXPECT_EQ(window.GameParams().Number(), -1);
    fl::ReportValues v = app.GetReportValues();
    EXPECT_EQ(v.strReportUrl, "http://report.example/r");
    ASSERT_TRUE(v.pValues);
    EXPECT_EQ(v.pValues->pt, "player");
    EXPECT_EQ(v.pValues->qid, "77");
    EXPECT_EQ(v.pValues->serverid, "s1");
    EXPECT_EQ(window.Posts(), (std::vector<std::pair<int, long>>{{fl::kCodeStartUpdate, 0}}));
}

TEST_F(LoginFixture, OnlyLoginAddressesAreHandled) {
    EXPECT_EQ(fl::HandleLoginUrl(app, server.Url("/home?x=1")), 0);
    EXPECT_EQ(fl::HandleLoginUrl(app, server.Url("/Login?x=1")), 0);
    EXPECT_TRUE(server.Targets().empty());
    EXPECT_EQ(fl::AddClientMarker("http://h/login?a=1#frag"), "http://h/login?a=1#frag&fclient=9");
    EXPECT_EQ(fl::AddClientMarker("http://h/x"), "http://h/x?fclient=9");
}

TEST_F(LoginFixture, RefusedUnreachableOrIncompleteAnswersGiveNoValues) {
    Behaviour refused;
    refused.status = 500;
    server.SetBehaviour("/login", refused);
    EXPECT_EQ(fl::HandleLoginUrl(app, server.Url("/login?a=1")), 1);
    EXPECT_EQ(fl::HandleLoginUrl(app, "http://127.0.0.1:1/login?a=1"), 1);
    server.SetBehaviour("/login", {});
    server.AddFile("/login", "'rsurl':'','preloadver':'1'");
    EXPECT_EQ(fl::FetchLoginValues(app, server.Url("/login?a=1")), 0);
    server.AddFile("/login", "'rsurl':'http://r/'");
    EXPECT_EQ(fl::FetchLoginValues(app, server.Url("/login?a=1")), 0) << "no version at all";
    EXPECT_TRUE(window.Posts().empty());
    EXPECT_FALSE(app.GetReportValues().pValues) << "no login record";

    server.AddFile("/login", "'rsurl':'http://r/','vm':'7'");
    EXPECT_EQ(fl::FetchLoginValues(app, server.Url("/login?a=1")), 1) << "vm alone is enough";
}

TEST_F(LoginFixture, BodiesAreReadWholeAcrossPiecesAndRedirects) {
    // 2,048 bytes exactly, with a three-byte character across the first piece's end.
    std::string body = "'rsurl':'http://r/','vm':'1','pt':'";
    body += std::string(2046 - body.size(), 'x') + "中";
    body += std::string(3000, 'y') + "'";
    server.AddFile("/login", body.substr(0, 2048));
    EXPECT_EQ(fl::FetchLoginValues(app, server.Url("/login?a")), 1);
    EXPECT_TRUE(window.GameParams().Copy() == body.substr(0, 2048));

    server.AddFile("/login", body);
    Behaviour moved;
    moved.status = 302;
    moved.location = "/login";
    server.SetBehaviour("/old-login", moved);
    EXPECT_EQ(fl::FetchLoginValues(app, server.Url("/old-login?a")), 1);
    const std::string got = window.GameParams().Copy();
    EXPECT_EQ(got.size(), body.size());
    EXPECT_TRUE(got == body) << "the login fetch follows redirects";
}
