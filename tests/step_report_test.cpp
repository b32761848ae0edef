#include <gtest/gtest.h>

#include <thread>

#include "app/WobrApp.h"
#include "platform/ErrorFile.h"
#include "platform/Trace.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestServer.h"

using namespace fltest;

namespace {

std::mutex g_traceMutex;
std::vector<std::string> g_trace;
void CaptureTrace(const std::string& line) {
    std::lock_guard lock(g_traceMutex);
    g_trace.push_back(line);
}
int CountTrace(const std::string& line) {
    std::lock_guard lock(g_traceMutex);
    return int(std::count(g_trace.begin(), g_trace.end(), line));
}

struct ReportFixture : ::testing::Test {
    TestServer server;
    fl::CWobrApp app;
    void SetUp() override {
        fl::SetTraceHook(CaptureTrace);
        server.AddFile("/report", "ok");
        app.StartStepReports();
    }
    void TearDown() override { fl::SetTraceHook(nullptr); }
    std::string Values(const std::string& reportUrl) {
        return "'pt':'a','qid':'b','serverid':'s 1','logoutRecord':'" + reportUrl + "'";
    }
};

}  // namespace

TEST_F(ReportFixture, TheReportCarriesTheExactQuery) {
    app.SetPageValues(Values(server.Url("/report")));
    app.SetStep(7);
    ASSERT_TRUE(WaitUntil([&] { return server.Count("/report") == 1; }, 5000));
    EXPECT_EQ(server.Targets()[0],
              "/report?pt=a&account=a%1Fb&client=6&node=0&school=0&curnode=7&nodex=0&nodey=0&onlinetime=0"
              "&serverid=s%201");
}

TEST_F(ReportFixture, NothingIsSentBeforeTheLoginValues) {
    app.SetStep(3);
    ASSERT_TRUE(WaitUntil([&] { return CountTrace("UpdataStepLog , URL is null") == 1; }, 5000));
    EXPECT_TRUE(server.Targets().empty());
}

TEST_F(ReportFixture, AnUnreachableAddressDoesNotStopLaterReports) {
    app.SetPageValues(Values("http://127.0.0.1:1/report"));
    app.SetStep(3);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    app.SetPageValues(Values(server.Url("/report")));
    app.SetStep(4);
    ASSERT_TRUE(WaitUntil([&] { return server.Count("/report") >= 1; }, 5000));
    EXPECT_NE(server.Targets().back().find("curnode=4"), std::string::npos);
}

TEST_F(ReportFixture, ValuesReplacedWhileReportsRunAreSeenWhole) {
    app.SetPageValues(Values(server.Url("/report")));
    std::thread writer([&] {
        for (int i = 0; i < 200; ++i) {
            app.SetPageValues("'pt':'p" + std::to_string(i) + "','qid':'q" + std::to_string(i) +
                              "','logoutRecord':'" + server.Url("/report") + "'");
            app.SetStep(i);
        }
    });
    writer.join();
    ASSERT_TRUE(WaitUntil([&] { return server.Count("/report") >= 1; }, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    for (const auto& t : server.Targets()) {
        // pt and the account's first half always come from the same record.
        size_t pt = t.find("pt=") + 3, amp = t.find('&', pt);
        size_t acc = t.find("account=") + 8, sep = t.find("%1F", acc);
        EXPECT_EQ(t.substr(pt, amp - pt), t.substr(acc, sep - acc)) << t;
    }
}

TEST(ErrorFile, LinesAreAppendedWithoutSeparators) {
    TempDir dir;
    char old[4096];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    fl::WriteErrorLine("StartDownloader err");
    fl::WriteErrorLine("StartDownloader err");
    ASSERT_EQ(chdir(old), 0);
    EXPECT_EQ(ReadFile(dir / "GMS__Err.txt"), "StartDownloader errStartDownloader err");
}
