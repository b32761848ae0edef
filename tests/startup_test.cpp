#include <gtest/gtest.h>

#include <zlib.h>

#include "app/LoadingMovie.h"
#include "app/StartupChecks.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

using namespace fltest;

TEST(StartupChecks, FileNameCheckComparesTheRightEndIgnoringCase) {
    EXPECT_TRUE(fl::CheckExecutableName("/opt/game/FLauncher_zelt.exe"));
    EXPECT_TRUE(fl::CheckExecutableName("/opt/game/flauncher_ZELT.EXE"));
    EXPECT_TRUE(fl::CheckExecutableName("/opt/game/XFLauncher_zelt.exe")) << "one extra letter in front";
    EXPECT_TRUE(fl::CheckExecutableName("  /opt/game/FLauncher_zelt.exe \n")) << "trimmed first";
    EXPECT_FALSE(fl::CheckExecutableName("/opt/game/FLauncher_zel.exe"));
    EXPECT_FALSE(fl::CheckExecutableName("/opt/game/Launcher.exe"));
    EXPECT_FALSE(fl::CheckExecutableName("x.exe"));
}

TEST(StartupChecks, LauncherFolderIsTheTextBeforeTheFirstQuote) {
    EXPECT_EQ(fl::ParseLauncherFolder("/opt/game/\"-x \"y\""), "/opt/game/");
    EXPECT_EQ(fl::ParseLauncherFolder("/opt/game/"), "");
    EXPECT_EQ(fl::ParseLauncherFolder(""), "");
    EXPECT_EQ(fl::ParseLauncherFolder("\"abc"), "");
    char a0[] = "prog", a1[] = "/opt/my game/\"", a2[] = "-v";
    char* argv[] = {a0, a1, a2};
    EXPECT_EQ(fl::JoinArguments(3, argv), "/opt/my game/\" -v");
}

TEST(StartupChecks, ExecutableExtensionsInAnyCase) {
    EXPECT_TRUE(fl::PathIsExe("/a/b.exe"));
    EXPECT_TRUE(fl::PathIsExe("/a/b.EXE"));
    EXPECT_FALSE(fl::PathIsExe("/a/FLuncher.dydr"));
    EXPECT_FALSE(fl::PathIsExe("/a.exe/b"));
}

TEST(StartupChecks, RenamedLauncherRefusesToRun) {
    TempDir runtime, install, data;
    const std::string renamed = install / "Other.exe";
    ASSERT_EQ(system(("cp '" FL_LAUNCHER "' '" + renamed + "'").c_str()), 0);
    ProcessOptions opts;
    opts.env = {{"XDG_RUNTIME_DIR", runtime.Path()}, {"XDG_DATA_HOME", data.Path()}};
    opts.workDir = install.Path();
    ProcessResult r = RunProcess(renamed, {}, opts);
    EXPECT_NE(r.err.find("Durnik: 请不要将登录器改名!"), std::string::npos) << r.err;
    EXPECT_NE(r.exitCode, 0);
    EXPECT_FALSE(Exists(data / "fenwazelt/FLuncher.dydr")) << "no relaunch after a refusal";
}

TEST(LoadingMovie, IsAValidCompressedMovieWrittenToTheCurrentFolder) {
    TempDir dir;
    char old[4096];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    WriteFile(dir / "loading.swf", "old contents that are longer than nothing at all, really");
    bool ok = fl::ExtractLoadingMovie();
    ASSERT_EQ(chdir(old), 0);
    ASSERT_TRUE(ok);

    std::string swf = ReadFile(dir / "loading.swf");
    ASSERT_GT(swf.size(), 8u);
    EXPECT_EQ(swf.substr(0, 3), "CWS");
    uint32_t declared = uint8_t(swf[4]) | uint8_t(swf[5]) << 8 | uint8_t(swf[6]) << 16 | uint32_t(uint8_t(swf[7])) << 24;
    std::string body(declared - 8, '\0');
    uLongf size = body.size();
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(body.data()), &size,
                         reinterpret_cast<const Bytef*>(swf.data() + 8), swf.size() - 8), Z_OK);
    EXPECT_EQ(size + 8, declared) << "the header's length is the uncompressed length";
    EXPECT_EQ(uint8_t(body[body.size() - 2]), 0) << "ends with the End tag";
}
