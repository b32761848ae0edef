#include <gtest/gtest.h>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

using namespace fltest;

namespace {

ProcessResult RunHelper(const TempDir& dir, const std::string& how) {
    const std::string helper = dir / "crash_helper";
    if (!Exists(helper)) system(("cp '" FL_CRASH_HELPER "' '" + helper + "'").c_str());
    return RunProcess(helper, {how});
}

}  // namespace

TEST(CrashFilter, AFaultOnAWorkerThreadWritesADumpNamingTheFunction) {
    TempDir dir;
    ProcessResult r = RunHelper(dir, "segv-thread");
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("*** Unhandled Exception! ***"), std::string::npos) << r.err;
    std::string dump = ReadFile(dir / "luncher.dmp");
    EXPECT_NE(dump.find("SIGSEGV"), std::string::npos) << dump;
    EXPECT_NE(dump.find("CrashHelperFaultingFunction"), std::string::npos) << dump;
    EXPECT_NE(dump.find("thread: "), std::string::npos);
    EXPECT_NE(dump.find("registers:"), std::string::npos);
    EXPECT_NE(dump.find("modules:"), std::string::npos);
    EXPECT_NE(dump.find("crash_helper"), std::string::npos) << "the module list names the program";
}

TEST(CrashFilter, ASecondFaultReplacesTheDump) {
    TempDir dir;
    RunHelper(dir, "segv");
    ASSERT_NE(ReadFile(dir / "luncher.dmp").find("SIGSEGV"), std::string::npos);

    ProcessResult r = RunHelper(dir, "throw");
    EXPECT_NE(r.exitCode, 0);
    std::string dump = ReadFile(dir / "luncher.dmp");
    EXPECT_NE(dump.find("helper exception text"), std::string::npos) << dump;
    EXPECT_NE(dump.find("SIGABRT"), std::string::npos);
    EXPECT_EQ(dump.find("SIGSEGV"), std::string::npos) << "the old dump is gone";

    r = RunHelper(dir, "fpe");
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(ReadFile(dir / "luncher.dmp").find("SIGFPE"), std::string::npos);
}
