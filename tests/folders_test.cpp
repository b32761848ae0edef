#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/Folders.h"
#include "tests/support/TempDir.h"

using namespace fltest;

TEST(Folders, EnsureFolderCreatesMissingParentsFromTheTop) {
    TempDir root;
    const std::string path = root / "one/two/three/";
    EXPECT_TRUE(fl::EnsureFolder(path));
    EXPECT_TRUE(fl::IsFolder(root / "one/two/three"));
    EXPECT_TRUE(fl::EnsureFolder(path)) << "an existing folder is fine";
    EXPECT_FALSE(fl::EnsureFolder("a"));
    EXPECT_FALSE(fl::EnsureFolder(""));
    EXPECT_FALSE(fl::EnsureFolder("rel")) << "no parent to create it in";

    WriteFile(root / "file", "x");
    EXPECT_FALSE(fl::EnsureFolder(root / "file/sub")) << "a file in the way";
    EXPECT_FALSE(fl::IsFolder(root / "file"));
}

TEST(Folders, TwoThreadsCreatingTheSameFolderBothSucceed) {
    TempDir root;
    for (int round = 0; round < 50; ++round) {
        const std::string path = root / ("r" + std::to_string(round) + "/a/b/c");
        std::atomic<int> ok{0};
        std::thread t1([&] { ok += fl::EnsureFolder(path); });
        std::thread t2([&] { ok += fl::EnsureFolder(path); });
        t1.join();
        t2.join();
        ASSERT_EQ(ok.load(), 2) << round;
    }
}

TEST(Folders, DataFolderFollowsXdgDataHome) {
    {
        ScopedEnv env("XDG_DATA_HOME", "/var/tmp/xdg/");
        EXPECT_EQ(fl::GetDataFolder(), "/var/tmp/xdg/fenwazelt");
    }
    ScopedEnv unset("XDG_DATA_HOME", "relative/is/ignored");
    ScopedEnv home("HOME", "/home/player");
    EXPECT_EQ(fl::GetDataFolder(), "/home/player/.local/share/fenwazelt");
}

TEST(Folders, ModuleFolderEndsWithASeparator) {
    std::string folder = fl::GetModuleFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(fl::IsFolder(folder));
    EXPECT_EQ(fl::ParentOf("/a/b/c"), "/a/b");
    EXPECT_EQ(fl::ParentOf("c"), "");
}
