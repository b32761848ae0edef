#pragma once
// What an engine test needs around the engine: an application object with a
// recording progress host, message boxes captured, a main window stand-in, a
// data folder of its own and a loopback resource server.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/ProgressHost.h"
#include "app/WobrApp.h"
#include "platform/MessageBox.h"
#include "tests/support/FakeMainWindow.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestServer.h"
#include "update/Downloader.h"

namespace fltest {

class RecordingProgress : public fl::IProgressHost {
public:
    void ShowStatusText(const std::string& text) override { Add(m_status, text); }
    void SetProgressPercent(int percent) override {
        std::lock_guard lock(m_mutex);
        m_percents.push_back(percent);
    }
    void SetProgressRange(int lower, int upper) override {
        std::lock_guard lock(m_mutex);
        m_ranges.push_back({lower, upper});
    }
    void Finish() override { ++m_nFinished; }
    void Abort() override { ++m_nAborted; }
    void ShowRateLine(const std::string& text) override { Add(m_rateLines, text); }
    std::vector<std::string> RateLines() {
        std::lock_guard lock(m_mutex);
        return m_rateLines;
    }

    std::vector<std::string> Status() {
        std::lock_guard lock(m_mutex);
        return m_status;
    }
    bool HasStatus(const std::string& text) {
        auto s = Status();
        return std::find(s.begin(), s.end(), text) != s.end();
    }
    std::vector<int> Percents() {
        std::lock_guard lock(m_mutex);
        return m_percents;
    }
    std::vector<std::pair<int, int>> Ranges() {
        std::lock_guard lock(m_mutex);
        return m_ranges;
    }
    std::atomic<int> m_nFinished{0}, m_nAborted{0};

private:
    void Add(std::vector<std::string>& v, const std::string& s) {
        std::lock_guard lock(m_mutex);
        v.push_back(s);
    }
    std::mutex m_mutex;
    std::vector<std::string> m_status, m_rateLines;
    std::vector<int> m_percents;
    std::vector<std::pair<int, int>> m_ranges;
};

class CapturedBoxes : public fl::IMessageBoxHost {
public:
    fl::BoxResult Show(const std::string& text, const std::string&, fl::BoxIcon, bool) override {
        std::lock_guard lock(m_mutex);
        m_texts.push_back(text);
        return fl::BoxResult::Ok;
    }
    std::vector<std::string> Texts() {
        std::lock_guard lock(m_mutex);
        return m_texts;
    }
    bool Has(const std::string& text) {
        auto t = Texts();
        return std::find(t.begin(), t.end(), text) != t.end();
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_texts;
};

struct EngineFixture : ::testing::Test {
    TempDir data;
    ScopedEnv xdg{"XDG_DATA_HOME", data.Path()};
    TestServer server;
    RecordingProgress progress;
    CapturedBoxes boxes;
    FakeMainWindow window;
    fl::CWobrApp app;
    std::unique_ptr<fl::CDownloader> engine;

    void SetUp() override {
        fl::SetMessageBoxHost(&boxes);
        app.SetMainDlg(&window);
        app.SetProgressHost(&progress);
        app.m_strPinnedKeys.clear();  // the test server publishes no signed list
    }
    void TearDown() override {
        engine.reset();
        fl::SetMessageBoxHost(nullptr);
    }
    // The resource URL's folder is "res": the run folder is <data>/fenwazelt/res/.
    bool StartEngine(const std::string& base = "/res/", const std::string& extra = "") {
        engine = std::make_unique<fl::CDownloader>(app, app.EngineSettings());
        return engine->Initialize("'rsurl':'" + server.Url(base) + "','preloadver':'7','vm':'b'" + extra);
    }
    std::string RunFolder() const { return data.Path() + "/fenwazelt/res/"; }
};

}  // namespace fltest
