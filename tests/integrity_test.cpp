// The signed hash list: whatever is damaged on the way or on the server is
// never installed, a list signed with another key or an older list is refused,
// and a server without the list still updates a launcher built without keys.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "demo/DemoHashList.h"
#include "demo/PackWriter.h"
#include "tests/support/DemoHarness.h"
#include "tests/support/RawServer.h"
#include "update/integrity/HashList.h"
#include "update/integrity/Minisign.h"

using namespace fltest;
using fldemo::DemoContent;

namespace {

struct IntegrityFixture : DemoFixture {
    void StartInstalled() {
        StartPlatform();
        platform->WriteInstallFolder(install.Path());
        ASSERT_TRUE(RunUpdate().completed);
    }
    // A file that changes on the server: new bytes, new version; its listed name.
    std::string ChangeOneFile() {
        const std::string listed = std::next(Content().files.begin(), 3)->first;
        Content().files[listed] = fldemo::GameData(3000, 99);
        Content().versions[listed] = "99";
        return listed;
    }
    static void Flip(std::string& bytes, size_t at) { bytes.at(at) = char(bytes.at(at) ^ 0x20); }
    // Every file of the run folder, with its bytes.
    std::map<std::string, std::string> Folder() {
        std::map<std::string, std::string> files;
        if (!Exists(RunFolder())) return files;
        for (const auto& e : std::filesystem::recursive_directory_iterator(RunFolder()))
            if (e.is_regular_file()) files[e.path().string()] = ReadFile(e.path().string());
        return files;
    }
};

}  // namespace

// One byte of anything published, changed after it was signed.
TEST_F(IntegrityFixture, AFlippedByteInAFileIsNeverInstalledAndARetryThatGetsItWholeEndsWhole) {
    StartInstalled();
    const std::string listed = ChangeOneFile();
    const std::string local = RunFolder() + DemoContent::LocalName(listed);
    const std::string before = ReadFile(local);
    platform->FixHashList();
    Flip(Content().files[listed], 1500);
    Run r = RunUpdate();
    EXPECT_FALSE(r.completed);
    EXPECT_TRUE(Has(r.boxes, "文件[" + DemoContent::LocalName(listed) + "]下载失败!"));
    EXPECT_EQ(ReadFile(local), before) << "the old file stays, the damaged one is not in place";
    EXPECT_FALSE(Exists(local + ".temp")) << "a damaged body is not kept to be continued";
    EXPECT_EQ(std::count(r.requests.begin(), r.requests.end(), DemoContent::LocalName(listed)), 4) << "fetched again";

    Flip(Content().files[listed], 1500);  // the server has it right again
    EXPECT_TRUE(RunUpdate().completed);
    ExpectTreeMatchesServer();
}

TEST_F(IntegrityFixture, ADamagedFullPackIsNeverUnpacked) {
    StartPlatform();  // no installer's pack: the full pack comes from the server
    platform->FixHashList();
    Flip(Content().fullPack, Content().fullPack.size() / 3);
    Run r = RunUpdate();
    EXPECT_FALSE(r.completed);
    EXPECT_TRUE(Has(r.boxes, "文件[fenwa_full.zip]下载失败!"));
    EXPECT_EQ(std::count(r.requests.begin(), r.requests.end(), "fenwa_full.zip"), 6)
        << "the size and two halves, fetched twice";
    for (const auto& [path, bytes] : Folder())
        EXPECT_TRUE(path.ends_with(".pat") || path.find("/hash.pat.") != std::string::npos) << path << " should not be there";
}

TEST_F(IntegrityFixture, ADamagedIncrementalPackIsNeverUnpacked) {
    StartInstalled();
    Content().newPack = fldemo::BuildPack({{"marker.txt", std::string(4000, 'm'), 0644}});
    WriteFile(RunFolder() + "PackVersion.pat", "newversion|p1\r\n");
    platform->FixHashList();
    Flip(Content().newPack, Content().newPack.size() / 2);
    Run r = RunUpdate();
    EXPECT_FALSE(r.completed);
    EXPECT_TRUE(Has(r.boxes, "文件[p2.zip]下载失败!"));
    EXPECT_FALSE(Exists(RunFolder() + "marker.txt"));
    EXPECT_FALSE(Exists(RunFolder() + "p2.zip"));
}

