#pragma once
// A game folder published as chunked releases into a tree nginx serves, and
// the runner updating a data folder from it.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "demo/DemoHashList.h"
#include "publish/Publisher.h"
#include "update/RunRecords.h"
#include "update/integrity/HashList.h"
#include "update/integrity/Sha256.h"
#include "tests/support/Nginx.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace fltest {

// Seeded letters: about half of them compress away, and no two seeds agree.
inline std::string Letters(size_t size, unsigned seed) {
    std::mt19937 r(seed);
    std::string s(size, 'a');
    for (char& c : s) c = char('a' + r() % 16);
    return s;
}

struct ChunkedFixture : ::testing::Test {
    TempDir game, www, install, data, key;
    std::unique_ptr<Nginx> nginx;
    ProcessOptions po;
    std::string Tree() const { return www / "res/fenwa"; }
    std::string Run() const { return data.Path() + "/fenwazelt/fenwa/"; }
    void SetUp() override {
        WriteFile(key / "k.key", fldemo::DemoSecretKeyFile());
        nginx = std::make_unique<Nginx>(www.Path());
        po.env = {{"XDG_DATA_HOME", data.Path()}};
        WriteFile(install / "values.txt", "'rsurl':'" + nginx->Url("/res/fenwa/") + "','preloadver':'1','vm':'a'");
    }
    void Publish(const std::string& release) {
        fl::PublishOptions o;
        o.gameDir = game.Path();
        o.outDir = Tree();
        o.keyFile = key / "k.key";
        o.release = release;
        if (std::filesystem::exists(Tree() + "/hash.pat")) o.previousDir = Tree();
        std::string error;
        ASSERT_TRUE(fl::PublishRelease(o, error)) << error;
    }
    // nginx again with `extra` in its http block (its address changes).
    void ServeWith(const std::string& extra) {
        nginx = std::make_unique<Nginx>(www.Path(), extra);
        WriteFile(install / "values.txt", "'rsurl':'" + nginx->Url("/res/fenwa/") + "','preloadver':'1','vm':'a'");
    }
    // The runner's verify, with --repair when asked.
    ProcessResult Verify(bool repair = false) {
        std::vector<std::string> args = {"verify", "--install-dir", install.Path(), "--page-values", install / "values.txt"};
        if (repair) args.push_back("--repair");
        return RunProcess(FL_CLI, args, po);
    }
    // Replaces a file of the published tree and signs the hash list anew, as a
    // hostile or careless publisher with the key would.
    void ReplaceSigned(const std::string& name, const std::string& bytes) {
        WriteFile(Tree() + "/" + name, bytes);
        // The publisher's gzip copies would still say the old bytes.
        std::filesystem::remove(Tree() + "/" + name + ".gz");
        std::filesystem::remove(Tree() + "/hash.pat.gz");
        std::string list = ReadFile(Tree() + "/hash.pat");
        const size_t at = list.find("\n" + name + "|");
        ASSERT_NE(at, std::string::npos) << name;
        const size_t end = list.find("\r\n", at + 1);
        list.replace(at + 1, end - at - 1, name + "|" + std::to_string(bytes.size()) + " " + fl::Sha256Of(bytes));
        WriteFile(Tree() + "/hash.pat", list);
        fl::CHashList parsed;
        ASSERT_TRUE(parsed.Parse(list));
        const std::string signature = fldemo::SignWithDemoKey(list);
        WriteFile(Tree() + "/hash.pat.minisig", signature);
        WriteFile(Tree() + "/" + parsed.Release() + ".minisig", signature);
    }
    ProcessResult Update() {
        nginx->ClearAccessLog();
        return RunProcess(FL_CLI, {"update", "--install-dir", install.Path(), "--page-values", install / "values.txt",
                                   "--no-client"},
                          po);
    }
    void ExpectRelease() {
        for (const auto& e : std::filesystem::recursive_directory_iterator(game.Path())) {
            if (!e.is_regular_file()) continue;
            const std::string name = std::filesystem::relative(e.path(), game.Path()).string();
            EXPECT_TRUE(ReadFile(Run() + name) == ReadFile(e.path().string())) << name;
        }
    }
};


}  // namespace fltest
