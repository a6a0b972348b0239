#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "cli_runner.h"
#include "zw_version.h"

namespace zw::test {
namespace {

// The version from the build, and the commit when the sources are a checkout.
TEST(CommandLine, VersionNamesTheBuild) {
  const CliResult r = RunCli({"--version"});
  EXPECT_EQ(r.status, 0);
  using testing::EndsWith;
  using testing::StartsWith;
  const std::string commit = ZW_COMMIT;  // as the build found it: none without git
  EXPECT_THAT(r.out, testing::AllOf(StartsWith(std::string("zanderwyn ") + ZW_VERSION),
                                    EndsWith(commit.empty() ? "\n" : ")\n")));
  EXPECT_EQ(r.out.find(" (commit " + commit) != std::string::npos, !commit.empty()) << r.out;
  EXPECT_EQ(r.ErrLines().size(), 0u);
  EXPECT_EQ(RunCli({"list", "--version"}).out, r.out);
}

}  // namespace
}  // namespace zw::test
