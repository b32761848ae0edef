// A release that removes files: after a whole run the player's folder holds
// exactly the new release plus the player's own files, through every path; a
// file the player changed stays; a failed run removes nothing; a hostile list
// removes nothing it did not install.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <set>

#include "demo/DemoHashList.h"
#include "demo/PackWriter.h"
#include "update/RemovedFiles.h"
#include "platform/Trace.h"
#include "update/integrity/HashList.h"
#include "update/integrity/Sha256.h"
#include "tests/support/DemoHarness.h"

using namespace fltest;

namespace {

// The launcher's own records in the run folder, not game files.
bool Bookkeeping(const std::string& name) {
    return name.rfind(".fenwa-launcher/", 0) == 0 || name == "version.pat" || name == "PackVersion.pat" || name == "installver.pat" || name == "preloadver.pat" || name.rfind("hash.pat", 0) == 0 ||
           name.rfind("chunks", 0) == 0 || name.find(".journal") != std::string::npos;
}

// The engine's trace lines while it lives.
struct CapturedTrace {
    static std::mutex& Mutex() {
        static std::mutex m;
        return m;
    }
    static std::vector<std::string>& Lines() {
        static std::vector<std::string> lines;
        return lines;
    }
    CapturedTrace() {
        std::lock_guard lock(Mutex());
        Lines().clear();
        fl::SetTraceHook([](const std::string& line) {
            std::lock_guard lock(Mutex());
            Lines().push_back(line);
        });
    }
    ~CapturedTrace() { fl::SetTraceHook(nullptr); }
    bool Has(const std::string& text) const {
        std::lock_guard lock(Mutex());
        for (const auto& line : Lines())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }
};

std::string TreePack(const fldemo::DemoContent& c) {
    std::vector<fldemo::PackEntry> entries{{"version.pat", c.VersionPat(), 0644}};
    for (const auto& [name, bytes] : c.files) entries.push_back({fldemo::DemoContent::LocalName(name), bytes, 0644});
    return fldemo::BuildPack(entries);
}

struct RemovalFixture : DemoFixture {
    const std::string removedPlain = "data\\maps\\res0.dat";  // its folder keeps other files
    const std::string removedAlone = "old\\only.dat";         // its folder holds nothing else
    const std::string removedEdited = "res2.dat";             // the player edited it
    std::map<std::string, std::string> playerFiles{{"data/ui/my.sav", "saved game"}, {"screens/shot.png", "png"},
                                                   {"res2.dat", "edited by the player"}};

    void SetUp() override {
        DemoFixture::SetUp();
        options.files = 12;
    }
    // Release 1 installed, and the player's files beside it.
    void InstallReleaseOne(bool signedLists = true) {
        StartPlatform();
        if (!signedLists) WithoutHashList();
        Content().files[removedAlone] = "only file of its folder";
        Content().versions[removedAlone] = "1";
        Content().fullPack = TreePack(Content());
        Run r = RunUpdate();
        ASSERT_TRUE(r.completed);
        ASSERT_TRUE(Exists(RunFolder() + "old/only.dat"));
        for (const auto& [name, bytes] : playerFiles) WriteFile(RunFolder() + name, bytes);
    }
    // Release 2's lists: three files gone.
    void RemoveThree(fldemo::DemoContent& c) {
        for (const std::string& name : {removedPlain, removedAlone, removedEdited}) {
            c.files.erase(name);
            c.versions.erase(name);
        }
    }
    // Exactly release 2 and the player's files, byte for byte.
    void ExpectReleaseAndPlayerFiles() {
        ExpectTreeMatchesServer();
        std::set<std::string> expected;
        for (const auto& [name, bytes] : Content().files) expected.insert(fldemo::DemoContent::LocalName(name));
        for (const auto& [name, bytes] : playerFiles) {
            expected.insert(name);
            EXPECT_EQ(ReadFile(RunFolder() + name), bytes) << "the player's " << name;
        }
        for (const auto& e : std::filesystem::recursive_directory_iterator(RunFolder())) {
            if (!e.is_regular_file()) continue;
            const std::string name = std::filesystem::relative(e.path(), RunFolder()).string();
            if (!Bookkeeping(name)) {
                EXPECT_TRUE(expected.count(name)) << name << " should be gone";
            }
        }
        EXPECT_FALSE(Exists(RunFolder() + "old")) << "a folder left empty goes";
        EXPECT_TRUE(Exists(RunFolder() + "data/maps")) << "a folder with files stays";
    }
};

}  // namespace

TEST_F(RemovalFixture, ThePerFileStageLeavesExactlyTheNewReleaseAndThePlayersFiles) {
    InstallReleaseOne();
    RemoveThree(Content());  // nothing else changes: no pack, nothing to fetch
    CapturedTrace trace;
    Run r = RunUpdate();
    ASSERT_TRUE(r.completed);
    ExpectReleaseAndPlayerFiles();
    EXPECT_TRUE(trace.Has("res2.dat: the release removed it, but it stays: its size is not the one the launcher put there"));
    EXPECT_EQ(ReadFile(RunFolder() + "version.pat"), Content().VersionPat()) << "the saved list names them no more";
    Run again = RunUpdate();
    EXPECT_TRUE(again.completed);
    ExpectReleaseAndPlayerFiles();
}

