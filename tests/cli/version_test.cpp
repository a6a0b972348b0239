#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "cli_runner.h"

namespace zw::test {
namespace {

// The version from the build, and the commit when the sources are a checkout.
TEST(CommandLine, VersionNamesTheBuild) {
  const CliResult r = RunCli({"--version"});
  EXPECT_EQ(r.status, 0);
  using testing::EndsWith;
  using testing::StartsWith;
  const bool checkout = std::filesystem::exists(std::string(ZW_SOURCE_DIR) + "/.git");
  EXPECT_THAT(r.out, testing::AllOf(StartsWith("zanderwyn 1."), EndsWith(checkout ? ")\n" : "\n")));
  EXPECT_EQ(r.out.find(" (commit ") != std::string::npos, checkout) << r.out;
  EXPECT_EQ(r.ErrLines().size(), 0u);
  EXPECT_EQ(RunCli({"list", "--version"}).out, r.out);
}

}  // namespace
}  // namespace zw::test
