// scripts/demo as a newcomer runs it on a machine without a display: every stage
// of a player's session is on its screenshots.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "demo/DemoPlatform.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

using namespace fltest;

namespace {

// Pixels that differ between two pictures (ImageMagick's count).
long long PixelsApart(const std::string& a, const std::string& b) {
    const std::string out = Shell("compare -metric AE '" + a + "' '" + b + "' null: 2>&1");
    return std::atoll(out.c_str());
}

}  // namespace

// The demo's slow pack holds for the whole transfer: two connections reading it
// at once get the rate between them, not the rate each.
TEST(DemoPlatform, ACapOnResourcesHoldsForEveryConnectionTogether) {
    fldemo::ContentOptions options;
    options.files = 4;
    options.fileSize = 150000;
    options.packLacks = 0;
    fldemo::CDemoPlatform platform(fldemo::BuildDemoContent(options));
    const long long size = (long long)platform.Content().fullPack.size();
    ASSERT_GT(size, 300000);
    platform.CapResources({"fenwa_full.zip", "p2.zip"}, 250000);
    const std::string url = platform.ResourceUrl() + "fenwa_full.zip";
    const std::string half = std::to_string(size / 2);
    const auto start = std::chrono::steady_clock::now();
    Shell("curl -s -o /dev/null -r 0-" + half + " " + url + " & curl -s -o /dev/null -r " + half + "- " + url + "; wait");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // At least the time the whole pack takes at the cap (one piece may go early).
    EXPECT_GT(seconds, double(size - 25000) / 250000.0 - 0.2);
}

TEST(DemoScript, ItsThreeScreenshotsShowTheLoginThePanelAndTheEnd) {
    if (Shell("for p in Xvfb import compare; do command -v $p; done | wc -l") != "3\n") GTEST_SKIP() << "Xvfb or ImageMagick is missing";
    TempDir demo;
    const std::string out = Shell("cd " FL_SOURCE_DIR " && env -u DISPLAY FENWA_DEMO_BUILD=" FL_BINARY_DIR
                                  " FENWA_DEMO_DIR='" + demo.Path() + "' scripts/demo 2>&1; echo EXIT=$?");
    ASSERT_NE(out.find("EXIT=0"), std::string::npos) << out;
    EXPECT_NE(out.find("client.exe started"), std::string::npos) << out;
    const std::string shots = demo.Path() + "/shots/";
    const std::string names[] = {"1-login-view", "2-progress-panel", "3-finished"};
    for (int i = 0; i < 3; ++i) {
        const std::string shot = shots + names[i] + ".png";
        EXPECT_GT(PixelsApart(shot, shots + "0-empty.png"), 10000) << names[i] << " is an empty screen";
        for (int j = 0; j < i; ++j)
            EXPECT_GT(PixelsApart(shot, shots + names[j] + ".png"), 100) << names[i] << " is " << names[j];
    }
}
