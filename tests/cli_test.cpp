#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "app/StatusText.h"
#include "demo/DemoPlatform.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

using namespace fltest;

namespace {

struct CliFixture : ::testing::Test {
    TempDir data, install;
    fldemo::ContentOptions options;
    std::unique_ptr<fldemo::CDemoPlatform> platform;
    ProcessOptions opts;
    void SetUp() override {
        options.files = 6;
        opts.env = {{"XDG_DATA_HOME", data.Path()}};
    }
    void Start() {
        platform = std::make_unique<fldemo::CDemoPlatform>(fldemo::BuildDemoContent(options));
        platform->WriteInstallFolder(install.Path());
    }
    ProcessResult Run(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"update", "--install-dir", install.Path(), "--login-url",
                                         platform->LoginUrl()};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunProcess(FL_CLI, args, opts);
    }
};

}  // namespace

TEST_F(CliFixture, ACompleteUpdateStartsTheClientAndEndsWithZero) {
    options.clientBytes = "#!/bin/sh\necho \"$1\" > \"$(dirname \"$0\")/ran.txt\"\n";
    Start();
    ProcessResult r = Run();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("更新完成,正在启动游戏主程序...\n"), std::string::npos) << r.out;
    const std::string ran = data.Path() + "/fenwazelt/fenwa/ran.txt";
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(ran).size() >= 16; }, 5000));
    EXPECT_EQ(ReadFile(ran).substr(0, 16), "'LauncherPath':'");
    // The report address heard of the login, the update and the client start.
    ASSERT_TRUE(WaitUntil([&] { return !platform->Reports().empty(); }, 5000));
}

TEST_F(CliFixture, ANewLauncherEndsWithThreeAndIsLeftInTheDataFolder) {
    options.launcherVersion = "1.0.7";
    Start();
    ProcessResult r = Run({"--no-client"});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_EQ(ReadFile(data.Path() + "/fenwazelt/FLuncher.updt"), platform->Content().launcherBytes);
}

