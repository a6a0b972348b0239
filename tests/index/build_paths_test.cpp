#include "index/build_paths.h"
#include "support/built_paths.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "base/utf.h"
#include "platform/drive_table.h"
#include "support/test_paths.h"

namespace zw {
namespace {

FileEntry Entry(uint64_t record, uint64_t parent, std::u16string name, bool folder = false,
                uint64_t size = 1) {
  FileEntry e;
  e.recordNumber = record;
  e.parentRecordNumber = parent;
  e.name = std::move(name);
  e.isFolder = folder;
  e.size = size;
  return e;
}

std::vector<std::string> Paths(const std::vector<FileEntry>& entries) {
  std::vector<std::string> out;
  for (const FileEntry& e : entries) out.push_back(ToUtf8(e.path));
  return out;
}

TEST(BuildPaths, RootChildrenAndCachedFolders) {
  std::vector<FileEntry> v = {
      Entry(40, 5, u"report.docx"), Entry(41, 5, u"Reports", true), Entry(42, 41, u"q1.xlsx"),
      Entry(43, 41, u"2024", true), Entry(44, 43, u"march.pdf"),
  };
  test::BuildPathsAndNames(u'D', v);
  EXPECT_THAT(Paths(v),
              testing::ElementsAre("D:\\report.docx", "D:\\Reports", "D:\\Reports\\q1.xlsx",
                                   "D:\\Reports\\2024", "D:\\Reports\\2024\\march.pdf"));
}

TEST(BuildPaths, ChildrenBeforeTheirAncestors) {
  // MFT order need not follow the tree: reused low records hold new folders.
  std::vector<FileEntry> v = {
      Entry(20, 30, u"deep.txt"), Entry(21, 30, u"sibling.txt"), Entry(30, 31, u"c", true),
      Entry(31, 32, u"b", true),  Entry(32, 5, u"a", true),      Entry(33, 31, u"late.txt"),
  };
  test::BuildPathsAndNames(u'E', v);
  EXPECT_THAT(Paths(v),
              testing::ElementsAre("E:\\a\\b\\c\\deep.txt", "E:\\a\\b\\c\\sibling.txt",
                                   "E:\\a\\b\\c", "E:\\a\\b", "E:\\a", "E:\\a\\b\\late.txt"));
}

TEST(BuildPaths, OrphansAreRootedAtTheDrive) {
  std::vector<FileEntry> v = {
      Entry(20, 999, u"lost.txt"),     // parent missing
      Entry(21, 0, u"zero.txt"),       // no parent at all
      Entry(22, 11, u"ObjId", false),  // parent is a metadata record ($Extend)
      Entry(23, 998, u"gone", true),   // orphaned folder ...
      Entry(24, 23, u"inside.txt"),    // ... keeps its children under it
  };
  test::BuildPathsAndNames(u'D', v);
  EXPECT_THAT(Paths(v), testing::ElementsAre("D:\\lost.txt", "D:\\zero.txt", "D:\\ObjId",
                                             "D:\\gone", "D:\\gone\\inside.txt"));
}

TEST(BuildPaths, LoopsEndAndNameEachFolderOnce) {
  std::vector<FileEntry> v = {
      Entry(20, 30, u"x.txt"),       // below a two-folder loop, seen first
      Entry(30, 31, u"A", true),     // A's parent is B ...
      Entry(31, 30, u"B", true),     // ... and B's parent is A
      Entry(40, 40, u"self", true),  // its own parent
      Entry(41, 40, u"y.txt"),
  };
  test::BuildPathsAndNames(u'D', v);
  EXPECT_EQ(ToUtf8(v[0].path), "D:\\B\\A\\x.txt");
  EXPECT_EQ(ToUtf8(v[1].path), "D:\\B\\A");
  EXPECT_EQ(ToUtf8(v[3].path), "D:\\self");
  EXPECT_EQ(ToUtf8(v[4].path), "D:\\self\\y.txt");
  for (const FileEntry& e : v) EXPECT_LT(e.path.size(), 32u) << ToUtf8(e.path);
}

TEST(BuildPaths, ChainsDeeperThanTheLimitKeepTheNearestAncestorsAfterACutMark) {
  // 300 distinct nested folders, listed deepest first so that no cache helps.
  std::vector<FileEntry> v;
  constexpr int kDepth = 300;
  v.push_back(Entry(10000, 100 + kDepth - 1, u"leaf.txt"));
  for (int i = kDepth - 1; i >= 0; --i) {
    v.push_back(Entry(100 + i, i == 0 ? 5 : 100 + i - 1, u"f" + FromUtf8(std::to_string(i)), true));
  }
  test::BuildPathsAndNames(u'D', v);
  const std::string leaf = ToUtf8(v[0].path);
  // The 256 nearest ancestors, f44 .. f299, after a mark that no drive's
  // path begins with.
  EXPECT_EQ(leaf.rfind("\u2026\\f44\\f45\\", 0), 0u) << leaf.substr(0, 40);
  EXPECT_NE(leaf.find("\\f299\\leaf.txt"), std::string::npos);
  EXPECT_EQ(leaf.find("\\f43\\"), std::string::npos);
  // The folders themselves, completed after, see the whole chain.
  EXPECT_EQ(ToUtf8(v.back().path), "D:\\f0");
}

TEST(BuildPaths, TheLaterOfTwoRecordsWithOneNumberWins) {
  std::vector<FileEntry> v = {
      Entry(30, 5, u"old", true),
      Entry(30, 5, u"new", true),
      Entry(31, 30, u"a.txt"),
  };
  test::BuildPathsAndNames(u'D', v);
  EXPECT_EQ(ToUtf8(v[2].path), "D:\\new\\a.txt");
}

TEST(BuildPaths, FarApartRecordNumbersGiveTheSamePaths) {
  // Numbers too sparse for a flat table take the hashed route.
  const uint64_t big = uint64_t(1) << 40;
  std::vector<FileEntry> v = {
      Entry(big + 3, big + 1, u"deep.txt"),
      Entry(big + 1, big, u"b", true),
      Entry(big, 5, u"a", true),
      Entry(big + 2, big + 77, u"orphan.txt"),
      Entry(big + 4, big + 1, u"after.txt"),
  };
  test::BuildPathsAndNames(u'D', v);
  EXPECT_THAT(Paths(v), testing::ElementsAre("D:\\a\\b\\deep.txt", "D:\\a\\b", "D:\\a",
                                             "D:\\orphan.txt", "D:\\a\\b\\after.txt"));
}

TEST(BuildPaths, EmptyInputStaysEmpty) {
  std::vector<FileEntry> v;
  test::BuildPathsAndNames(u'D', v);
  EXPECT_TRUE(v.empty());
}

struct NameCase {
  std::u16string name;
  bool folder;
  std::string extension;
  std::string lowerExtension;
};

TEST(BuildPaths, ExtensionsAndLowerCaseNames) {
  const NameCase cases[] = {
      {u"README", false, "", ""},
      {u"archive.tar.gz", false, "gz", "gz"},
      {u"Photo.JPG", false, "JPG", "jpg"},
      {u".profile", false, "profile", "profile"},
      {u".env", false, "env", "env"},
      {u"notes.", false, "", ""},
      {u"..", false, "", ""},
      {u"a..B", false, "B", "b"},
      {u"backup.2024", true, "", ""},
      {u"photos.2023", true, "", ""},
      {u"\uBCF4\uACE0\uC11C.HWP", false, "HWP", "hwp"},
      {u"\uD55C\uAE00.\uBB38\uC11C", false, "\uBB38\uC11C", "\uBB38\uC11C"},
  };
  std::vector<FileEntry> v;
  uint64_t record = 20;
  for (const NameCase& c : cases) v.push_back(Entry(record++, 5, c.name, c.folder));
  test::BuildPathsAndNames(u'D', v);
  for (size_t i = 0; i < v.size(); ++i) {
    SCOPED_TRACE(ToUtf8(cases[i].name));
    EXPECT_EQ(ToUtf8(v[i].extension), cases[i].extension);
    EXPECT_EQ(ToUtf8(v[i].lowerExtension), cases[i].lowerExtension);
    EXPECT_EQ(v[i].name, cases[i].name);
  }
}

TEST(BuildPaths, LowerNameFoldsOnlyAsciiCapitals) {
  std::vector<FileEntry> v = {Entry(20, 5, u"\u00C4BC \uD55C\uAE00 Z@[`"),
                              Entry(21, 5, u"\u0130STANBUL.TXT")};
  test::BuildPathsAndNames(u'D', v);
  EXPECT_EQ(v[0].lowerName, u"\u00C4bc \uD55C\uAE00 z@[`");
  EXPECT_EQ(v[1].lowerName, u"\u0130stanbul.txt");
  EXPECT_EQ(v[1].path, u"D:\\\u0130STANBUL.TXT");  // the path keeps the case
}

TEST(BuildPaths, LargeVolumesGetEveryDerivedField) {
  std::vector<FileEntry> v;
  v.push_back(Entry(16, 5, u"Top", true));
  for (uint64_t i = 0; i < 70000; ++i) {
    const std::u16string stem = u"File" + FromUtf8(std::to_string(i));
    v.push_back(Entry(17 + i, i % 3 == 0 ? 5 : 16, i % 2 ? stem + u".TXT" : stem, i % 7 == 0));
  }
  test::BuildPathsAndNames(u'D', v);
  for (size_t i = 1; i < v.size(); ++i) {
    const FileEntry& e = v[i];
    ASSERT_EQ(e.lowerName, FoldAscii(e.name)) << i;
    const bool hasExtension = !e.isFolder && (i - 1) % 2 == 1;
    ASSERT_EQ(e.extension, hasExtension ? u"TXT" : u"") << i;
    ASSERT_EQ(e.lowerExtension, hasExtension ? u"txt" : u"") << i;
    ASSERT_EQ(e.path, ((i - 1) % 3 == 0 ? u"D:\\" : u"D:\\Top\\") + e.name) << i;
  }
}

TEST(BuildPaths, ZeroSizesAreAskedOfTheFileSystem) {
#ifdef _WIN32
  GTEST_SKIP() << "drive letters resolve through mount points only on POSIX";
#endif
  const std::string dir = test::ScratchDir("build_paths_sizes");
  {
    std::ofstream(dir + "/five.bin", std::ios::binary) << "12345";
    std::ofstream(dir + "/empty.bin", std::ios::binary);
    std::ofstream(dir + "/dot.bin.", std::ios::binary) << "12345";  // Win32: "dot.bin"
  }
  platform::DriveBinding binding;
  binding.letter = u'Q';
  binding.source = dir + "/no-image";
  binding.mountPoint = dir;
  platform::BindDrive(binding);
  std::vector<FileEntry> v = {
      Entry(20, 5, u"five.bin", false, 0),
      Entry(21, 5, u"empty.bin", false, 0),
      Entry(22, 5, u"missing.bin", false, 0),
      Entry(23, 5, u"five.bin", false, 9),  // a size from the MFT is kept
      Entry(24, 5, u"dot.bin.", false, 0),
  };
  test::BuildPathsAndNames(u'Q', v);
  platform::UnbindDrive(u'Q');
  EXPECT_EQ(v[0].size, 5u);
  EXPECT_EQ(v[1].size, 0u);
  EXPECT_EQ(v[2].size, 0u);
  EXPECT_EQ(v[3].size, 9u);
  EXPECT_EQ(v[4].size, 0u);
}

}  // namespace
}  // namespace zw
