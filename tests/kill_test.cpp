// A runner killed at any moment loses nothing it had: the next run continues
// the pack halves and skips the files it had finished (against nginx).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <random>

#include "tests/support/Nginx.h"
#include "tests/support/Process.h"
#include "tests/support/PublishTree.h"
#include "update/net/ResumeRecord.h"

using namespace fltest;

namespace {

struct KillFixture : ::testing::Test {
    TempDir www, install;
    fldemo::ContentOptions options;
    fldemo::DemoContent content;
    std::mt19937 random{std::random_device{}()};

    std::vector<std::string> Args() const {
        return {"update", "--install-dir", install.Path(), "--page-values", install / "values.txt", "--no-client"};
    }
    void Prepare(const Nginx& nginx) {
        content = fldemo::BuildDemoContent(options);
        PublishTree(content, www / "res/fenwa");
        WriteFile(install / "values.txt", "'rsurl':'" + nginx.Url("/res/fenwa/") + "','preloadver':'1','vm':'a'");
    }
    static long long Size(const std::string& path) {
        struct stat st {};
        return stat(path.c_str(), &st) == 0 ? st.st_size : 0;
    }
    void ExpectTree(const std::string& run) {
        for (const auto& [name, bytes] : content.files)
            EXPECT_TRUE(ReadFile(run + fldemo::DemoContent::LocalName(name)) == bytes) << name;
    }
};

}  // namespace

TEST_F(KillFixture, AFullPackKilledAtRandomMomentsIsContinuedNotFetchedAgain) {
    Nginx nginx(www.Path(), "limit_rate 3m;");  // two halves of ~10 MB take a few seconds
    if (!nginx.Running()) GTEST_SKIP() << "nginx is not installed";
    options.files = 30;
    options.fileSize = 1 << 20;
    options.packLacks = 0;
    Prepare(nginx);
    const long long packSize = (long long)content.fullPack.size();
    for (int round = 0; round < 3; ++round) {
        TempDir data;
        ProcessOptions o;
        o.env = {{"XDG_DATA_HOME", data.Path()}};
        const std::string run = data.Path() + "/fenwazelt/fenwa/";
        const pid_t pid = StartBackground(FL_CLI, Args(), o);
        std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(300, 2500)(random)));
        KillAndReap(pid, SIGKILL);
        // What the run had: halves with their records, or the merged pack.
        long long held = 0;
        for (const char* half : {"fenwa_full_0.temp", "fenwa_full_1.temp"}) {
            fl::ResumeRecord record;
            long long bytes = 0;
            if (fl::LoadResume(run + half, record, bytes)) held += bytes;
        }
        fl::ResumeRecord merged;
        long long mergedBytes = 0;
        if (fl::LoadResume(run + "fenwa_full.zip", merged, mergedBytes) && mergedBytes == packSize) held = packSize;
        const bool unpacked = Exists(run + "version.pat");

        // The second run asks with another "?v=" value: the killed run's last
        // requests, which nginx logs only once it notices they are gone, do not count.
        WriteFile(install / "values.txt", "'rsurl':'" + nginx.Url("/res/fenwa/") + "','preloadver':'2','vm':'a'");
        nginx.ClearAccessLog();
        o.timeoutMs = 120000;  // a busy machine is no failure
        ProcessResult again = RunProcess(FL_CLI, Args(), o);
        WriteFile(install / "values.txt", "'rsurl':'" + nginx.Url("/res/fenwa/") + "','preloadver':'1','vm':'a'");
        EXPECT_EQ(again.exitCode, 0) << again.err;
        ExpectTree(run);
        const long long fetched = nginx.BytesSent("fenwa_full.zip?v=2a");
        if (fetched > packSize - held + (2 << 20)) std::printf("%s\n%s\n", nginx.AccessLog().c_str(), again.err.c_str());
        std::printf("[ killed  ] round %d: held %lld of %lld bytes%s, the next run fetched %lld\n", round, held,
                    packSize, unpacked ? " (past the pack)" : "", fetched);
        if (!unpacked) {
            EXPECT_LE(fetched, packSize - held + (2 << 20)) << "only what was missing";
        }
    }
}

