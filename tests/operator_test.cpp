// The operators' view of a live tree: what a release costs players, told
// before and after it goes out and checked against what the runner fetches
// through nginx; a rollback that brings every player back.
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <random>
#include <ctime>
#include <regex>

#include "tests/support/ChunkedFixture.h"

using namespace fltest;
namespace fs = std::filesystem;

namespace {

// Every path of a tree with its bytes, size, modification and change times.
std::map<std::string, std::string> TreeState(const std::string& dir) {
    std::map<std::string, std::string> state;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        struct stat st {};
        lstat(e.path().c_str(), &st);
        state[e.path().string()] = std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
                                   std::to_string(st.st_mtim.tv_nsec) + " " + std::to_string(st.st_ctim.tv_sec) + "." +
                                   std::to_string(st.st_ctim.tv_nsec) + " " +
                                   (e.is_regular_file() ? fl::Sha256Of(ReadFile(e.path().string())) : "");
    }
    return state;
}

struct Cost {
    long long bytes = -1;
    int requests = -1;
};

// "from R: N bytes in M requests" and "a fresh folder: ..." of a report, by release ("" for fresh).
std::map<std::string, Cost> ReportedCosts(const std::string& report) {
    std::map<std::string, Cost> costs;
    static const std::regex line(R"((?:from (\S+)|a fresh folder): (\d+) bytes in (\d+) requests)");
    for (std::sregex_iterator it(report.begin(), report.end(), line), end; it != end; ++it)
        costs[(*it)[1].str()] = {std::stoll((*it)[2].str()), std::stoi((*it)[3].str())};
    return costs;
}

struct OperatorFixture : ChunkedFixture {
    TempDir players, releases;
    std::string big;
    time_t lastPublished = 0;

    ProcessResult Tool(std::vector<std::string> args) { return RunProcess(FL_PUBLISH, args, po); }
    // A release published with the tool as operators run it; its report.
    std::string PublishWithTool(const std::string& release, bool dryRun = false) {
        std::vector<std::string> args = {"--game", game.Path(), "--out", Tree(), "--key", key / "k.key",
                                         "--release", release, "--keep", "5"};
        if (fs::exists(Tree() + "/hash.pat")) args.insert(args.end(), {"--previous", Tree()});
        if (dryRun) args.push_back("--dry-run");
        // A server names a list by its time to the second and its size: a release's list of the
        // same size within the second of the one before would be answered "not modified".
        WaitUntil([&] { return time(nullptr) > lastPublished; }, 2000);
        const ProcessResult r = Tool(args);
        if (!dryRun) lastPublished = time(nullptr);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        if (!dryRun) Shell("cp -a '" + game.Path() + "' '" + releases / release + "'");
        return r.out;
    }
    std::string Folder(const std::string& player) { return players / player; }
    // The runner on a player's data folder; what nginx sent it.
    Cost UpdateAs(const std::string& player) {
        nginx->ClearAccessLog();
        ProcessOptions p = po;
        p.env["XDG_DATA_HOME"] = Folder(player);
        const ProcessResult r = RunProcess(FL_CLI, {"update", "--install-dir", install.Path(), "--page-values",
                                                    install / "values.txt", "--no-client"}, p);
        EXPECT_EQ(r.exitCode, 0) << player << "\n" << r.out << r.err;
        const std::string log = nginx->AccessLog();
        if (getenv("SHOWLOG")) std::printf("%s\n", log.c_str());
        return {nginx->BytesSent(), int(std::count(log.begin(), log.end(), '\n'))};
    }
    void CopyPlayer(const std::string& from, const std::string& to) {
        Shell("cp -a '" + Folder(from) + "' '" + Folder(to) + "'");
    }
    // The player's game folder is release `release`'s, file for file.
    void ExpectAt(const std::string& player, const std::string& release) {
        const std::string run = Folder(player) + "/fenwazelt/fenwa/";
        for (const auto& e : fs::recursive_directory_iterator(releases / release)) {
            if (!e.is_regular_file()) continue;
            const std::string name = fs::relative(e.path(), releases / release).string();
            EXPECT_TRUE(ReadFile(run + name) == ReadFile(e.path().string())) << player << ": " << name;
        }
    }
    bool IsAt(const std::string& player, const std::string& release) {
        const std::string run = Folder(player) + "/fenwazelt/fenwa/";
        for (const auto& e : fs::recursive_directory_iterator(releases / release))
            if (e.is_regular_file() &&
                ReadFile(run + fs::relative(e.path(), releases / release).string()) != ReadFile(e.path().string()))
                return false;
        return true;
    }
    void Edit(unsigned seed) {
        std::mt19937 r(seed);
        for (int i = 0; i < 3; ++i) big.replace(r() % (big.size() - 8), 6, "edit" + std::to_string(seed % 100));
        WriteFile(game / "big.bin", big);
        WriteFile(game / ("s/" + std::to_string(r() % 12)), Letters(50 << 10, seed));
    }
    void FirstRelease() {
        big = Letters(3 << 20, 1);
        WriteFile(game / "big.bin", big);
        for (int i = 0; i < 12; ++i) WriteFile(game / ("s/" + std::to_string(i)), Letters(40 << 10, 10 + unsigned(i)));
        PublishWithTool("r1");
    }
};

