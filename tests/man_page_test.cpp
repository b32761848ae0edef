// The manual pages and --help name the same options: a page that drifts from
// the program misleads exactly the operator who reads it.
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

using namespace fltest;

namespace {

std::set<std::string> Options(const std::string& text) {
    std::set<std::string> found;
    static const std::regex option("--[a-z][a-z-]*[a-z]");
    for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it) found.insert(it->str());
    return found;
}

void ExpectAgree(const std::string& program, const std::string& page) {
    const ProcessResult help = RunProcess(program, {"--help"});
    ASSERT_EQ(help.exitCode, 0) << help.err;
    const std::string source = ReadFile(std::string(FL_SOURCE_DIR) + "/docs/man/" + page);
    ASSERT_FALSE(source.empty()) << page;
    EXPECT_EQ(Options(help.out), Options(source)) << page << " and " << program << " --help";
}

}  // namespace

TEST(ManualPages, NameTheOptionsHelpNames) {
    ExpectAgree(FL_CLI, "flauncher-cli.6.scd");
    ExpectAgree(FL_PUBLISH, "fenwa-publish.1.scd");
}
