// A step that would not fit on the disk stops before it writes: the message
// names what it needs and what is free, and nothing half-written stays.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/DiskSpace.h"
#include "platform/TextCodec.h"
#include "tests/support/DemoHarness.h"

using namespace fltest;

namespace {

struct DiskFixture : DemoFixture {
    void SetUp() override {
        DemoFixture::SetUp();
        options.files = 40;
        options.fileSize = 60000;
        options.packLacks = 0;
    }
    void TearDown() override {
        fl::SetFreeSpaceProbe(nullptr);
        DemoFixture::TearDown();
    }
    static std::string Message(long long need, long long free) {
        return fl::Format("磁盘空间不足,需要%.1fM,剩余%.1fM.", double(need + need / 20) / 1048576.0, double(free) / 1048576.0);
    }
    std::vector<std::string> Files() {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::recursive_directory_iterator(RunFolder()))
            if (e.is_regular_file()) names.push_back(std::filesystem::relative(e.path(), RunFolder()).string());
        return names;
    }
};

}  // namespace

TEST_F(DiskFixture, APackThatDoesNotFitIsNeverFetched) {
    StartPlatform();
    const long long pack = (long long)Content().fullPack.size(), free = pack / 2;
    fl::SetFreeSpaceProbe([free](const std::string&) { return free; });
    Run r = RunUpdate();
    EXPECT_FALSE(r.completed);
    EXPECT_TRUE(Has(r.boxes, Message(pack, free))) << (r.boxes.empty() ? "no box" : r.boxes.front());
    EXPECT_LT(platform->BytesServed(), pack / 10) << "only its size was asked for";
    for (const auto& name : Files())
        EXPECT_TRUE(name.rfind(".fenwa-launcher/", 0) == 0) << name << " was written";  // only what the list's acceptance keeps
}

TEST_F(DiskFixture, APackWhoseEntriesDoNotFitIsNotUnpackedAndIsKeptForTheNextRun) {
    StartPlatform();
    long long unpacked = 0;
    for (const auto& [name, bytes] : Content().files) unpacked += (long long)bytes.size();
    unpacked += (long long)Content().VersionPat().size();
    const long long free = (long long)Content().fullPack.size() * 11 / 10;  // the pack fits, its entries not
    ASSERT_LT(free, unpacked);
    fl::SetFreeSpaceProbe([free](const std::string&) { return free; });
    Run r = RunUpdate();
    EXPECT_FALSE(r.completed);
    EXPECT_TRUE(Has(r.boxes, Message(unpacked, free))) << (r.boxes.empty() ? "no box" : r.boxes.front());
    for (const auto& name : Files())
        EXPECT_TRUE(name.rfind(".fenwa-launcher/", 0) == 0 || name == "fenwa_full.zip")
            << name << " was written";

    fl::SetFreeSpaceProbe(nullptr);  // room was made
    platform->ClearLog();
    Run again = RunUpdate();
    EXPECT_TRUE(again.completed);
    EXPECT_LT(platform->BytesServed(), (long long)Content().fullPack.size() / 10) << "the whole pack was used again";
    ExpectTreeMatchesServer();
}

TEST_F(DiskFixture, AFileStageThatDoesNotFitSaysSoBeforeItFetches) {
    StartPlatform();
    platform->WriteInstallFolder(install.Path());
    ASSERT_TRUE(RunUpdate().completed);
    long long changed = 0;
    for (auto& [name, bytes] : Content().files) {
        bytes = fldemo::GameData(bytes.size(), 7);
        Content().versions[name] += "n";
        changed += (long long)bytes.size();
    }
    fl::SetFreeSpaceProbe([](const std::string&) { return 1000LL; });
    Run r = RunUpdate();
    EXPECT_FALSE(r.completed);
    EXPECT_TRUE(Has(r.boxes, Message(changed, 1000))) << (r.boxes.empty() ? "no box" : r.boxes.front());
    for (const auto& name : Files()) EXPECT_FALSE(name.ends_with(".temp")) << name;
}
