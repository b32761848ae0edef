// The update against a real HTTP server (nginx) and an archive made by Info-ZIP.
#include <gtest/gtest.h>

#include "tests/support/Nginx.h"
#include "tests/support/Process.h"
#include "tests/support/PublishTree.h"
#include "tests/support/TempDir.h"

using namespace fltest;

TEST(RealServer, AnUpdateFromNginxGivesTheExactTreeWithOddNamesAndAZip64Pack) {
    TempDir www, data, install;
    const std::string res = www / "res/game/";
    // The game's files; the pack lacks those with odd names, so they are fetched one by one.
    const std::vector<std::pair<std::string, std::string>> packed = {
        {"client.exe", "#!/bin/sh\n"}, {"data/a.dat", std::string(200000, 'a')}, {"data/sub/b.dat", "bee"}};
    const std::vector<std::pair<std::string, std::string>> odd = {
        {"%41.dat", "percent"}, {"A.dat", "capital a"}, {"h#x.dat", "hash"}, {"q?v=2.dat", "query"},
        {"sp ace.dat", "space"}, {"data/\xE4\xB8\xAD.dat", "middle"}};
    std::string list;
    for (const auto& [name, bytes] : packed) {
        WriteFile(www / ("tree/" + name), bytes);
        WriteFile(res + name, bytes);
        list += name + "|1\r\n";
    }
    for (const auto& [name, bytes] : odd) {
        WriteFile(res + name, bytes);
        list += name + "|1\r\n";
    }
    WriteFile(www / "tree/version.pat", list);
    WriteFile(res + "version.pat", list);
    WriteFile(res + "luncherVersion.pat", "version|1.0.6\r\n");
    WriteFile(res + "PackVersion.pat", "newversion|p2\r\nlastversion|p1\r\nfull_pack|full\r\n");
    ProcessOptions zipOpts;
    zipOpts.workDir = www / "tree";
    ASSERT_EQ(RunProcess("/usr/bin/zip", {"-q", "-r", "-fz", res + "full.zip", "."}, zipOpts).exitCode, 0);

    SignTree(res);
    Nginx nginx(www.Path());
    if (!nginx.Running()) GTEST_SKIP() << "nginx is not installed";
    WriteFile(install / "values.txt", "'rsurl':'" + nginx.Url("/res/game/") + "','preloadver':'7','vm':'x'");
    ProcessOptions o;
    o.env = {{"XDG_DATA_HOME", data.Path()}};
    ProcessResult r = RunProcess(FL_CLI, {"update", "--install-dir", install.Path(), "--page-values",
                                          install / "values.txt", "--no-client"}, o);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string run = data / "fenwazelt/game/";
    for (const auto& list : {packed, odd})
        for (const auto& [name, bytes] : list) EXPECT_EQ(ReadFile(run + name), bytes) << name;
    EXPECT_EQ(ReadFile(run + "version.pat"), list);
    const std::string log = nginx.AccessLog();
    EXPECT_NE(log.find("GET /res/game/%2541.dat?v=1 "), std::string::npos) << log;
    EXPECT_NE(log.find("GET /res/game/q%3Fv%3D2.dat?v=1 "), std::string::npos) << log;
    EXPECT_NE(log.find("\" 206 "), std::string::npos) << "the second half came as a range";
}