TEST_F(IntegrityFixture, ADamagedLauncherIsNeverLeftForTheRestart) {
    options.launcherVersion = "1.0.7";
    StartPlatform();
    platform->WriteInstallFolder(install.Path());
    platform->FixHashList();
    Flip(Content().launcherBytes, 3);
    Run r = RunUpdate();
    EXPECT_FALSE(r.completed);
    EXPECT_TRUE(Has(r.boxes, "文件[FLauncher_zelt.exe]下载失败!"));
    EXPECT_FALSE(Exists(data / "fenwazelt/FLuncher.updt"));
}

TEST_F(IntegrityFixture, AChangedListOrAnyByteOfTheHashListOrItsSignatureStopsTheUpdate) {
    StartPlatform();
    platform->WriteInstallFolder(install.Path());
    const DemoContent good = Content();
    struct Case {
        const char* what;
        std::function<void(DemoContent&)> damage;
        std::string box;
    };
    const std::vector<Case> cases = {
        {"version.pat", [](DemoContent& c) { c.versions.begin()->second += "x"; }, "文件[version.pat]下载失败!"},
        {"PackVersion.pat", [](DemoContent& c) { c.newVersion = "p3"; }, "文件[PackVersion.pat]下载失败!"},
        {"luncherVersion.pat", [](DemoContent& c) { c.launcherVersion = "1.0.7"; }, "文件[luncherVersion.pat]下载失败!"},
        {"hash.pat", [](DemoContent& c) { Flip(c.fixedHashList, c.fixedHashList.size() - 10); },
         "文件[hash.pat]下载失败,请检查网络设置."},
        {"hash.pat.minisig", [](DemoContent& c) { Flip(c.fixedSignature, c.fixedSignature.find('\n') + 20); },
         "文件[hash.pat]下载失败,请检查网络设置."},
        {"hash.pat.minisig (its trusted comment)",
         [](DemoContent& c) { Flip(c.fixedSignature, c.fixedSignature.find("release ") + 9); },
         "文件[hash.pat]下载失败,请检查网络设置."},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        std::filesystem::remove_all(RunFolder());
        platform->Content() = good;
        platform->FixHashList();
        k.damage(Content());
        Run r = RunUpdate();
        EXPECT_FALSE(r.completed);
        EXPECT_TRUE(Has(r.boxes, k.box)) << (r.boxes.empty() ? "no box" : r.boxes.front());
        // The good pack may be in (it was checked), but no damaged list is saved or acted on.
        EXPECT_NE(ReadFile(RunFolder() + "version.pat"), Content().VersionPat());
        EXPECT_NE(ReadFile(RunFolder() + "PackVersion.pat"), Content().PackVersionPat());
        EXPECT_FALSE(Has(r.requests, "FLauncher_zelt.exe"));
        if (std::string(k.what).starts_with("hash.pat") || std::string(k.what) == "luncherVersion.pat") {
            EXPECT_FALSE(Has(r.requests, "PackVersion.pat")) << "nothing fetched past the lists";
        }
    }
}

// A pack the list vouches for, holding an entry that is not the file the list
// names (a release published again with other content): that file is never put
// in place from the pack; it comes on its own, and the run ends whole.
TEST_F(IntegrityFixture, APackEntryThatIsNotTheListedFileIsFetchedOnItsOwn) {
    StartPlatform();
    platform->WriteInstallFolder(install.Path());
    std::filesystem::remove(install / (Content().fullPackName + ".dydr"));
    const std::string listed = std::next(Content().files.begin(), 2)->first;
    Content().files[listed] = fldemo::GameData(2500, 77);  // the pack keeps the old bytes
    platform->FixHashList();                              // ... and the list signs both as they are
    Run r = RunUpdate();
    EXPECT_TRUE(r.completed) << (r.boxes.empty() ? "" : r.boxes.front());
    EXPECT_TRUE(Has(r.requests, "fenwa_full.zip"));
    EXPECT_TRUE(Has(r.requests, DemoContent::LocalName(listed))) << "the one file, on its own";
    ExpectTreeMatchesServer();
}