// Within 1 % of what the report said.
void ExpectNear(const Cost& fetched, const Cost& reported, const std::string& who) {
    std::printf("  %-8s fetched %lld bytes in %d requests; the report said %lld in %d\n", who.c_str(), fetched.bytes,
                fetched.requests, reported.bytes, reported.requests);
    EXPECT_GE(reported.bytes, 0) << who << " is not in the report";
    EXPECT_NEAR(double(fetched.bytes), double(reported.bytes), double(reported.bytes) / 100.0) << who;
    EXPECT_EQ(fetched.requests, reported.requests) << who;
}

TEST_F(OperatorFixture, TheReportSaysWhatEachPlayerFetchesAndADryRunWritesNothing) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    FirstRelease();
    EXPECT_NE(ReadFile(Tree() + "/r1.report.txt").find("a fresh folder:"), std::string::npos);
    UpdateAs("a");
    CopyPlayer("a", "at-r1");
    Edit(2);
    PublishWithTool("r2");
    UpdateAs("a");
    CopyPlayer("a", "at-r2");
    Edit(3);
    fs::remove(game / "s/5");
    WriteFile(game / "s/new", Letters(30 << 10, 99));
    PublishWithTool("r3");
    UpdateAs("a");
    ExpectAt("a", "r3");

    Edit(4);
    const auto before = TreeState(Tree());
    const std::string dry = PublishWithTool("r4", true);
    EXPECT_EQ(TreeState(Tree()), before) << "a dry run changed the tree";
    EXPECT_NE(dry.find("a dry run: nothing was written"), std::string::npos) << dry;
    const std::string report = PublishWithTool("r4");
    EXPECT_EQ(ReadFile(Tree() + "/r4.report.txt"), report);
    // The dry run told what the publication then did.
    const auto told = ReportedCosts(dry), costs = ReportedCosts(report);
    ASSERT_EQ(costs.size(), 4u) << report;  // r1, r2, r3 and a fresh folder
    for (const auto& [from, cost] : costs) {
        EXPECT_EQ(told.at(from).bytes, cost.bytes) << from;
        EXPECT_EQ(told.at(from).requests, cost.requests) << from;
    }
    EXPECT_NE(dry.find("files since r3: "), std::string::npos) << dry;

    for (const auto& [player, from] : std::vector<std::pair<std::string, std::string>>{
             {"at-r1", "r1"}, {"at-r2", "r2"}, {"a", "r3"}, {"fresh", ""}}) {
        const Cost fetched = UpdateAs(player);
        ExpectNear(fetched, costs.at(from), player);
        ExpectAt(player, "r4");
    }
}