TEST_F(RemovalFixture, TheIncrementalPackLeavesExactlyTheNewRelease) {
    InstallReleaseOne();
    auto& c = Content();
    RemoveThree(c);
    const std::string changed = "data/ui/res1.dat";
    c.files["data/ui/res1.dat"] = fldemo::GameData(3000, 77);
    c.versions["data/ui/res1.dat"] = "9";
    c.lastVersion = c.newVersion;
    c.newVersion = "p3";
    c.newPack = fldemo::BuildPack({{changed, c.files[changed], 0644}});
    Run r = RunUpdate();
    ASSERT_TRUE(r.completed);
    EXPECT_TRUE(Has(r.requests, "p3.zip"));
    ExpectReleaseAndPlayerFiles();
}

TEST_F(RemovalFixture, TheFullPackLeavesExactlyTheNewRelease) {
    InstallReleaseOne();
    auto& c = Content();
    RemoveThree(c);
    c.newVersion = "p9";
    c.lastVersion = "p8";
    c.fullPack = TreePack(c);
    Run r = RunUpdate();
    ASSERT_TRUE(r.completed);
    EXPECT_TRUE(Has(r.requests, "fenwa_full.zip"));
    ExpectReleaseAndPlayerFiles();
}

TEST_F(RemovalFixture, ARunThatFailsRemovesNothingAndTheNextGoodRunDoes) {
    InstallReleaseOne();
    auto& c = Content();
    RemoveThree(c);
    c.files["data/ui/res4.dat"] = fldemo::GameData(3000, 78);
    c.versions["data/ui/res4.dat"] = "9";
    platform->SetResourceStatus("data/ui/res4.dat", 404);
    Run failed = RunUpdate();
    ASSERT_FALSE(failed.completed);
    EXPECT_TRUE(Exists(RunFolder() + "data/maps/res0.dat"));
    EXPECT_TRUE(Exists(RunFolder() + "old/only.dat"));
    platform->SetResourceStatus("data/ui/res4.dat", 0);
    Run good = RunUpdate();
    ASSERT_TRUE(good.completed);
    ExpectReleaseAndPlayerFiles();
}

TEST_F(RemovalFixture, VerifyReportsWhatTheReleaseRemovedAndRemovesItOnlyWhenRepairing) {
    InstallReleaseOne();
    RemoveThree(Content());
    auto verify = [&](bool repair, std::vector<std::string>& lines) {
        RecordingProgress progress;
        FakeMainWindow window;
        fl::CWobrApp app;
        Wire(app, window, progress);
        fl::CDownloader* engine = app.GetDownloader(window.GameParams().Copy());
        return engine && engine->VerifyRunFolder(repair, [&](const std::string& line) { lines.push_back(line); });
    };
    std::vector<std::string> report;
    EXPECT_FALSE(verify(false, report)) << "files of the release before are still here";
    EXPECT_TRUE(Has(report, "data\\maps\\res0.dat: the release removed it"));
    EXPECT_TRUE(Has(report, "2 files the release removed are still here"));
    EXPECT_TRUE(Exists(RunFolder() + "data/maps/res0.dat")) << "only --repair removes";
    report.clear();
    EXPECT_TRUE(verify(true, report));
    EXPECT_TRUE(Has(report, "2 files the release removed were removed"));
    ExpectReleaseAndPlayerFiles();
}

TEST_F(RemovalFixture, WithoutASignedListNothingIsRemoved) {
    InstallReleaseOne(false);
    RemoveThree(Content());
    ASSERT_TRUE(RunUpdate().completed);
    EXPECT_TRUE(Exists(RunFolder() + "data/maps/res0.dat")) << "nothing proves the launcher put it there";
}

// The names a list gives go through the guard, and only what the signed list
// names byte for byte is ever removed.
TEST(RemovedFiles, AHostileListRemovesNothingItDidNotInstall) {
    TempDir root;
    const std::string run = root / "run/";
    WriteFile(root / "outside.txt", "the player's");
    WriteFile(run + "ours.dat", "ours");
    WriteFile(run + "unlisted.dat", "never listed");
    WriteFile(root / "elsewhere/victim.dat", "ours");
    ASSERT_EQ(symlink((root / "elsewhere").c_str(), (run + "link").c_str()), 0);
    std::string list = "#release|r1\r\n";
    for (const char* name : {"ours.dat", "../outside.txt", "link/victim.dat", "link"})
        list += std::string(name) + "|4 " + fl::Sha256Of("ours") + "\r\n";
    fl::CHashList signedBefore;
    ASSERT_TRUE(signedBefore.Parse(list));
    const std::vector<std::string> previous = {"ours.dat",  "../outside.txt", "/etc/passwd", "a/../../outside.txt",
                                               "link/victim.dat", "link", "unlisted.dat", "missing.dat"};
    const auto found = fl::FindRemovedFiles(run, previous, {}, signedBefore);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].name, "ours.dat");
    EXPECT_TRUE(found[0].ours);
    EXPECT_EQ(found[1].name, "unlisted.dat");
    EXPECT_FALSE(found[1].ours) << "not named by the signed list";
    EXPECT_EQ(fl::RemoveOurFiles(run, found), 1);
    EXPECT_FALSE(Exists(run + "ours.dat"));
    EXPECT_TRUE(Exists(run + "unlisted.dat"));
    EXPECT_EQ(ReadFile(root / "outside.txt"), "the player's");
    EXPECT_EQ(ReadFile(root / "elsewhere/victim.dat"), "ours") << "never through a link";
    EXPECT_TRUE(Exists(run)) << "the run folder itself stays";
}
