// The command line over the indexing run: the drives listing, the stored
// selection and first run, and a damaged or refused settings file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli/cli_runner.h"

// POSIX only: the settings file and image bindings are what is tested here.
#ifndef _WIN32
namespace zw::test {
namespace {

namespace fs = std::filesystem;

// Runs the command line with its settings in `config`.
CliResult RunWithConfig(const std::string& config, std::vector<std::string> args) {
  args.insert(args.begin(), {"XDG_CONFIG_HOME=" + config, ZW_CLI});
  return RunProgram("env", args);
}

std::string FreshConfig(const std::string& name) {
  const std::string dir = ScratchDir("cli_indexing_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

TEST(CliIndexing, DrivesListsLabelSizesAndNtfs) {
  const std::string image = CharlieImage();
  ASSERT_TRUE(fs::exists(image));
  const std::string blank = ScratchDir("cli_indexing") + "/blank.img";
  WriteFile(blank, std::string(1 << 20, '\0'));
  const std::string missing = blank + ".missing";
  CliResult r = RunWithConfig(
      FreshConfig("drives"),
      {"--drive", "K=" + blank, "--drive", "C=" + image, "--drive", "M=" + missing, "drives"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto lines = r.OutLines();
  ASSERT_EQ(lines.size(), 4u) << r.out;
  EXPECT_EQ(lines[0], "drive\tlabel\tfile system\ttotal\tfree\tindexable");
  EXPECT_EQ(lines[1], "C:\\\tCharlie\tNTFS\t39.9 MB\t31.2 MB\tyes (NTFS)");
  EXPECT_EQ(lines[2], "K:\\\t\tUnknown\t1.0 MB\t0 B\tno (not NTFS)");
  EXPECT_EQ(lines[3], "M:\\\t\tUnknown\t0 B\t0 B\tno (no such file)");
}

TEST(CliIndexing, FirstRunWithoutDrivesMarksTheFirstRunOnly) {
  const std::string config = FreshConfig("first");
  CliResult r = RunWithConfig(config, {"list"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("no volume given"), std::string::npos) << r.err;
  const std::string store = ReadFile(config + "/zanderwyn/registry");
  EXPECT_NE(store.find("\"FirstRunComplete\"=dword:00000001"), std::string::npos) << store;
  EXPECT_EQ(store.find("SelectedDrives"), std::string::npos) << store;
}

TEST(CliIndexing, StoredSelectionNamesUnboundDrives) {
  const std::string config = FreshConfig("stored");
  fs::create_directories(config + "/zanderwyn");
  WriteFile(config + "/zanderwyn/registry",
            "Zanderwyn registry 1\n[Software\\Zanderwyn]\n\"SelectedDrives\"=sz:\"q\"\n"
            "\"FirstRunComplete\"=dword:00000001\nend\n");
  CliResult r = RunWithConfig(config, {"list"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Q: (selected in the settings, not bound): no such volume"),
            std::string::npos)
      << r.err;
}

TEST(CliIndexing, DamagedSettingsAreReportedOnceAndKept) {
  const std::string config = FreshConfig("damaged");
  fs::create_directories(config + "/zanderwyn");
  const std::string damaged = "Zanderwyn registry 1\n[Software\\Zanderwyn]\n\"FastSearch\"=dwo";
  WriteFile(config + "/zanderwyn/registry", damaged);
  CliResult r = RunWithConfig(config, {"--drive", "C=" + CharlieImage(), "list"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(r.out.empty());
  const auto errors = r.ErrLines();
  ASSERT_EQ(errors.size(), 1u) << r.err;
  EXPECT_NE(errors[0].find("registry.damaged"), std::string::npos) << errors[0];
  EXPECT_EQ(ReadFile(config + "/zanderwyn/registry.damaged"), damaged);
  // The next run finds nothing wrong.
  r = RunWithConfig(config, {"--drive", "C=" + CharlieImage(), "list"});
  EXPECT_EQ(r.err, "");
}

TEST(CliIndexing, ARefusedSettingsFolderIsReportedOnceAndLeftAlone) {
  const std::string config = FreshConfig("refused");
  fs::create_directories(config + "/elsewhere");
  fs::create_directory_symlink(config + "/elsewhere", config + "/zanderwyn");
  CliResult r = RunWithConfig(config, {"--drive", "C=" + CharlieImage(), "list"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(r.out.empty());
  EXPECT_EQ(r.ErrLines(),
            std::vector<std::string>{"zanderwyn: settings refused: " + config +
                                     "/zanderwyn is a symbolic link; default settings were "
                                     "used and nothing was saved"});
  EXPECT_TRUE(fs::is_empty(config + "/elsewhere"));
}

TEST(CliIndexing, ListMatchesTheDriveIndexedAlone) {
  const std::string image = CharlieImage();
  CliResult both = RunWithConfig(FreshConfig("both"),
                                 {"--drive", "E=" + image, "--drive", "D=" + image, "list"});
  ASSERT_EQ(both.status, 0) << both.err;
  CliResult one = RunWithConfig(FreshConfig("one"), {"--drive", "D=" + image, "list"});
  ASSERT_EQ(one.status, 0) << one.err;
  const auto lines = both.OutLines();
  const auto alone = one.OutLines();
  ASSERT_EQ(lines.size(), 2 * alone.size());
  for (size_t i = 0; i < alone.size(); ++i) {
    EXPECT_EQ(lines[i], alone[i]);  // D first
    EXPECT_EQ(lines[alone.size() + i], "E" + alone[i].substr(1));
  }
}

}  // namespace
}  // namespace zw::test
#endif
