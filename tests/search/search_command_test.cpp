// The search command end to end, against a generated volume and a volume
// written by Windows. The oracle is the list command's own output, filtered
// and sorted here by hand.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../cli/cli_runner.h"
#include "base/hangul.h"
#include "base/utf.h"
#include "support/test_paths.h"

namespace zw {
namespace {

using test::CliResult;
using Lines = std::vector<std::string>;

CliResult Cli(const std::vector<std::string>& args) {
  return test::RunProgram(ZW_CLI, args);
}

// Builds without the generator (Windows, the TSan preset) have only the
// tests that need no generated volume.
#ifdef ZW_MKIMAGE
std::string LowerAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return s;
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

struct Listed {
  std::string path, name;
  bool folder;
};

std::vector<Listed> ListAll(const std::string& drive) {
  CliResult r = Cli({"--drive", drive, "list", "--long"});
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<Listed> all;
  for (const std::string& line : r.OutLines()) {
    std::vector<std::string> cols;
    size_t from = 0;
    while (true) {
      const size_t tab = line.find('\t', from);
      cols.push_back(line.substr(from, tab - from));
      if (tab == std::string::npos) break;
      from = tab + 1;
    }
    if (cols.size() >= 4) all.push_back({cols[0], cols[1], cols[3] == "<DIR>"});
  }
  return all;
}

class SearchCommand : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::string dir = test::ScratchDir("search-command");
    image_ = dir + "/sample.img";
    const std::string command = std::string(ZW_MKIMAGE) + " --seed 3 --count 1500 --quiet --out " +
                                test::ShellQuote(image_);
    const int status = std::system(command.c_str());
    if (status != 0) {
      problem_ = command + " failed (exit status " +
                 std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : status) +
                 "; its message is above)";
      image_.clear();
    }
  }
  void SetUp() override { ASSERT_FALSE(image_.empty()) << problem_; }
  std::string Drive() const { return "D=" + image_; }
  static inline std::string image_, problem_;
};

