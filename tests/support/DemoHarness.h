#pragma once
// An update run against the demo platform, in-process: the engine as the window
// would drive it, with an install folder and a data folder of its own.
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "demo/DemoPlatform.h"
#include "tests/support/EngineHarness.h"

namespace fltest {

struct DemoFixture : ::testing::Test {
    TempDir data, install;
    ScopedEnv xdg{"XDG_DATA_HOME", data.Path()};
    fldemo::ContentOptions options;
    std::unique_ptr<fldemo::CDemoPlatform> platform;
    CapturedBoxes boxes;

    // What one run left behind.
    struct Run {
        bool completed = false;
        bool changed = false;
        int finished = 0;
        int closes = 0;
        std::vector<std::string> status, boxes, requests;
    };

    void SetUp() override {
        fl::SetMessageBoxHost(&boxes);
        options.files = 12;
        options.fileSize = 3000;
    }
    void TearDown() override { fl::SetMessageBoxHost(nullptr); }

    void StartPlatform() { platform = std::make_unique<fldemo::CDemoPlatform>(fldemo::BuildDemoContent(options)); }
    fldemo::DemoContent& Content() { return platform->Content(); }
    std::string RunFolder() const { return data.Path() + "/fenwazelt/fenwa/"; }

    // The resource address the login answer names (the platform's when empty).
    std::string resourceUrl;
    // The keys the launcher pins (unset: the build's, which the platform signs with).
    std::optional<std::string> pinnedKeys;
    // A server of before the hash list, and a launcher without keys.
    void WithoutHashList() {
        pinnedKeys = "";
        Content().serveHashList = false;
    }

    // An application as the runner sets it up, logged in to the platform.
    void Wire(fl::CWobrApp& app, FakeMainWindow& window, RecordingProgress& progress) {
        platform->ClearLog();
        app.SetMainDlg(&window);
        app.SetProgressHost(&progress);
        app.SetLauncherFolder(install.Path() + "/");
        app.m_bSkipClientLaunch = true;
        app.m_bHeadless = true;
        if (pinnedKeys) app.m_strPinnedKeys = *pinnedKeys;
        const std::string rsurl = resourceUrl.empty() ? platform->ResourceUrl() : resourceUrl;
        window.GameParams().Assign("'rsurl':'" + rsurl + "','preloadver':'1','vm':'a','pt':'p'");
    }

    Run RunUpdate() {
        RecordingProgress progress;
        FakeMainWindow window;
        fl::CWobrApp app;
        Wire(app, window, progress);
        size_t boxesBefore = boxes.Texts().size();
        app.StartDownloader();
        Run r;
        if (fl::CDownloader* e = app.Downloader()) {
            r.completed = e->m_bCompleted;
            r.changed = e->m_bChanged;
        }
        r.finished = progress.m_nFinished;
        r.closes = window.m_nCloses;
        r.status = progress.Status();
        auto all = boxes.Texts();
        r.boxes.assign(all.begin() + long(boxesBefore), all.end());
        r.requests = platform->ResourceRequests();
        return r;
    }

    // The run folder holds every listed file with the server's bytes.
    void ExpectTreeMatchesServer() {
        for (const auto& [name, bytes] : Content().files) {
            std::string local = RunFolder() + fldemo::DemoContent::LocalName(name);
            const std::string got = ReadFile(local);
            EXPECT_TRUE(got == bytes) << local << " has " << got.size() << " bytes, expected " << bytes.size();
        }
    }
    static bool Has(const std::vector<std::string>& v, const std::string& s) {
        return std::find(v.begin(), v.end(), s) != v.end();
    }
};

}  // namespace fltest