TEST_F(CliFixture, ALauncherThatFailedItsStartsIsSetAsideAndNotFetchedAgain) {
    options.launcherVersion = "1.0.7";
    Start();
    ProcessResult fetched = Run({"--no-client"});
    ASSERT_EQ(fetched.exitCode, 3) << fetched.err;
    // Two starts of it never proved it (as the windowed starts count them).
    const std::string state = data.Path() + "/fenwazelt/FLuncher.state";
    WriteFile(state, ReadFile(state) + "updt.attempts=2\n");
    platform->ClearLog();
    ProcessResult r = Run({"--no-client"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("新版本登录器(1.0.7)无法正常运行，已换回之前的版本。\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("flauncher-cli: went back: the launcher 1.0.7 (FLuncher.updt"), std::string::npos) << r.err;
    const auto requests = platform->ResourceRequests();
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "FLauncher_zelt.exe"), 0);
    EXPECT_FALSE(Exists(data.Path() + "/fenwazelt/FLuncher.updt"));
    // Said once.
    ProcessResult again = Run({"--no-client"});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(again.err.find("went back"), std::string::npos) << again.err;
}

// A launcher already fetched waits for the next start: the runner neither
// fetches it again nor forgets the starts it used, and updates the game.
TEST_F(CliFixture, ALauncherAlreadyInPlaceIsNotFetchedAgainAndTheGameIsUpdated) {
    options.launcherVersion = "1.0.7";
    Start();
    ASSERT_EQ(Run({"--no-client"}).exitCode, 3);
    const std::string state = data.Path() + "/fenwazelt/FLuncher.state";
    WriteFile(state, ReadFile(state) + "updt.attempts=1\n");  // one start of it so far
    for (int run = 0; run < 2; ++run) {
        platform->ClearLog();
        ProcessResult r = Run({"--no-client"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const auto requests = platform->ResourceRequests();
        EXPECT_EQ(std::count(requests.begin(), requests.end(), "FLauncher_zelt.exe"), 0) << "run " << run;
        EXPECT_NE(ReadFile(state).find("updt.attempts=1"), std::string::npos) << ReadFile(state);
    }
    EXPECT_TRUE(Exists(data.Path() + "/fenwazelt/fenwa/version.pat")) << "the game's update went on";
}

TEST_F(CliFixture, ARefusedRequestEndsWithOneAndSaysWhy) {
    Start();
    platform->SetResourceStatus("version.pat", 404);
    ProcessResult r = Run({"--no-client"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("文件[version.pat?v=1a]下载失败,请检查网络设置.\n"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("连接服务器失败!请检查网络设置.\n"), std::string::npos) << r.out;
    EXPECT_LT(r.seconds, 10);
}

TEST_F(CliFixture, WrongArgumentsEndWithTwo) {
    Start();
    EXPECT_EQ(RunProcess(FL_CLI, {}, opts).exitCode, 2);
    EXPECT_EQ(RunProcess(FL_CLI, {"update", "--install-dir", install.Path()}, opts).exitCode, 2);
    EXPECT_EQ(RunProcess(FL_CLI, {"update", "--install-dir", "/no/such/dir", "--login-url", "x"}, opts).exitCode, 2);
    EXPECT_EQ(RunProcess(FL_CLI, {"update", "--install-dir", install.Path(), "--login-url", platform->Url("/home?x")},
                         opts).exitCode, 2);
    WriteFile(install / "values.txt", "'preloadver':'1'");
    ProcessResult noEngine = RunProcess(FL_CLI, {"update", "--install-dir", install.Path(), "--page-values",
                                                 install / "values.txt"}, opts);
    EXPECT_EQ(noEngine.exitCode, 2) << "no resource address: no engine";
    EXPECT_NE(noEngine.err.find("连接服务器失败,请检查网络是否正常."), std::string::npos);
}

TEST_F(CliFixture, ALauncherThatArrivedBrokenIsNoNewLauncher) {
    options.launcherVersion = "1.0.7";
    options.launcherBytes = std::string(100000, 'L');
    Start();
    platform->SetResourceStatus("FLauncher_zelt.exe", -1000);
    ProcessResult r = Run({"--no-client"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_FALSE(Exists(data.Path() + "/fenwazelt/FLuncher.updt"));
    EXPECT_NE(r.err.find("登录器更新失败"), std::string::npos) << r.err;
}

TEST_F(CliFixture, ListsThatWereNotSavedEndWithOneAndStartNoClient) {
    options.clientBytes = "#!/bin/sh\ntouch \"$(dirname \"$0\")/ran.txt\"\n";
    Start();
    platform->SetResourceStatus("version.pat", 404, 2);  // the list arrives, its saving is refused
    ProcessResult r = Run();
    EXPECT_EQ(r.exitCode, 1) << r.err;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(Exists(data.Path() + "/fenwazelt/fenwa/ran.txt")) << "the client was not started";
}

TEST_F(CliFixture, RelativePathsAreTakenFromWhereTheRunnerStarted) {
    Start();
    WriteFile(install / "values.txt", "'rsurl':'" + platform->ResourceUrl() + "','preloadver':'1','vm':'a'\n");
    opts.workDir = install.Path();
    ProcessResult r = RunProcess(FL_CLI, {"update", "--install-dir", ".", "--page-values", "values.txt", "--no-client"},
                                 opts);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(data.Path() + "/fenwazelt/fenwa/installver.pat"), "i1\r\n") << "the install folder was found";
}

TEST_F(CliFixture, ATransferTriedAgainIsALineOnStandardError) {
    Start();
    platform->SetResourceStatus("version.pat", 503, 1);  // the first answer: busy
    platform->SetResourceStatus("version.pat", 0, 2);    // then served
    ProcessResult r = Run({"--no-client"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("flauncher-cli: version.pat?v=1a: HTTP status 503 (" + platform->ResourceUrl() +
                         "version.pat?v=1a); trying again (2 of 4)"),
              std::string::npos)
        << r.err;
}

TEST_F(CliFixture, ADamagedFileOnTheServerEndsWithOne) {
    Start();
    auto& files = platform->Content().files;
    const std::string listed = std::prev(files.end())->first;  // not in the installer's pack
    platform->FixHashList();
    files[listed][10] ^= 1;
    platform->ClearLog();  // the server's threads see the change (its lock)
    ProcessResult r = Run({"--no-client"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("文件[" + fldemo::DemoContent::LocalName(listed) + "]下载失败!"), std::string::npos) << r.err;
    EXPECT_FALSE(Exists(data.Path() + "/fenwazelt/fenwa/" + fldemo::DemoContent::LocalName(listed)));
}

TEST_F(CliFixture, VerifyNamesWhatIsMissingOrDiffersAndRepairFetchesExactlyThat) {
    Start();
    ASSERT_EQ(Run({"--no-client"}).exitCode, 0);
    const std::string run = data.Path() + "/fenwazelt/fenwa/";
    auto& files = platform->Content().files;
    // As listed (the report names them so) and as stored.
    const std::string gone = std::next(files.begin(), 1)->first, changed = std::next(files.begin(), 4)->first;
    std::remove((run + fldemo::DemoContent::LocalName(gone)).c_str());
    WriteFile(run + fldemo::DemoContent::LocalName(changed), "not what was published");
    const std::vector<std::string> verify = {"verify", "--install-dir", install.Path(), "--login-url",
                                             platform->LoginUrl()};

    ProcessResult check = RunProcess(FL_CLI, verify, opts);
    EXPECT_EQ(check.exitCode, 1) << check.err;
    EXPECT_NE(check.out.find(gone + ": missing\n"), std::string::npos) << check.out;
    EXPECT_NE(check.out.find(changed + ": differs"), std::string::npos) << check.out;
    EXPECT_NE(check.out.find(" files checked, 2 missing or different\n"), std::string::npos) << check.out;

    platform->ClearLog();
    std::vector<std::string> repair = verify;
    repair.push_back("--repair");
    ProcessResult fixed = RunProcess(FL_CLI, repair, opts);
    EXPECT_EQ(fixed.exitCode, 0) << fixed.err << fixed.out;
    std::vector<std::string> fetched;
    for (const auto& name : platform->ResourceRequests())
        if (!name.ends_with(".pat") && !name.ends_with(".minisig")) fetched.push_back(fldemo::DemoContent::LocalName(name));
    std::sort(fetched.begin(), fetched.end());
    std::vector<std::string> expected = {fldemo::DemoContent::LocalName(gone), fldemo::DemoContent::LocalName(changed)};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(fetched, expected) << "exactly the two";
    for (const auto& [name, bytes] : files) EXPECT_EQ(ReadFile(run + fldemo::DemoContent::LocalName(name)), bytes) << name;
    EXPECT_EQ(RunProcess(FL_CLI, verify, opts).exitCode, 0) << "whole";
}

TEST_F(CliFixture, HelpAndVersionGoToStandardOutputAndAnUnknownOptionNamesItself) {
    ProcessResult help = RunProcess(FL_CLI, {"--help"}, opts);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: flauncher-cli update"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("--limit-rate"), std::string::npos);
    EXPECT_TRUE(help.err.empty()) << help.err;
    EXPECT_EQ(RunProcess(FL_CLI, {"update", "--help"}, opts).exitCode, 0);
    ProcessResult version = RunProcess(FL_CLI, {"--version"}, opts);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "flauncher-cli 1.0.6\n");
    ProcessResult unknown = RunProcess(FL_CLI, {"update", "--install-dir", install.Path(), "--frobnicate"}, opts);
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("unknown option --frobnicate"), std::string::npos) << unknown.err;
    EXPECT_NE(RunProcess(FL_CLI, {"fetch"}, opts).err.find("unknown command fetch"), std::string::npos);
    EXPECT_EQ(RunProcess(FL_CLI, {"update", "--install-dir", install.Path(), "--limit-rate", "fast"}, opts).exitCode, 2);
}

TEST_F(CliFixture, AFailedTransferSaysWhyWithTheAddress) {
    // A port nobody listens on: bound, then closed.
    int port = 0;
    {
        fldemo::ContentOptions o;
        fldemo::CDemoPlatform gone(fldemo::BuildDemoContent(o));
        port = gone.Port();
    }
    const std::string refusedUrl = "http://127.0.0.1:" + std::to_string(port) + "/res/fenwa/";
    opts.env["RES_OPTIONS"] = "timeout:1 attempts:1";  // a machine without a resolver answers soon
    for (const auto& [url, reason] : std::vector<std::pair<std::string, std::string>>{
             {refusedUrl, "reason: connection refused (" + refusedUrl + "luncherVersion.pat?v=1a)"},
             {"http://fl-no-such-host.invalid/res/fenwa/", "reason: name not resolved (http://fl-no-such-host.invalid:80/res/fenwa/luncherVersion.pat?v=1a)"}}) {
        WriteFile(install / "values.txt", "'rsurl':'" + url + "','preloadver':'1','vm':'a'");
        ProcessResult r = RunProcess(FL_CLI, {"update", "--install-dir", install.Path(), "--page-values",
                                              install / "values.txt", "--no-client"}, opts);
        EXPECT_EQ(r.exitCode, 1);
        const size_t told = r.err.find("文件[luncherVersion.pat?v=1a]下载失败,请检查网络设置.");
        const size_t why = r.err.find(reason);
        ASSERT_NE(told, std::string::npos) << r.err;
        ASSERT_NE(why, std::string::npos) << r.err;
        EXPECT_GT(why, told) << "the reason follows the message";
    }
}

TEST_F(CliFixture, EachRunLeavesOneLogWithoutTheAccountsValuesAndTenAreKept) {
    Start();
    const std::string logs = data.Path() + "/fenwazelt/logs";
    std::string firstLog;
    for (int i = 0; i < 3; ++i) {
        std::filesystem::remove_all(logs);
        ASSERT_EQ(Run({"--no-client"}).exitCode, 0);
        if (i == 0)
            for (const auto& e : std::filesystem::directory_iterator(logs)) firstLog = ReadFile(e.path().string());
    }
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(logs)) names.push_back(e.path().string());
    ASSERT_EQ(names.size(), 1u) << "one file per run";
    const std::string log = ReadFile(names[0]);
    EXPECT_NE(log.find("result: the update completed (exit 0)"), std::string::npos) << log;
    EXPECT_NE(log.find("hash.pat: release"), std::string::npos);
    EXPECT_EQ(log.find("1001"), std::string::npos) << "the qid is masked";
    EXPECT_EQ(log.find("user=demo"), std::string::npos) << "the login address's query is masked";
    EXPECT_EQ(log.find("pass="), std::string::npos);
    // The first run unpacked a pack of several entries: its status is logged once.
    size_t unpacking = 0;
    for (size_t at = firstLog.find("status: 正在解压资源..."); at != std::string::npos;
         at = firstLog.find("status: 正在解压资源...", at + 1))
        ++unpacking;
    EXPECT_EQ(unpacking, 1u) << "once, not once per entry:\n" << firstLog;

    // Older runs beyond ten go.
    for (int i = 0; i < 12; ++i) WriteFile(logs + "/launcher-20200101-0000" + (i < 10 ? "0" : "") + std::to_string(i) + ".log", "old");
    ASSERT_EQ(Run({"--no-client"}).exitCode, 0);
    names.clear();
    for (const auto& e : std::filesystem::directory_iterator(logs)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names.size(), 10u);
    EXPECT_EQ(names.front(), "launcher-20200101-000004.log") << "the oldest went first";
}

// Under a cap the pack takes its time: the runner's output (not a terminal)
// carries the speed, and the time left once it is known, at most every 5 s.
TEST_F(CliFixture, UnderACapTheSpeedAndTimeLeftArePrintedEveryFiveSeconds) {
    options.files = 40;
    options.fileSize = 20000;
    options.packLacks = 0;
    Start();
    std::filesystem::remove(install / "fenwa_full.dydr");  // the pack comes from the server
    const double pack = double(platform->Content().fullPack.size());
    const double cap = pack / 13;  // about 13 s
    ProcessResult r = Run({"--no-client", "--limit-rate", std::to_string((long long)cap)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_GT(r.seconds, 11) << "the cap holds the transfer back";
    std::vector<std::string> rates, counts;
    for (size_t at = 0, end; (end = r.out.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = r.out.substr(at, end - at);
        if (line.find("KiB/s") != std::string::npos || line.find("MiB/s") != std::string::npos) rates.push_back(line);
        if (line.rfind("下载更新中...", 0) == 0) counts.push_back(line);
    }
    ASSERT_GE(rates.size(), 2u) << r.out;
    EXPECT_LE(rates.size(), size_t(r.seconds / 5) + 1) << "at most every 5 s";
    EXPECT_NE(rates.back().find("剩余 "), std::string::npos) << rates.back();
    // Piped, the count is thinned too: its start, one every 5 s, its end.
    ASSERT_GE(counts.size(), 2u) << r.out;
    EXPECT_LE(counts.size(), size_t(r.seconds / 5) + 2) << r.out;
    EXPECT_TRUE(fl::CounterComplete(counts.back())) << counts.back();
    EXPECT_LE(std::count(r.out.begin(), r.out.end(), '\n'), 20) << "a few lines for a pack, not thousands";
}

// A server that takes the request and never answers: every attempt after the
// first waits half the stall limit, and the runner ends with the reason.
TEST_F(CliFixture, ASilentServerIsGivenUpSoonAndTheReasonSaid) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(fd, 16), 0);  // the kernel completes the connection; nobody reads
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    WriteFile(install / "values.txt",
              "'rsurl':'http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/res/fenwa/','preloadver':'1','vm':'a'");
    opts.env["FLAUNCHER_STALL_TIMEOUT"] = "4";
    opts.env["FLAUNCHER_RETRY_BASE_MS"] = "20";
    opts.timeoutMs = 60000;
    ProcessResult r = RunProcess(
        FL_CLI, {"update", "--install-dir", install.Path(), "--page-values", install / "values.txt", "--no-client"}, opts);
    close(fd);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    // 4 s, then 2 s for each of three more attempts: 10 s, where four full waits were 16 s.
    EXPECT_LT(r.seconds, 14.5) << r.err;
    EXPECT_NE(r.err.find("trying again (4 of 4)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("reason: no data received for 2 s"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("下载失败,请检查网络设置."), std::string::npos) << r.err;
}

// One update of a data folder at a time: a second runner waits for the first,
// and says so when it does not end in time.
TEST_F(CliFixture, ASecondRunnerOnTheSameDataFolderIsRefusedWithItsOwnStatus) {
    Start();
    platform->SetResourceDelay("luncherVersion.pat", 7000);  // the first run takes its time
    const pid_t first = StartBackground(FL_CLI, {"update", "--install-dir", install.Path(), "--login-url",
                                                 platform->LoginUrl(), "--no-client"},
                                        opts, data / "first.out", data / "first.err");
    ASSERT_TRUE(WaitUntil([&] { return !platform->ResourceRequests().empty(); }, 10000));
    ProcessResult second = Run({"--no-client"});
    EXPECT_EQ(second.exitCode, 4) << second.err;
    EXPECT_NE(second.err.find("当前系统中还有“更新工具”正在运行，请先关闭！！！"), std::string::npos) << second.err;
    EXPECT_GE(second.seconds, 4.5) << "it waited for the first";
    int status = 0;
    waitpid(first, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(data / "first.err");
    // Once the first has ended, the same command runs.
    EXPECT_EQ(Run({"--no-client"}).exitCode, 0);
}

// A refused signed list keeps the message that names the network, and says
// on the reason line what was really wrong.
TEST_F(CliFixture, ARefusedListSaysWhyInPlainWords) {
    Start();
    const fldemo::DemoContent good = platform->Content();
    struct Case {
        const char* what;
        std::function<void(fldemo::DemoContent&)> damage;
        std::string reason;
    };
    const std::string run = data.Path() + "/fenwazelt/fenwa/";
    const std::vector<Case> cases = {
        {"signature", [](fldemo::DemoContent& c) { c.fixedSignature[c.fixedSignature.find('\n') + 20] ^= 0x20; },
         "reason: hash.pat is not signed by this platform's key"},
        {"line ends", [](fldemo::DemoContent& c) { c.fixedHashList.erase(c.fixedHashList.find('\r'), 1); },
         "reason: hash.pat is not signed by this platform's key"},
        {"older", [&](fldemo::DemoContent&) { WriteFile(run + ".fenwa-launcher/hash.pat.accepted", "release|x\r\ntime|99999999999\r\n"); },
         "reason: hash.pat is older than the list already accepted here"},
        {"launcher list", [](fldemo::DemoContent& c) { c.launcherVersion = "1.0.9"; },
         "reason: luncherVersion.pat is not the content the signed hash list names"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        std::filesystem::remove_all(run);
        std::filesystem::create_directories(run);
        platform->EditContent([&](fldemo::DemoContent& c) { c = good; });
        platform->FixHashList();
        platform->EditContent(k.damage);
        ProcessResult r = Run({"--no-client"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(k.reason), std::string::npos) << r.err;
    }
}