TEST_F(IntegrityFixture, EitherPinnedKeyVerifiesAnUnknownKeyDoesNot) {
    std::string otherPub, otherSec;
    ASSERT_TRUE(fl::GenerateMinisignKeys(otherPub, otherSec));
    fl::MinisignPublicKey other;
    ASSERT_TRUE(fl::ParseMinisignPublicKey(otherPub, other));
    StartPlatform();
    platform->WriteInstallFolder(install.Path());

    pinnedKeys = fl::MinisignPublicKeyLine(other);  // a launcher of another platform
    Run refused = RunUpdate();
    EXPECT_FALSE(refused.completed);
    EXPECT_TRUE(Has(refused.boxes, "文件[hash.pat]下载失败,请检查网络设置."));
    EXPECT_FALSE(Exists(RunFolder() + "version.pat"));
    EXPECT_FALSE(Has(refused.requests, "fenwa_full.zip")) << "nothing fetched past the list";

    pinnedKeys = fl::MinisignPublicKeyLine(other) + ";" + fldemo::DemoPublicKeyLine();  // the signing key second
    EXPECT_TRUE(RunUpdate().completed);
    ExpectTreeMatchesServer();
}

TEST_F(IntegrityFixture, WithoutAListAKeylessLauncherUpdatesAndAPinnedOneRefuses) {
    StartPlatform();
    platform->WriteInstallFolder(install.Path());
    Content().serveHashList = false;
    Run refused = RunUpdate();  // the build's key: the list is required
    EXPECT_FALSE(refused.completed);
    EXPECT_TRUE(Has(refused.boxes, "文件[hash.pat?v=1a]下载失败,请检查网络设置.")) << refused.boxes.size();

    pinnedKeys = "";
    Run r = RunUpdate();
    EXPECT_TRUE(r.completed);
    EXPECT_TRUE(r.boxes.empty()) << r.boxes.front();
    ExpectTreeMatchesServer();
}

// An older list (a rollback, or a cache still serving it) never takes the
// player back: the newer list accepted before is used; without it, refused.
TEST_F(IntegrityFixture, AnOlderSignedListIsRefusedSoNoPlayerIsRolledBack) {
    StartPlatform();
    platform->WriteInstallFolder(install.Path());
    const std::string list = fldemo::HashListOf(Content());
    Content().fixedHashList = list;
    Content().fixedSignature = fldemo::SignWithDemoKey(list, 2000000000);
    ASSERT_TRUE(RunUpdate().completed);
    EXPECT_NE(ReadFile(RunFolder() + ".fenwa-launcher/hash.pat.accepted").find("time|2000000000"), std::string::npos);

    Content().fixedSignature = fldemo::SignWithDemoKey(list, 2000000000);  // the same release again
    EXPECT_TRUE(RunUpdate().completed);
    Content().fixedSignature = fldemo::SignWithDemoKey(list, 1999999999);  // validly signed, but older
    Run kept = RunUpdate();
    EXPECT_TRUE(kept.completed) << (kept.boxes.empty() ? "" : kept.boxes.front());
    EXPECT_TRUE(kept.boxes.empty());
    EXPECT_NE(ReadFile(RunFolder() + ".fenwa-launcher/hash.pat.accepted").find("time|2000000000"), std::string::npos);
    EXPECT_EQ(ReadFile(RunFolder() + ".fenwa-launcher/hash.pat.kept"), list);

    // The kept list damaged: nothing vouches for the newer release any more.
    std::string damaged = ReadFile(RunFolder() + ".fenwa-launcher/hash.pat.kept");
    damaged[damaged.size() / 2] ^= 1;
    WriteFile(RunFolder() + ".fenwa-launcher/hash.pat.kept", damaged);
    Run r = RunUpdate();
    EXPECT_FALSE(r.completed);
    EXPECT_TRUE(Has(r.boxes, "文件[hash.pat]下载失败,请检查网络设置."));
    EXPECT_NE(ReadFile(RunFolder() + ".fenwa-launcher/hash.pat.accepted").find("time|2000000000"), std::string::npos);
}

