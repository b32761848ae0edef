// Publishing into a tree players are updating from, directly and behind a
// caching proxy: a run ends whole at a release it was told of, or fails
// cleanly and the next run ends whole; publishing never shows up as a body
// that is not the listed one. A cache still serving an older signed list
// does not stop a player whose folder is whole at the newer release.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <thread>

#include "demo/DemoHashList.h"
#include "publish/Publisher.h"
#include "tests/support/Nginx.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

using namespace fltest;

namespace {

using Files = std::map<std::string, std::string>;

// The proxy's configuration as the operators' document asks of a CDN: release
// files kept long, lists briefly (`listSeconds`).
std::string CacheServer(const std::string& origin, int listSeconds) {
    const std::string pass = "proxy_pass " + origin + "; proxy_cache rel; proxy_cache_lock on; limit_rate 512k; ";
    return "location / { " + pass + "proxy_cache_valid 200 206 1h; } "
           "location ~ (\\.pat|hash\\.pat\\.minisig)$ { " + pass + "proxy_cache_valid 200 " + std::to_string(listSeconds) +
           "s; }";
}

struct LiveFixture : ::testing::Test {
    TempDir www, data, install, key, games;
    std::map<std::string, Files> releases;
    int published = 0;
    std::string Tree() const { return www / "res/fenwa"; }
    std::string Run() const { return data.Path() + "/fenwazelt/fenwa/"; }
    void SetUp() override { WriteFile(key / "k.key", fldemo::DemoSecretKeyFile()); }
    void PointAt(const std::string& url) {
        WriteFile(install / "values.txt", "'rsurl':'" + url + "','preloadver':'1','vm':'a'");
    }
    // The next release: a big file with a megabyte rewritten somewhere, one
    // small file changed, one added.
    std::string Publish() {
        const std::string release = "r" + std::to_string(++published);
        Files files = releases.empty() ? Files{} : releases.rbegin()->second;
        if (files.empty()) {
            files["data/big.pak"] = RandomBytes(4 << 20, 1);
            for (int i = 0; i < 5; ++i) files["small" + std::to_string(i) + ".txt"] = RandomBytes(3000, 10 + unsigned(i));
        } else {
            std::string& big = files["data/big.pak"];
            big.replace(size_t(published * 397 % 3) << 20, 1 << 20, RandomBytes(1 << 20, 100 + unsigned(published)));
            files["small" + std::to_string(published % 5) + ".txt"] = RandomBytes(2000, 200 + unsigned(published));
            files["added/" + release + ".txt"] = release;
        }
        const std::string dir = games / release;
        for (const auto& [name, bytes] : files) WriteFile(dir + "/" + name, bytes);
        fl::PublishOptions o;
        o.gameDir = dir;
        o.outDir = Tree();
        o.keyFile = key / "k.key";
        o.release = release;
        if (std::filesystem::exists(Tree() + "/hash.pat")) o.previousDir = Tree();
        std::string error;
        EXPECT_TRUE(fl::PublishRelease(o, error)) << error;
        releases[release] = files;
        return release;
    }
    ProcessResult Update() {
        ProcessOptions po;
        po.env = {{"XDG_DATA_HOME", data.Path()}};
        po.timeoutMs = 60000;
        return RunProcess(FL_CLI, {"update", "--install-dir", install.Path(), "--page-values", install / "values.txt",
                                   "--no-client"},
                          po);
    }
    // The release the run folder was last told of, from the list it keeps.
    std::string KeptRelease() const {
        const std::string kept = ReadFile(Run() + ".fenwa-launcher/hash.pat.kept");
        const size_t at = kept.find("#release|");
        return at == std::string::npos ? "" : kept.substr(at + 9, kept.find('\r', at) - at - 9);
    }
    bool WholeAt(const std::string& release) const {
        auto it = releases.find(release);
        if (it == releases.end()) return false;
        for (const auto& [name, bytes] : it->second)
            if (ReadFile(Run() + name) != bytes) return false;
        return true;
    }
    static void ExpectNoListedBodyRefused(const ProcessResult& r) {
        for (const char* sign : {"differs from hash.pat", "hash.pat lists", "not the content the signed hash list names"})
            EXPECT_EQ(r.err.find(sign), std::string::npos) << "a body mixed by publishing:\n" << r.err;
    }
    // Publishing at several moments of a run; each run ends whole at a release it
    // was told of, or the next run does.
    void PublishDuringUpdates(const char* through) {
        for (int moment : {0, 100, 300, 700, 1200, 1800}) {
            SCOPED_TRACE(std::string(through) + ", publishing " + std::to_string(moment) + " ms into the run");
            ProcessResult r;
            std::thread player([&] { r = Update(); });
            std::this_thread::sleep_for(std::chrono::milliseconds(moment));
            const std::string next = Publish();
            player.join();
            ExpectNoListedBodyRefused(r);
            if (r.exitCode != 0) {
                ProcessResult again = Update();
                ExpectNoListedBodyRefused(again);
                ASSERT_EQ(again.exitCode, 0) << r.err << "\n---\n" << again.err;
            }
            EXPECT_TRUE(WholeAt(KeptRelease())) << "at " << KeptRelease();
            EXPECT_TRUE(KeptRelease() == next || releases.count(KeptRelease())) << KeptRelease();
        }
        ProcessResult last = Update();
        ASSERT_EQ(last.exitCode, 0) << last.err;
    }
};

}  // namespace

