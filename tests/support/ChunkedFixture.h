#pragma once
// A game folder published as chunked releases into a tree nginx serves, and
// the runner updating a data folder from it.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "demo/DemoHashList.h"
#include "publish/Publisher.h"
#include "tests/support/Nginx.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace fltest {

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