TEST_F(IntegrityFixture, AnInstallersPackThatIsNotTheListedOneIsReplacedByTheServers) {
    StartPlatform();
    platform->WriteInstallFolder(install.Path());
    std::string pack = Content().fullPack;
    Flip(pack, pack.size() / 2);
    WriteFile(install / "fenwa_full.dydr", pack);
    Run r = RunUpdate();
    EXPECT_TRUE(r.completed);
    EXPECT_TRUE(Has(r.requests, "fenwa_full.zip"));
    ExpectTreeMatchesServer();
}

// Framings HTTP cannot tell from a whole body: only the list can.
TEST_F(IntegrityFixture, AShortContentLengthAndAnHttp10BodyCutByCloseAreCaught) {
    StartInstalled();
    std::vector<std::string> changed;
    for (auto& [name, bytes] : Content().files)
        if (name.find('\\') == std::string::npos && name != "client.exe" && changed.size() < 2) {
            bytes = fldemo::GameData(6000, unsigned(50 + changed.size()));
            Content().versions[name] = "77";
            changed.push_back(name);
        }
    ASSERT_EQ(changed.size(), 2u);
    const std::map<std::string, std::string> before = Folder();
    const DemoContent& c = Content();
    const std::string list = fldemo::HashListOf(c), signature = fldemo::SignWithDemoKey(list);
    bool faults = true;
    RawServer raw([&](const std::string& target) {
        std::string name = target.substr(std::string("/res/fenwa/").size());
        name = name.substr(0, name.find('?'));
        std::string body;
        if (name == "hash.pat") body = list;
        else if (name == "hash.pat.minisig") body = signature;
        else if (name == "luncherVersion.pat") body = c.LuncherVersionPat();
        else if (name == "PackVersion.pat") body = c.PackVersionPat();
        else if (name == "version.pat") body = c.VersionPat();
        else if (c.files.count(name)) body = c.files.at(name);
        else return std::string("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
        if (faults && name == changed[0])  // announces half, sends all: HTTP stops at the half
            return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size() / 2) + "\r\n\r\n" + body;
        if (faults && name == changed[1])  // no length: the close ends the body
            return "HTTP/1.0 200 OK\r\n\r\n" + body.substr(0, body.size() / 2);
        return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    });
    resourceUrl = raw.Url("/res/fenwa/");
    Run r = RunUpdate();
    EXPECT_FALSE(r.completed);
    for (const auto& name : changed) EXPECT_TRUE(Has(r.boxes, "文件[" + name + "]下载失败!")) << name;
    // Nothing installed, nothing left behind. The list signed here may be a second
    // younger than the one accepted at the install: its time may be kept.
    auto after = Folder(), kept = before;
    for (const char* own : {".fenwa-launcher/hash.pat.accepted", ".fenwa-launcher/hash.pat.kept", ".fenwa-launcher/hash.pat.kept.minisig"}) {
        after.erase(RunFolder() + own);
        kept.erase(RunFolder() + own);
    }
    for (const auto& [path, bytes] : after)
        if (!kept.count(path) || kept.at(path) != bytes) ADD_FAILURE() << "changed or new: " << path;
    for (const auto& [path, bytes] : kept)
        if (!after.count(path)) ADD_FAILURE() << "gone: " << path;

    faults = false;
    EXPECT_TRUE(RunUpdate().completed);
    ExpectTreeMatchesServer();
}