TEST_F(LiveFixture, PublishingDuringAnUpdateNeverMixesReleases) {
    Nginx origin(www.Path(), "limit_rate 512k;");
    if (!origin.Running()) GTEST_SKIP() << "nginx is not installed";
    PointAt(origin.Url("/res/fenwa/"));
    Publish();
    PublishDuringUpdates("direct");
    // Only the last three releases' files stay.
    for (int i = 1; i <= published - 3; ++i)
        EXPECT_FALSE(std::filesystem::exists(Tree() + "/r" + std::to_string(i) + ".chunks")) << i;
    EXPECT_TRUE(std::filesystem::exists(Tree() + "/r" + std::to_string(published - 2) + ".chunks"));
}

TEST_F(LiveFixture, PublishingBehindACachingProxyNeverMixesReleases) {
    Nginx origin(www.Path());
    if (!origin.Running()) GTEST_SKIP() << "nginx is not installed";
    Nginx cache({}, "proxy_cache_path @DIR@/cache levels=1:2 keys_zone=rel:10m inactive=1h use_temp_path=off;",
                CacheServer(origin.Url(""), 1));
    ASSERT_TRUE(cache.Running());
    PointAt(cache.Url("/res/fenwa/"));
    Publish();
    PublishDuringUpdates("through a cache");
}

TEST_F(LiveFixture, ACacheStillServingTheOlderListLetsAWholeFolderPlay) {
    Nginx origin(www.Path());
    if (!origin.Running()) GTEST_SKIP() << "nginx is not installed";
    Nginx cache({}, "proxy_cache_path @DIR@/cache levels=1:2 keys_zone=rel:10m inactive=1h use_temp_path=off;",
                CacheServer(origin.Url(""), 3600));
    ASSERT_TRUE(cache.Running());
    const std::string first = Publish();
    PointAt(cache.Url("/res/fenwa/"));
    ASSERT_EQ(Update().exitCode, 0);  // the cache now holds the first release's lists for an hour
    const std::string second = Publish();
    PointAt(origin.Url("/res/fenwa/"));
    ProcessResult direct = Update();
    ASSERT_EQ(direct.exitCode, 0) << direct.err;
    ASSERT_TRUE(WholeAt(second));

    PointAt(cache.Url("/res/fenwa/"));
    cache.ClearAccessLog();
    ProcessResult stale = Update();
    EXPECT_EQ(stale.exitCode, 0) << stale.err;
    EXPECT_TRUE(WholeAt(second)) << "the older release's list rolled the folder back";
    EXPECT_EQ(KeptRelease(), second);
    EXPECT_NE(cache.AccessLog().find(first + ".minisig"), std::string::npos) << "the cache served the older list";
    EXPECT_EQ(cache.BytesSent(second + ".chunks"), 0) << "nothing to fetch for a whole folder";
}
