// The update engine as a library: it includes nothing of the application or the
// windows, and a host of a test's own drives a whole update through it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <regex>

#include "tests/support/ChunkedFixture.h"
#include "update/Downloader.h"
#include "update/UpdateHost.h"

using namespace fltest;
namespace fs = std::filesystem;

namespace {

// Everything the engine tells, in order, as "kind: text" lines.
class CRecordingHost : public fl::IUpdateHost {
public:
    void ShowStatusText(const std::string& text) override { Note("status: " + text); }
    void SetProgressPercent(int) override {}
    void SetProgressRange(int lower, int upper) override { Note("range: " + std::to_string(lower) + "-" + std::to_string(upper)); }
    void ShowRateLine(const std::string&) override {}
    void ShowTransferNote(const std::string& text) override { Note("note: " + text); }
    void ShowMessage(const std::string& text) override { Note("message: " + text); }
    void SetStep(int step) override { Note("step: " + std::to_string(step)); }
    std::string GetResFolder() const override {
        std::lock_guard lock(m_cs);
        return m_strResFolder;
    }
    void SetResFolder(const std::string& folder) override {
        {
            std::lock_guard lock(m_cs);
            m_strResFolder = folder;
        }
        Note("folder: " + folder);
    }
    void LauncherProven(const std::string&) override { Note("proven"); }
    void UpdateFinished() override { Note("finished"); }
    void LaunchGameClient() override { Note("client"); }
    void PostCloseToMainWindow() override { Note("close"); }
    void RestartLauncher() override { Note("restart"); }
    void FinishUpdate() override { Note("end"); }

    std::vector<std::string> Events() const {
        std::lock_guard lock(m_cs);
        return m_events;
    }
    // The events with `prefix`, in order, the same one twice in a row once.
    std::vector<std::string> Only(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const std::string& e : Events())
            if (e.rfind(prefix, 0) == 0 && (out.empty() || out.back() != e)) out.push_back(e);
        return out;
    }

private:
    void Note(const std::string& line) {
        std::lock_guard lock(m_cs);
        m_events.push_back(line);
    }
    mutable std::mutex m_cs;
    std::vector<std::string> m_events;
    std::string m_strResFolder;
};

// Where `needles` stand in `events`, in that order (-1 when one is missing).
std::vector<long> Positions(const std::vector<std::string>& events, const std::vector<std::string>& needles) {
    std::vector<long> at;
    size_t from = 0;
    for (const std::string& needle : needles) {
        const auto it = std::find(events.begin() + long(from), events.end(), needle);
        at.push_back(it == events.end() ? -1 : long(it - events.begin()));
        if (it != events.end()) from = size_t(it - events.begin()) + 1;
    }
    return at;
}

}  // namespace

// Nothing the engine's library is built from reaches up into the application,
// the windows or the login page.
TEST(EngineBoundary, TheEngineIncludesNothingOfTheApplicationOrTheWindows) {
    const std::regex above(R"re(#\s*include\s*"(app|ui|controls|cli|publish|demo)/|#\s*include\s*"web/(?!PageValue\.h))re");
    int files = 0;
    for (const char* folder : {"update", "platform"})
        for (const auto& e : fs::recursive_directory_iterator(std::string(FL_SOURCE_DIR) + "/" + folder)) {
            if (!e.is_regular_file()) continue;
            const std::string ext = e.path().extension().string();
            if (ext != ".cpp" && ext != ".h") continue;
            ++files;
            std::ifstream in(e.path());
            std::string line;
            for (int n = 1; std::getline(in, line); ++n)
                EXPECT_FALSE(std::regex_search(line, above)) << e.path().string() << ":" << n << ": " << line;
        }
    EXPECT_GT(files, 50);
}

// The runner is a front end of its own over the engine, beside the window's:
// it makes no application object.
TEST(EngineBoundary, TheRunnerHasAHostOfItsOwn) {
    int files = 0;
    for (const auto& e : fs::directory_iterator(std::string(FL_SOURCE_DIR) + "/cli")) {
        if (e.path().extension() != ".cpp" && e.path().extension() != ".h") continue;
        ++files;
        std::ifstream in(e.path());
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text.find("CWobrApp"), std::string::npos) << e.path().string();
        EXPECT_EQ(text.find("app/WobrApp.h"), std::string::npos) << e.path().string();
    }
    EXPECT_GE(files, 3);
}

struct EngineHostFixture : ChunkedFixture {};

// A whole update through the engine with a host of the test's own: no
// application object, no window, a real server.
TEST_F(EngineHostFixture, AWholeUpdateTellsItsHostEveryStepInOrder) {
    WriteFile(game / "client.exe", RandomBytes(4096, 1));
    for (int i = 0; i < 12; ++i) WriteFile(game / ("data/f" + std::to_string(i) + ".dat"), RandomBytes(64 << 10, unsigned(10 + i)));
    Publish("r1");
    setenv("XDG_DATA_HOME", data.Path().c_str(), 1);

    CRecordingHost host;
    fl::UpdateSettings settings;
    settings.strPinnedKeys = fldemo::DemoPublicKeyLine();
    {
        fl::CDownloader engine(host, settings);
        ASSERT_TRUE(engine.Initialize("'rsurl':'" + nginx->Url("/res/fenwa/") + "','preloadver':'1','vm':'a'"));
        engine.StartDownLoadTask();
        EXPECT_TRUE(engine.m_bCompleted);
    }
    ExpectRelease();
    const std::vector<std::string> events = host.Events();
    std::string all;
    for (const std::string& e : events) all += e + "\n";
    if (getenv("FL_SHOW_EVENTS")) std::printf("%s", all.c_str());
    // The run folder first; the end in the order the launcher closes in.
    const std::vector<long> at = Positions(events, {"folder: fenwa/", "status: 更新完成,正在启动游戏主程序...", "proven",
                                                    "finished", "client", "close"});
    for (size_t i = 0; i < at.size(); ++i) EXPECT_GE(at[i], 0) << "event " << i << " missing:\n" << all;
    EXPECT_EQ(host.Only("message:").size(), 0u) << all;
    EXPECT_EQ(host.Only("restart").size(), 0u) << all;
    // The steps the platform is told of, in their order.
    const std::vector<std::string> steps = host.Only("step: ");
    ASSERT_FALSE(steps.empty()) << all;
    for (size_t i = 1; i < steps.size(); ++i)
        EXPECT_LT(std::atoi(steps[i - 1].c_str() + 6), std::atoi(steps[i].c_str() + 6)) << all;

    // Again: the folder is whole; the host hears the same end and nothing is fetched but the lists.
    CRecordingHost again;
    {
        fl::CDownloader engine(again, settings);
        ASSERT_TRUE(engine.Initialize("'rsurl':'" + nginx->Url("/res/fenwa/") + "','preloadver':'1','vm':'a'"));
        nginx->ClearAccessLog();
        engine.StartDownLoadTask();
        EXPECT_TRUE(engine.m_bCompleted);
    }
    EXPECT_EQ(nginx->BytesSent(".chunks"), 0);
    EXPECT_GE(Positions(again.Events(), {"status: 更新完成,正在启动游戏主程序...", "finished", "client", "close"}).back(), 0);
}
