// Archives made by other tools, and archives of any size.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/EngineHarness.h"
#include "tests/support/Process.h"

using namespace fltest;

namespace {

struct ArchiveFixture : ::testing::Test {
    TempDir data, work;
    ScopedEnv xdg{"XDG_DATA_HOME", data.Path()};
    CapturedBoxes boxes;
    fl::CWobrApp app;
    std::unique_ptr<fl::CDownloader> engine;
    void SetUp() override {
        fl::SetMessageBoxHost(&boxes);
        app.SetResFolder("res/");
        engine = std::make_unique<fl::CDownloader>(app, app.EngineSettings());
    }
    void TearDown() override { fl::SetMessageBoxHost(nullptr); }
    std::string Run() const { return data.Path() + "/fenwazelt/res/"; }
    // Info-ZIP's zip, run in `dir` on the given names.
    void InfoZip(const std::string& dir, std::vector<std::string> args) {
        ProcessOptions o;
        o.workDir = dir;
        o.timeoutMs = 120000;
        ProcessResult r = RunProcess("/usr/bin/zip", args, o);
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
};

}  // namespace

TEST_F(ArchiveFixture, AZip64ArchiveFromInfoZipUnpacksWithItsFoldersAndModes) {
    const std::string tree = work / "tree";
    WriteFile(tree + "/a.txt", "alpha");
    WriteFile(tree + "/sub/deep/b.bin", std::string(300000, 'b'));
    WriteFile(tree + "/run.sh", "#!/bin/sh\n");
    chmod((tree + "/run.sh").c_str(), 0775);
    InfoZip(tree, {"-q", "-r", "-fz", work / "pack.zip", "."});
    ASSERT_EQ(engine->UnzipPack(work / "pack.zip"), fl::UNZIP_OK) << (boxes.Texts().empty() ? "" : boxes.Texts()[0]);
    EXPECT_EQ(ReadFile(Run() + "a.txt"), "alpha");
    EXPECT_EQ(ReadFile(Run() + "sub/deep/b.bin"), std::string(300000, 'b'));
    struct stat st {};
    ASSERT_EQ(stat((Run() + "run.sh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u) << "runnable, without group write";
}

TEST_F(ArchiveFixture, ABrokenEntryFailsAndLeavesNoHalfFile) {
    const std::string tree = work / "tree";
    WriteFile(tree + "/a.txt", std::string(100000, 'a'));
    InfoZip(tree, {"-q", "-r", work / "pack.zip", "."});
    std::string zip = ReadFile(work / "pack.zip");
    // Stored CRC changed in the central directory: the bytes no longer match it.
    const size_t cd = zip.find("PK\x01\x02");
    ASSERT_NE(cd, std::string::npos);
    zip[cd + 16] = char(~zip[cd + 16]);
    WriteFile(work / "crc.zip", zip);
    WriteFile(Run() + "a.txt", "old");
    EXPECT_NE(engine->UnzipPack(work / "crc.zip"), fl::UNZIP_OK);
    EXPECT_EQ(ReadFile(Run() + "a.txt"), "old");
    EXPECT_FALSE(Exists(Run() + "a.txt.unzip"));
    EXPECT_EQ(engine->UnzipPack(work / "missing.zip"), fl::UNZIP_NO_ARCHIVE);
    WriteFile(work / "empty.zip", "");
    EXPECT_EQ(engine->UnzipPack(work / "empty.zip"), fl::UNZIP_BAD_ARCHIVE);
}

// Long: an entry of 4.5 GiB (zeros, so the archive stays small) past every 32-bit limit.
TEST_F(ArchiveFixture, LongAnEntryOverFourGigabytesUnpacksWhole) {
    const std::string tree = work / "tree";
    WriteFile(tree + "/small.txt", "small");
    WriteFile(tree + "/big.bin", "");
    const long long size = 4608LL << 20;
    ASSERT_EQ(truncate((tree + "/big.bin").c_str(), size), 0);
    InfoZip(tree, {"-q", "-1", "big.zip", "big.bin", "small.txt"});
    std::remove((tree + "/big.bin").c_str());
    ASSERT_EQ(engine->UnzipPack(tree + "/big.zip"), fl::UNZIP_OK);
    struct stat st {};
    ASSERT_EQ(stat((Run() + "big.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, size) << "the CRC was checked by the unpacker";
    EXPECT_EQ(ReadFile(Run() + "small.txt"), "small");
    std::remove((Run() + "big.bin").c_str());
}