TEST_F(SearchCommand, ExtensionSearchEqualsTheFilteredListSortedByPath) {
  std::vector<std::string> expected;
  for (const Listed& e : ListAll(Drive())) {
    if (!e.folder && EndsWith(LowerAscii(e.name), ".pdf")) expected.push_back(e.path);
  }
  ASSERT_FALSE(expected.empty());
  // UTF-8 byte order is UTF-16 code unit order within the BMP, where the
  // generator's names stay.
  std::sort(expected.begin(), expected.end());
  CliResult r = Cli({"--drive", Drive(), "search", "*.PDF", "--sort", "path"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.OutLines(), expected);
}

TEST_F(SearchCommand, EmptyTextListsEveryEntryThatPassesTheType) {
  const auto all = ListAll(Drive());
  size_t folders = 0;
  for (const Listed& e : all) folders += e.folder ? 1 : 0;
  CliResult r = Cli({"--drive", Drive(), "search", "", "--count"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.OutLines(), Lines{std::to_string(all.size())});
  for (const char* type : {"1", "folders"}) {
    r = Cli({"--drive", Drive(), "search", "", "--type", type, "--count"});
    EXPECT_EQ(r.OutLines(), Lines{std::to_string(folders)}) << type;
  }
  // Several texts: in the order given; into a file with no header lines
  // unless asked, and a text that can find nothing says so.
  const std::string files = std::to_string(all.size() - folders);
  r = Cli({"--drive", Drive(), "search", "", "*", "--type", "files", "--count"});
  EXPECT_EQ(r.OutLines(), (Lines{files, "0"}));
  EXPECT_THAT(r.err, testing::HasSubstr("\"*\" finds nothing"));
  r = Cli({"--drive", Drive(), "search", "", "*", "--type", "2", "--count", "--headers"});
  EXPECT_EQ(r.OutLines(), (Lines{"# ", files, "# *", "0"}));
  r = Cli({"--drive", Drive(), "search", "", "*", "--count", "--no-headers"});
  EXPECT_EQ(r.OutLines(), (Lines{std::to_string(all.size()), "0"}));
}

TEST_F(SearchCommand, EveryOptionCombinationPrintsTheSameRows) {
  for (const char* text : {"re", "*port", "보고서", "a*"}) {
    CliResult base = Cli({"--drive", Drive(), "search", text, "--sort", "name", "--desc"});
    ASSERT_EQ(base.status, 0) << base.err;
    for (const char* fast : {"0", "1"}) {
      for (const char* parallel : {"0", "1"}) {
        for (const char* progressive : {"0", "1"}) {
          CliResult r =
              Cli({"--drive", Drive(), "search", text, "--sort", "name", "--desc", "--fast-search",
                   fast, "--parallel", parallel, "--progressive", progressive});
          // Equal names too come in one order: by path.
          EXPECT_EQ(base.OutLines(), r.OutLines()) << text << fast << parallel << progressive;
        }
      }
    }
  }
}

TEST_F(SearchCommand, FoldersComeFirstAndStatsAreReported) {
  CliResult r = Cli({"--drive", Drive(), "--stats", "search", "e", "--long"});
  ASSERT_EQ(r.status, 0) << r.err;
  bool seenFile = false;
  for (const std::string& line : r.OutLines()) {
    const bool folder = line.find("\t<DIR>\t") != std::string::npos;
    EXPECT_FALSE(folder && seenFile) << "a folder after a file: " << line;
    seenFile = seenFile || !folder;
  }
  const std::string err = r.err;
  for (const char* stat :
       {"name-index: ", "name-index-bytes: ", "resident-bytes-per-entry: ", "query: ", "sort: "}) {
    EXPECT_NE(err.find(stat), std::string::npos) << stat;
  }
}

// The generator writes some Hangul decomposed and some as leading consonants:
// each text finds what reading every listed name composed (and by its
// initials form, unless --initials 0) gives.
TEST_F(SearchCommand, HangulIsFoundAsShownAndByInitialsOnTheImage) {
  const auto all = ListAll(Drive());
  size_t decomposedFound = 0, byInitialsOnly = 0;
  for (const char* text : {"보고서", "사진", "ㅂㄱㅅ", "ㅅㅈ", "ㅅ*", "*ㄹ"}) {
    for (const char* initials : {"1", "0"}) {
      std::u16string p = FromUtf8(text);
      const bool prefix = p.back() == u'*', suffix = p.front() == u'*';
      if (prefix) p.pop_back();
      if (suffix) p.erase(0, 1);
      auto found = [&](const std::u16string& name) {
        if (prefix) return name.starts_with(p);
        if (suffix) return name.ends_with(p);
        return name.find(p) != std::u16string::npos;
      };
      Lines expected;
      for (const Listed& e : all) {
        const std::u16string name = FromUtf8(e.name);
        const std::u16string composed = hangul::Composed(name);
        std::u16string form = composed;
        hangul::ToInitials(form);
        const bool byName = found(composed);
        const bool byForm = initials[0] == '1' && hangul::IsInitialsText(p) && found(form);
        if (byName || byForm) expected.push_back(e.path);
        decomposedFound += byName && composed != name;
        byInitialsOnly += byForm && !byName;
      }
      std::sort(expected.begin(), expected.end());
      CliResult r = Cli({"--drive", Drive(), "search", text, "--initials", initials});
      ASSERT_EQ(r.status, 0) << r.err;
      Lines got = r.OutLines();
      std::sort(got.begin(), got.end());
      EXPECT_EQ(got, expected) << text << " --initials " << initials;
    }
  }
  EXPECT_GT(decomposedFound, 0u);
  EXPECT_GT(byInitialsOnly, 0u);
}

#endif  // ZW_MKIMAGE

TEST(SearchCommandArgs, BadInputIsRefusedClearly) {
  for (const Lines& args :
       {Lines{"search"}, Lines{"search", "a", "--type", "9"}, Lines{"search", "a", "--sort", "x"},
        Lines{"search", "a", "--parallel", "2"}, Lines{"search", "a", "--initials", "yes"},
        Lines{"search", "a", "--bogus"}, Lines{"search", "a", "--type", "Folders"},
        Lines{"search", "a", "--type"}}) {
    CliResult r = Cli(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("search: "), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
}

// What a user has to go by: every form of the search text, with an example.
TEST(SearchCommandArgs, HelpTeachesTheSearchText) {
  const CliResult r = Cli({"search", "--help"});
  EXPECT_EQ(r.status, 0);
  for (const char* form : {"report ", "rep* ", "*port ", "*.txt ", "rep*.txt ", "ASCII", "\"\"",
                           "--headers", "documents", "ㅂㄱㅅ", "--initials"}) {
    EXPECT_THAT(r.out, testing::HasSubstr(form));
  }
}

// A volume written by Windows: names with a stream and a system folder.
TEST(SearchCommandReal, FindsTheNamesWindowsWrote) {
#ifdef _WIN32
  GTEST_SKIP() << "image files bind to drive letters only on POSIX";
#endif
  const std::string image = test::RealImagePath(test::RealImage::Charlie);
  ASSERT_FALSE(image.empty()) << test::RealImageProblem(test::RealImage::Charlie);
  CliResult r = Cli({"--drive", "E=" + image, "search", "--headers", "nine", "*.DAT", "system*"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.OutLines(), (Lines{"# nine", "E:\\Nine.txt", "# *.DAT",
                                 "E:\\System Volume Information\\WPSettings.dat", "# system*",
                                 "E:\\System Volume Information"}));
  // After "--" an option's name is a search text like any other.
  r = Cli({"--drive", "E=" + image, "search", "--count", "--headers", "--", "--long", "-l"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.OutLines(), (Lines{"# --long", "0", "# -l", "0"}));
}

}  // namespace
}  // namespace zw