TEST_F(OperatorFixture, ARollbackBringsEveryPlayerBackFetchingWhatItsReportSaid) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    FirstRelease();
    UpdateAs("a");
    CopyPlayer("a", "stays");  // never runs while the bad release is out
    // The bad release: files changed, one added, one removed.
    Edit(2);
    WriteFile(game / "s/bad", Letters(20 << 10, 7));
    fs::remove(game / "s/3");
    PublishWithTool("r2");
    UpdateAs("a");
    ExpectAt("a", "r2");

    // Later than r1's lists (a server names a file by its time to the second).
    WaitUntil([&] { return time(nullptr) > lastPublished; }, 2000);
    const auto before = TreeState(Tree());
    const ProcessResult dry = Tool({"--rollback", "r1", "--key", key / "k.key", "--out", Tree(), "--dry-run"});
    ASSERT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_EQ(TreeState(Tree()), before) << "a dry run changed the tree";
    const ProcessResult rb = Tool({"--rollback", "r1", "--key", key / "k.key", "--out", Tree()});
    ASSERT_EQ(rb.exitCode, 0) << rb.err;
    const auto costs = ReportedCosts(rb.out);
    ASSERT_EQ(costs.size(), 3u) << rb.out;  // r1 itself, r2, a fresh folder
    for (const auto& [from, cost] : ReportedCosts(dry.out)) EXPECT_EQ(cost.bytes, costs.at(from).bytes) << from;
    // The tree's own game files are r1's again, for launchers that fetch whole files.
    for (const auto& e : fs::recursive_directory_iterator(releases / "r1")) {
        if (!e.is_regular_file()) continue;
        EXPECT_EQ(ReadFile(Tree() + "/" + fs::relative(e.path(), releases / "r1").string()), ReadFile(e.path().string()));
    }
    for (const auto& [player, from] : std::vector<std::pair<std::string, std::string>>{
             {"a", "r2"}, {"stays", "r1"}, {"fresh", ""}}) {
        const Cost fetched = UpdateAs(player);
        ExpectNear(fetched, costs.at(from), player);
        EXPECT_LE(fetched.bytes, costs.at(from).bytes) << player;
        ExpectAt(player, "r1");
    }
    EXPECT_FALSE(fs::exists(Folder("a") + "/fenwazelt/fenwa/s/bad"));
    // Back at r1 for good: the next start asks for the lists alone.
    EXPECT_LT(UpdateAs("a").bytes, 1024);
    EXPECT_NE(ReadFile(Tree() + "/r1.report.txt").find("rolled back to"), std::string::npos);
    const ProcessResult list = Tool({"--list", "--out", Tree()});
    EXPECT_NE(list.out.find("r1 "), std::string::npos);
    EXPECT_LT(list.out.find("r2 "), list.out.find("r1 ")) << "the release put in place again counts as the newest";
}

TEST_F(OperatorFixture, APlayerMidUpdateWhenTheRollbackLandsEndsWholeAndThenAtTheRelease) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    FirstRelease();
    UpdateAs("a");
    // A bad release that rewrites most of the large file: its chunks take seconds at this rate.
    big = Letters(3 << 20, 77);
    WriteFile(game / "big.bin", big);
    WriteFile(game / "s/bad", Letters(20 << 10, 7));
    PublishWithTool("r2");
    ServeWith("limit_rate 200k;");
    ProcessOptions p = po;
    p.env["XDG_DATA_HOME"] = Folder("a");
    const pid_t runner = StartBackground(FL_CLI, {"update", "--install-dir", install.Path(), "--page-values",
                                                  install / "values.txt", "--no-client"}, p, players / "runner.out");
    ASSERT_GT(runner, 0);
    // The rollback lands while r2's chunks are coming in.
    const std::string partial = Folder("a") + "/fenwazelt/fenwa/.fenwa-launcher/chunks.partial";
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(partial); }, 20000));
    const ProcessResult rb = Tool({"--rollback", "r1", "--key", key / "k.key", "--out", Tree()});
    ASSERT_EQ(rb.exitCode, 0) << rb.err;
    int status = -1;
    ASSERT_EQ(waitpid(runner, &status, 0), runner);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(IsAt("a", "r1") || IsAt("a", "r2")) << "the run ended between releases";
    UpdateAs("a");
    ExpectAt("a", "r1");
    EXPECT_FALSE(fs::exists(Folder("a") + "/fenwazelt/fenwa/s/bad"));
}

TEST_F(OperatorFixture, APlayerServedTheReleasesOldSignatureByACacheStillComesBack) {
    if (!nginx->Running()) GTEST_SKIP() << "nginx is not installed";
    FirstRelease();
    const std::string oldSignature = ReadFile(Tree() + "/r1.minisig");
    Edit(2);
    PublishWithTool("r2");
    UpdateAs("a");
    WaitUntil([&] { return time(nullptr) > lastPublished; }, 2000);
    ASSERT_EQ(Tool({"--rollback", "r1", "--key", key / "k.key", "--out", Tree()}).exitCode, 0);
    EXPECT_NE(ReadFile(Tree() + "/r1.minisig"), oldSignature);
    // A cache in front still answers r1's own signature from before the rollback.
    WriteFile(Tree() + "/r1.minisig", oldSignature);
    UpdateAs("a");
    ExpectAt("a", "r1");
}

