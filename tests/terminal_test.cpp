// The runner on a real terminal (tmux), against a server that limits its rate
// as nginx does, in bursts: the bar stays on screen, its speed is the real one,
// its time left comes true.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <regex>

#include "tests/support/Nginx.h"
#include "tests/support/Process.h"
#include "tests/support/PublishTree.h"

using namespace fltest;

namespace {

double Seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Capture {
    double t = 0;
    bool bar = false;           // the bottom line is the bar
    double received = -1;       // MiB, from the counting text
    double total = -1;
    double rate = -1;           // MiB/s shown
    double left = -1;           // seconds shown
};

Capture Read(const std::string& screen, double t) {
    Capture c;
    c.t = t;
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = screen.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(screen.substr(start, nl - start));
    while (!lines.empty() && lines.back().find_first_not_of(' ') == std::string::npos) lines.pop_back();
    if (lines.empty()) return c;
    const std::string& last = lines.back();
    static const std::regex bar(R"(^\[[# ]+\] +\d+%)");
    c.bar = std::regex_search(last, bar);
    std::smatch m;
    if (std::regex_search(last, m, std::regex(R"(([0-9.]+)M/([0-9.]+)M)"))) {
        c.received = std::stod(m[1]);
        c.total = std::stod(m[2]);
    }
    if (std::regex_search(last, m, std::regex(R"(([0-9.]+) MiB/s)"))) c.rate = std::stod(m[1]);
    if (std::regex_search(last, m, std::regex(R"(剩余 (\d+)分(\d+)秒)")))
        c.left = std::stod(m[1]) * 60 + std::stod(m[2]);
    else if (std::regex_search(last, m, std::regex(R"(剩余 (\d+)秒)")))
        c.left = std::stod(m[1]);
    return c;
}

// `limit` for each connection of nginx's; `files` of 1 MiB; the two workers together get `delivered` MiB/s.
void BarAgainstBursts(const std::string& limit, int files, double delivered) {
    if (Shell("command -v tmux").empty()) GTEST_SKIP() << "tmux is not installed";
    TempDir www, install, data;
    Nginx nginx(www.Path(), "limit_rate " + limit + ";");
    if (!nginx.Running()) GTEST_SKIP() << "nginx is not installed";
    fldemo::ContentOptions options;
    options.files = files;
    options.fileSize = 1 << 20;
    options.packLacks = 0;
    const fldemo::DemoContent content = fldemo::BuildDemoContent(options);
    PublishTree(content, www / "res/fenwa");
    WriteFile(install / "values.txt", "'rsurl':'" + nginx.Url("/res/fenwa/") + "','preloadver':'1','vm':'a'");

    const std::string socket = "fl-test-" + std::to_string(getpid());
    const std::string command = "env XDG_DATA_HOME=" + data.Path() + " XDG_RUNTIME_DIR=" + data.Path() + " " FL_CLI
                                " update --install-dir " + install.Path() + " --page-values " + (install / "values.txt") +
                                " --no-client; echo EXIT=$?; sleep 60";
    Shell("tmux -L " + socket + " new-session -d -x 120 -y 30 '" + command + "'");
    std::vector<Capture> shots;
    const double begin = Seconds();
    std::string screen;
    while (Seconds() - begin < 90) {
        screen = Shell("tmux -L " + socket + " capture-pane -p -t 0");
        // The last screen counts too: the stages after the download may all end between two captures.
        shots.push_back(Read(screen, Seconds()));
        if (screen.find("EXIT=") != std::string::npos) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    Shell("tmux -L " + socket + " kill-server");
    ASSERT_NE(screen.find("EXIT=0"), std::string::npos) << screen;

    // The download: from the first count to the first complete one.
    double from = -1, to = -1;
    for (const Capture& c : shots) {
        if (c.received >= 0 && from < 0) from = c.t;
        // Its end: the count complete, or the next stage in its place.
        if (from > 0 && to < 0 && (c.received < 0 || c.received >= c.total)) to = c.t;
    }
    if (getenv("FL_SHOW_SCREEN")) std::printf("%s\n", screen.c_str());
    ASSERT_GT(from, 0);
    ASSERT_GT(to, from + 8) << "long enough to judge";
    // What really came: the counting text's rise over the download (both workers flowing).
    const Capture* first = nullptr;
    const Capture* last = nullptr;
    for (const Capture& c : shots)
        if (c.t >= from && c.t < to && c.received >= 0) (first ? last : first) = &c;
    ASSERT_TRUE(first && last);
    const double real = (last->received - first->received) / (last->t - first->t);
    EXPECT_NEAR(real, delivered, delivered * 0.1) << "both connections deliver";
    int during = 0, barShown = 0, rates = 0, lefts = 0;
    for (const Capture& c : shots) {
        if (c.t < from || c.t >= to) continue;
        ++during;
        barShown += c.bar;
        // Past the first 5 s and before the end.
        if (c.rate > 0 && c.t > from + 5 && c.t < to - 2) {
            ++rates;
            EXPECT_NEAR(c.rate, real, real * 0.1) << "at " << c.t - from << " s";
        }
        if (c.left >= 0) {
            ++lefts;
            const double actual = to - c.t;
            // Whole seconds shown, captures 0.5 s apart: up to 1.5 s off before any estimate is.
            EXPECT_NEAR(c.left, actual, std::max(2.0, actual * 0.2)) << "at " << c.t - from << " s";
        }
    }
    std::printf("[ terminal ] %d captures during the download, the bar in %d, %d speeds, %d times left\n", during,
                barShown, rates, lefts);
    EXPECT_GE(barShown, during - 1) << "the bar is on screen the whole time";
    EXPECT_GT(rates, 8);
    EXPECT_GT(lefts, 2);
}

}  // namespace

// nginx's limit_rate sends in bursts on each connection; the two workers read at once.
TEST(Terminal, UnderTmuxTheBarStaysAndItsSpeedAndTimeLeftAreRightAgainstBursts) { BarAgainstBursts("1m", 36, 2.0); }

TEST(Terminal, TheSpeedAndTimeLeftHoldAtAnotherRateAndSizeOfOneRange) {
    BarAgainstBursts("2m", 128, 4.0);  // a fresh install of one range: its two halves still read at once
}