TEST_F(KillFixture, FilesFinishedBeforeAKillAreNotRequestedAgain) {
    Nginx nginx(www.Path());
    if (!nginx.Running()) GTEST_SKIP() << "nginx is not installed";
    options.files = 3000;
    options.fileSize = 2048;
    options.packLacks = 3000;  // the pack brings only the list: every file comes on its own
    Prepare(nginx);
    TempDir data;
    ProcessOptions o;
    o.env = {{"XDG_DATA_HOME", data.Path()}};
    const std::string run = data.Path() + "/fenwazelt/fenwa/";
    const pid_t pid = StartBackground(FL_CLI, Args(), o);
    const size_t cut = std::uniform_int_distribution<size_t>(200, 2000)(random);
    const std::string journal = run + ".fenwa-launcher/version.pat.journal";
    WaitUntil([&] {
        const std::string j = ReadFile(journal);
        return size_t(std::count(j.begin(), j.end(), '\n')) >= cut;
    }, 60000);
    KillAndReap(pid, SIGKILL);
    const std::string finished = ReadFile(journal);
    ASSERT_FALSE(finished.empty());

    nginx.ClearAccessLog();
    o.timeoutMs = 120000;
    ProcessResult again = RunProcess(FL_CLI, Args(), o);
    EXPECT_EQ(again.exitCode, 0) << again.err;
    ExpectTree(run);
    const std::string log = nginx.AccessLog();
    size_t start = 0, lines = 0, refetched = 0;
    for (size_t nl = finished.find('\n'); nl != std::string::npos; nl = finished.find('\n', start)) {
        const std::string name = finished.substr(start, finished.find('|', start) - start);
        start = nl + 1;
        ++lines;
        refetched += log.find("/res/fenwa/" + name + "?") != std::string::npos;
    }
    std::printf("[ killed  ] after %zu of 3000 files; the next run fetched %zu of them again\n", lines, refetched);
    EXPECT_EQ(refetched, 0u);
    EXPECT_FALSE(Exists(journal));
}

TEST_F(KillFixture, AKillWhileTheHalvesAreMergedKeepsEveryByte) {
    Nginx nginx(www.Path());
    if (!nginx.Running()) GTEST_SKIP() << "nginx is not installed";
    options.files = 24;
    options.fileSize = 1 << 20;
    options.packLacks = 0;
    Prepare(nginx);
    for (int round = 0; round < 3; ++round) {
        TempDir data;
        ProcessOptions o;
        o.env = {{"XDG_DATA_HOME", data.Path()}, {"FLAUNCHER_TRACE", "1"}};
        const std::string err = data / "err.txt";
        const pid_t pid = StartBackground(FL_CLI, Args(), o, data / "out.txt", err);
        // The moment the merge begins, and a little after: inside it, or just past it.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (ReadFile(err).find("开始合并文件") == std::string::npos && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 15)(random)));
        KillAndReap(pid, SIGKILL);
        ASSERT_NE(ReadFile(err).find("开始合并文件"), std::string::npos);

        WriteFile(install / "values.txt", "'rsurl':'" + nginx.Url("/res/fenwa/") + "','preloadver':'2','vm':'a'");
        nginx.ClearAccessLog();
        o.env.erase("FLAUNCHER_TRACE");
        o.timeoutMs = 120000;
        ProcessResult again = RunProcess(FL_CLI, Args(), o);
        WriteFile(install / "values.txt", "'rsurl':'" + nginx.Url("/res/fenwa/") + "','preloadver':'1','vm':'a'");
        EXPECT_EQ(again.exitCode, 0) << again.err;
        ExpectTree(data.Path() + "/fenwazelt/fenwa/");
        const long long fetched = nginx.BytesSent("fenwa_full.zip?v=2a");
        std::printf("[ killed  ] round %d: in the merge; the next run fetched %lld bytes of the pack\n", round, fetched);
        EXPECT_LE(fetched, 4096) << "every byte was on the disk";
        EXPECT_FALSE(Exists(data.Path() + "/fenwazelt/fenwa/fenwa_full_1.temp"));
    }
}