TEST_F(OperatorFixture, ARollbackIsRefusedWithAReasonAndLeavesTheTreeAsItWas) {
    FirstRelease();
    for (unsigned n = 2; n <= 4; ++n) {
        Edit(n);
        std::vector<std::string> args = {"--game", game.Path(), "--out", Tree(), "--previous", Tree(),
                                         "--key", key / "k.key", "--release", "r" + std::to_string(n), "--keep", "2"};
        ASSERT_EQ(Tool(args).exitCode, 0);
    }
    const ProcessResult other = Tool({"keygen", key / "other"});
    ASSERT_EQ(other.exitCode, 0);
    auto before = TreeState(Tree());
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    for (const Case& c : std::vector<Case>{
             {{"--rollback", "r9", "--key", key / "k.key", "--out", Tree()}, "release r9 is not in"},
             {{"--rollback", "r1", "--key", key / "k.key", "--out", Tree()}, "its files were pruned); it keeps r3, r4"},
             {{"--rollback", "r3", "--key", key / "other.key", "--out", Tree()}, "--force signs with it anyway"},
             {{"--rollback", "r3", "--out", Tree()}, "--rollback needs --key and --out"},
             {{"--rollback", "r3", "--key", key / "k.key", "--out", key / "nothing-here"}, "no release is published"}}) {
        const ProcessResult r = Tool(c.args);
        EXPECT_NE(r.exitCode, 0) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    EXPECT_EQ(TreeState(Tree()), before);
    // A release's copies that are no longer what it signed: nothing is written.
    const std::string list = ReadFile(Tree() + "/r3.version.pat");
    WriteFile(Tree() + "/r3.version.pat", list + "extra|r3\r\n");
    const auto altered = TreeState(Tree());
    const ProcessResult mismatch = Tool({"--rollback", "r3", "--key", key / "k.key", "--out", Tree()});
    EXPECT_NE(mismatch.err.find("not the ones it was published with"), std::string::npos) << mismatch.err;
    EXPECT_EQ(TreeState(Tree()), altered);
    WriteFile(Tree() + "/r3.version.pat", list);
    before = TreeState(Tree());
    // r1's files went with --keep 2; its name stays in no record.
    std::string record = ReadFile(Tree() + "/releases.pat");
    EXPECT_EQ(record.find("r1"), std::string::npos) << record;
    // The release in place: nothing to do. With --force, the other key signs.
    EXPECT_NE(Tool({"--rollback", "r4", "--key", key / "k.key", "--out", Tree()}).out.find("nothing to do"),
              std::string::npos);
    EXPECT_EQ(TreeState(Tree()), before);
    EXPECT_EQ(Tool({"--rollback", "r3", "--key", key / "other.key", "--out", Tree(), "--force"}).exitCode, 0);
    // A release the record keeps whose store is gone cannot be put back.
    fs::remove(Tree() + "/r4.chunks");
    const ProcessResult gone = Tool({"--rollback", "r4", "--key", key / "k.key", "--out", Tree(), "--force"});
    EXPECT_NE(gone.err.find("the files of release r4 were pruned"), std::string::npos) << gone.err;
}

TEST_F(OperatorFixture, KeepNeverPrunesTheReleaseRolledBackTo) {
    FirstRelease();
    Edit(2);
    PublishWithTool("r2");
    ASSERT_EQ(Tool({"--rollback", "r1", "--key", key / "k.key", "--out", Tree()}).exitCode, 0);
    Edit(3);
    ASSERT_EQ(Tool({"--game", game.Path(), "--out", Tree(), "--previous", Tree(), "--key", key / "k.key", "--release",
                    "r3", "--keep", "1"}).exitCode, 0);
    EXPECT_TRUE(fs::exists(Tree() + "/r1.chunks")) << "r3 was published from r1, which must stay";
    EXPECT_FALSE(fs::exists(Tree() + "/r2.chunks"));
    EXPECT_TRUE(fs::exists(Tree() + "/r3.from-r1.didx"));
}

}  // namespace
