#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <regex>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "base/utf.h"
#include "cli/cli_runner.h"
#include "support/ntfs_builder.h"

namespace zw::test {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;

// What Windows put on this volume, metadata left out, in MFT record order.
const std::vector<std::string> kCharlie = {
    "D:\\System Volume Information",
    "D:\\System Volume Information\\WPSettings.dat",
    "D:\\Nine.txt",
};

std::vector<std::string> WithLetter(std::vector<std::string> lines, char letter) {
  for (std::string& line : lines) line[0] = letter;
  return lines;
}

std::string ScratchFile(const std::string& name, const std::string& bytes) {
  const std::string path = ScratchDir("cli-" + name) + "/" + name;
  WriteFile(path, bytes);
  return path;
}

// A copy of the charlie volume with `patch` applied at `offset`.
std::string PatchedCharlie(const std::string& name, size_t offset, const std::string& patch) {
  std::string bytes = ReadFile(CharlieImage());
  bytes.replace(offset, patch.size(), patch);
  return ScratchFile(name, bytes);
}

class ListCommand : public testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "image files are bound to letters only on POSIX";
#endif
    ASSERT_FALSE(CharlieImage().empty()) << RealImageProblem(RealImage::Charlie);
  }
};

TEST_F(ListCommand, ListsARealVolumeWithoutItsMetadata) {
  const CliResult r = RunCli({"--drive", "D=" + CharlieImage(), "list"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.OutLines(), kCharlie);
  EXPECT_EQ(r.err, "");
}

TEST_F(ListCommand, GlobalOptionsMayFollowTheCommand) {
  const CliResult a = RunCli({"list", "--drive=d=" + CharlieImage()});
  EXPECT_EQ(a.status, 0) << a.err;
  EXPECT_EQ(a.OutLines(), kCharlie);
}

TEST_F(ListCommand, SeveralDrivesInLetterOrderWhateverTheArgumentOrder) {
  const CliResult r =
      RunCli({"--drive", "F=" + CharlieImage(), "--drive", "E=" + CharlieImage(), "list"});
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<std::string> expected = WithLetter(kCharlie, 'E');
  for (const std::string& line : WithLetter(kCharlie, 'F')) expected.push_back(line);
  EXPECT_EQ(r.OutLines(), expected);
}

TEST_F(ListCommand, ALaterDriveForTheSameLetterReplacesTheEarlierOne) {
  const std::string missing = BinaryDir() + "/test-scratch/no-such-volume.img";
  const CliResult r = RunCli({"--drive", "D=" + missing, "list", "--drive", "d=" + CharlieImage()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.OutLines(), kCharlie);
}

TEST_F(ListCommand, APartitionOfAWholeDiskImage) {
  const std::string disk = WithMbr(CharlieImage(), 2, "charlie-mbr.img");
  const CliResult r = RunCli({"--drive", "D=" + disk + ":2", "list"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.OutLines(), kCharlie);

  const CliResult wrong = RunCli({"--drive", "D=" + disk + ":1", "list"});
  EXPECT_EQ(wrong.status, 2);
  EXPECT_THAT(wrong.err, HasSubstr(disk));
  EXPECT_EQ(wrong.out, "");
}

TEST_F(ListCommand, LongAddsNameFolderSizeAndDate) {
  const CliResult r = RunCli({"--drive", "D=" + CharlieImage(), "list", "--long"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto lines = r.OutLines();
  ASSERT_EQ(lines.size(), 3u);
  const std::regex date(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2})");
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : lines) {
    std::vector<std::string> cells;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
      cells.push_back(line.substr(start, tab - start));
    }
    cells.push_back(line.substr(start));
    ASSERT_EQ(cells.size(), 5u) << line;
    EXPECT_TRUE(std::regex_match(cells[4], date)) << cells[4];
    rows.push_back(cells);
  }
  EXPECT_THAT(rows[0],
              ElementsAre(kCharlie[0], "System Volume Information", "D:", "<DIR>", testing::_));
  EXPECT_THAT(rows[1], ElementsAre(kCharlie[1], "WPSettings.dat", "D:\\System Volume Information",
                                   testing::_, testing::_));
  EXPECT_THAT(rows[2], ElementsAre(kCharlie[2], "Nine.txt", "D:", testing::_, testing::_));
  EXPECT_TRUE(std::regex_match(rows[1][3], std::regex("[1-9][0-9]*"))) << rows[1][3];
  EXPECT_TRUE(std::regex_match(rows[2][3], std::regex("[0-9]+"))) << rows[2][3];
}

TEST_F(ListCommand, StatsGoToStderrAsNameValueUnit) {
  const CliResult r = RunCli({"--stats", "--drive", "D=" + CharlieImage(), "list"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.OutLines(), kCharlie);  // nothing of it on stdout
  const auto lines = r.ErrLines();
  const char* const keys[] = {"records", "entries",  "scan",           "paths",
                              "total",   "peak-rss", "bytes-per-entry"};
  const char* const units[] = {"", "", " ms", " ms", " ms", " MiB", ""};
  ASSERT_EQ(lines.size(), 7u) << r.err;
  for (size_t i = 0; i < 7; ++i) {
    EXPECT_TRUE(
        std::regex_match(lines[i], std::regex(std::string(keys[i]) + ": [0-9]+" + units[i])))
        << lines[i];
  }
  EXPECT_EQ(lines[1], "entries: 3");
  // The volume's MFT holds at least its 16 system records and the three above.
  EXPECT_GE(std::stoull(lines[0].substr(std::strlen("records: "))), 19u);
}

TEST_F(ListCommand, EachBadVolumeIsNamedWithItsReasonAndTheOthersStillListed) {
  const std::string missing = BinaryDir() + "/test-scratch/no-such-volume.img";
  const std::string zeros = ScratchFile("zeros.img", std::string(1 << 20, '\0'));
  // Sectors per cluster 0: a boot sector no volume can have.
  const std::string badBoot = PatchedCharlie("bad-boot.img", 0x0D, std::string(1, '\0'));
  const std::string folder = ScratchDir("cli-a-folder");
  const std::string tiny = ScratchFile("tiny.txt", "hello\n");
  const std::string empty = ScratchFile("empty.img", "");
  const std::string disk = WithMbr(CharlieImage(), 1, "charlie-mbr1.img");

  struct Case {
    std::string path;
    std::string reason;
  };
  std::vector<Case> cases = {
      {missing, "no such file"},
      {zeros, "not an NTFS volume"},
      {badBoot, "damaged NTFS boot sector"},
      {folder, "is a directory"},
      {tiny, "is too small to be an NTFS volume (6 bytes)"},
      {empty, "is empty"},
      {"/dev/null", "is not a file, block device or disk image"},
      {disk, "has a partition table: partition 1 is NTFS; bind it as " + disk + ":1"},
      {disk + ":2", "has no partition 2 (it has 1)"},
  };
#ifndef _WIN32
  // Opening a pipe with no writer waited for ever.
  const std::string fifo = ScratchDir("cli-fifo") + "/volume";
  std::filesystem::remove(fifo);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  cases.push_back({fifo, "is not a file, block device or disk image"});
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const CliResult r = RunCli({"--drive", "D=" + CharlieImage(), "--drive", "E=" + c.path,
                                "--drive", "F=" + CharlieImage(), "list"});
    EXPECT_EQ(r.status, 2);
    std::vector<std::string> expected = WithLetter(kCharlie, 'D');
    for (const std::string& line : WithLetter(kCharlie, 'F')) expected.push_back(line);
    EXPECT_EQ(r.OutLines(), expected);
    ASSERT_EQ(r.ErrLines().size(), 1u) << r.err;
    EXPECT_THAT(r.err, HasSubstr("E:"));
    EXPECT_THAT(r.err, HasSubstr(c.path));
    EXPECT_THAT(r.err, HasSubstr(c.reason));
    EXPECT_THAT(r.err, testing::Not(HasSubstr("error "))) << "Windows numbers are for --debug";
  }
  const CliResult debug = RunCli({"--debug", "--drive", "E=" + folder, "list"});
  EXPECT_THAT(debug.err, HasSubstr("is a directory (error 5: "));
}

// Charlie's MFT starts at byte 12,931,072 and holds 256 records.
TEST_F(ListCommand, AVolumeCutShortIsNotASuccess) {
  const std::string whole = ReadFile(CharlieImage());
  const std::string inside = ScratchFile("cut-inside.img", whole.substr(0, 12931072 + 100 * 1024));
  const CliResult r = RunCli({"--drive", "D=" + inside, "list"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.OutLines(), kCharlie);  // what was read is still listed
  EXPECT_EQ(r.ErrLines(),
            std::vector<std::string>{"zanderwyn: D: (" + inside +
                                     "): the volume ends at 13,033,472 bytes, inside its MFT: "
                                     "100 of 256 records read"});
  const CliResult debug = RunCli({"--debug", "--drive", "D=" + inside, "list"});
  EXPECT_THAT(debug.err, HasSubstr("156 MFT records failed to arrive"));

  const std::string before = ScratchFile("cut-before.img", whole.substr(0, 20000));
  const CliResult early = RunCli({"--drive", "D=" + before, "list"});
  EXPECT_EQ(early.status, 2);
  EXPECT_EQ(early.out, "");
  EXPECT_THAT(early.err, HasSubstr("the volume ends at 20,000 bytes, before its MFT"));
}

TEST_F(ListCommand, AVolumeWhoseMftCannotBeFoundIsNotAnEmptySuccess) {
  // The MFT start cluster points far past the end of the volume.
  const std::string image =
      PatchedCharlie("mft-gone.img", 0x30, std::string("\xff\xff\xff\x0f\0\0\0\0", 8));
  const CliResult r = RunCli({"--drive", "D=" + image, "list"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_THAT(r.err, HasSubstr(image));
}

// 300 nested folders with a file at the bottom, and one at the root.
TEST_F(ListCommand, PathsBelowAChainDeeperThanPathsFollowShowTheCut) {
  VolumeSpec layout;
  layout.mftExtents = {{16, 96}};
  VolumeBuilder b(layout);
  for (uint64_t i = 0; i < 300; ++i)
    b.SetRecord(16 + i,
                RecordBuilder(1024, RecordBuilder::kInUse | RecordBuilder::kDirectory)
                    .FileName(i == 0 ? 5 : 15 + i, u"f" + FromUtf8(std::to_string(i)), kWin32)
                    .Finish());
  b.SetRecord(320, RecordBuilder().FileName(315, u"leaf.txt", kWin32).Finish());
  b.SetRecord(330, RecordBuilder().FileName(5, u"top.txt", kWin32).Finish());
  const std::string image = ScratchDir("cli-deep") + "/deep.img";
  ASSERT_TRUE(b.WriteTo(image));
  const CliResult r = RunCli({"--drive", "D=" + image, "list"});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = r.OutLines();
  ASSERT_EQ(lines.size(), 302u);
  EXPECT_EQ(lines[256].rfind("D:\\f0\\f1\\", 0), 0u);  // f256: 256 ancestors, whole
  EXPECT_EQ(lines[257], "\u2026\\f257");
  EXPECT_EQ(lines[300].rfind("\u2026\\f257\\f258\\", 0), 0u);
  EXPECT_NE(lines[300].find("\\f299\\leaf.txt"), std::string::npos);
  EXPECT_EQ(lines[301], "D:\\top.txt");
}

// Record 0 and the boot sector claim 32 GiB of MFT on a 32 GiB (sparse)
// image: too large to reserve for under a 1 GiB address space limit.
TEST_F(ListCommand, AVolumeThatDoesNotFitInMemoryIsSkippedWithAFailure) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "sanitizers need more address space than the limit leaves";
#else
  constexpr uint64_t kClusters = uint64_t{1} << 23;
  VolumeBuilder b;
  b.SetRecord(
      0, RecordBuilder()
             .FileName(5, u"$MFT", kWin32AndDos)
             .NonResident(0x80, EncodeRuns({{kClusters, 16}}), kClusters * 4096, 0, kClusters - 1)
             .Finish());
  PutLe(b.Image(), 0x28, kClusters * 8, 8);
  const std::string image = ScratchDir("cli-huge-mft") + "/huge-mft.img";
  ASSERT_TRUE(b.WriteTo(image));
  std::filesystem::resize_file(image, kClusters * 4096 + (uint64_t{1} << 20));
  const CliResult r =
      RunProgram("/bin/sh", {"-c", "ulimit -v 1048576 && exec \"$0\" \"$@\"", ZW_CLI, "--drive",
                             "D=" + image, "--drive", "E=" + CharlieImage(), "list"});
  std::filesystem::remove(image);
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr(image));
  EXPECT_THAT(r.err, HasSubstr("not enough memory"));
  EXPECT_EQ(r.OutLines(), WithLetter(kCharlie, 'E'));
#endif
}

// Names anyone can give a file: none may reach the terminal as it is, add a
// line, or hide a trailing space.
TEST(CommandLine, HostileNamesComeOutEscapedOneLineEach) {
#ifdef _WIN32
  GTEST_SKIP() << "image files are bound to letters only on POSIX";
#endif
  using R = RecordBuilder;
  VolumeBuilder b;
  b.SetRecord(16, R(1024, R::kInUse | R::kDirectory)
                      .StandardInfo(1, 1, 0x10)
                      .FileName(5, u"Program Files ", kWin32)
                      .Finish());
  const std::u16string files[] = {u"setup.exe", u"\x1b]0;owned\x07.txt",
                                  u"a.txt\r\nD:\\Windows\\fake.exe", u"\u202Etxt.exe"};
  for (uint64_t i = 0; i < 4; ++i) {
    b.SetRecord(17 + i, R(1024, R::kInUse)
                            .StandardInfo(1, 1, 0x20)
                            .FileName(i == 0 ? 16 : 5, files[i], kWin32)
                            .Finish());
  }
  const std::string image = ScratchDir("cli-hostile") + "/hostile.img";
  ASSERT_TRUE(b.WriteTo(image));
  const std::vector<std::string> expected = {
      "D:\\Program Files{U+0020}",
      "D:\\Program Files{U+0020}\\setup.exe",
      "D:\\{U+001B}]0;owned{U+0007}.txt",
      "D:\\a.txt{U+000D}{U+000A}D:\\Windows\\fake.exe",
      "D:\\{U+202E}txt.exe",
  };
  const CliResult list = RunCli({"--drive", "D=" + image, "list"});
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.OutLines(), expected);
  const CliResult search = RunCli({"--drive", "D=" + image, "search", "--sort", "size", ""});
  EXPECT_EQ(search.OutLines().size(), expected.size()) << search.out;
  EXPECT_EQ(search.out.find('\x1b'), std::string::npos);
  const CliResult rows = RunCli({"--drive", "D=" + image, "list", "--long"});
  ASSERT_EQ(rows.OutLines().size(), expected.size()) << rows.out;
  EXPECT_THAT(rows.OutLines()[1],
              testing::StartsWith(expected[1] + "\tsetup.exe\tD:\\Program Files{U+0020}\t"));
  EXPECT_THAT(rows.OutLines()[3], testing::StartsWith(expected[3] + "\ta.txt{U+000D}"));
}

TEST(CommandLine, BadArgumentsExitWithTwoAndSayWhy) {
#ifdef _WIN32
  GTEST_SKIP() << "the cases bind image files, which only POSIX does";
#endif
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"list"}, "--drive"},
      {{"--drive", "1=/x", "list"}, "1=/x"},
      {{"--drive", "D=", "list"}, "D="},
      {{"--drive", "D=/x:0", "list"}, "D=/x:0"},
      {{"--drive"}, "--drive"},
      {{"--drive", "Q", "list"}, "Q:"},
      {{"--drive", "D=/x"}, "no command"},
      {{"--drive", "D=/x", "frobnicate"}, "frobnicate"},
      {{"--bogus", "list"}, "--bogus"},
      {{"--drive", "D=/x", "list", "--wide"}, "--wide"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const CliResult r = RunCli(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_THAT(r.err, testing::StartsWith("zanderwyn: "));
    EXPECT_THAT(r.err, HasSubstr(c.message));
  }
}

TEST(CommandLine, HelpNamesTheOptionsAndCommands) {
  const CliResult r = RunCli({"--help"});
  EXPECT_EQ(r.status, 0);
  for (const char* word : {"--drive", "--stats", "--debug", "list", "--long"}) {
    EXPECT_THAT(r.out, HasSubstr(word));
  }
  // Each command's own help, wherever --help stands.
  const CliResult search = RunCli({"search", "--help"});
  EXPECT_EQ(search.status, 0);
  EXPECT_THAT(search.out, HasSubstr("--sort"));
  EXPECT_THAT(search.out, testing::Not(HasSubstr("\njournal")));
  const CliResult journal = RunCli({"--help", "journal"});
  EXPECT_EQ(journal.status, 0);
  EXPECT_THAT(journal.out, HasSubstr("FILE"));
}

}  // namespace
}  // namespace zw::test
