// The oracle must be strict: a lenient comparison would pass any listing.
#ifndef _WIN32

#include <gtest/gtest.h>

#include "oracle/oracle_support.h"

namespace {

using zw::test::CompareWithOracle;
using zw::test::OracleFromFls;

const char* kFls =
    "r/r 4-128-1:\t$AttrDef\n"
    "d/d 11-144-4:\t$Extend\n"
    "r/r 25-144-2:\t$Extend/$ObjId:$O\n"
    "d/d 64-144-2:\tdocs\n"
    "r/r 65-128-2:\tdocs/a.txt\n"
    "r/r 65-128-4:\tdocs/a.txt:stream\n"
    "r/r 66-128-2:\tdocs/b.txt\n"
    "r/r 66-128-2:\tother/link to b.txt\n"
    "d/d 67-144-2:\tother\n"
    "r/r * 68-128-2:\tdocs/deleted.txt\n"
    "r/r * 64-128-2(realloc):\told name\n"
    "d/d 69-144-2:\t$RECYCLE.BIN\n"
    "r/r 70-128-2:\t$RECYCLE.BIN/x.doc\n"
    "r/r 71-128-2:\t$top name of a linked file\n"
    "r/r 71-128-2:\tdocs/second name\n";

TEST(OracleCompare, AcceptsExactlyOneNamePerRecord) {
  auto o = OracleFromFls(kFls);
  EXPECT_EQ(o.deletedLines, 2u);
  EXPECT_EQ(o.streamLines, 2u);
  std::vector<std::string> good = {"D:\\docs", "D:\\docs\\a.txt", "D:\\other\\link to b.txt",
                                   "D:\\other"};
  EXPECT_TRUE(CompareWithOracle(good, o).empty()) << zw::test::Joined(CompareWithOracle(good, o));
  // Record 71 may be listed under its other name, or not at all.
  good.push_back("D:\\docs\\second name");
  EXPECT_TRUE(CompareWithOracle(good, o).empty());
}

TEST(OracleCompare, CatchesMissingDuplicateUnknownAndDeleted) {
  auto o = OracleFromFls(kFls);
  const std::vector<std::string> base = {"D:\\docs", "D:\\docs\\a.txt", "D:\\docs\\b.txt",
                                         "D:\\other"};
  auto problems = [&](const std::vector<std::string>& listing) {
    return CompareWithOracle(listing, o).size();
  };
  EXPECT_EQ(problems(base), 0u);
  EXPECT_EQ(problems({"D:\\docs", "D:\\docs\\a.txt", "D:\\other"}), 1u);  // b.txt missing
  auto twice = base;
  twice.push_back("D:\\other\\link to b.txt");  // one record, two lines
  EXPECT_EQ(problems(twice), 1u);
  auto deleted = base;
  deleted.push_back("D:\\docs\\deleted.txt");
  EXPECT_EQ(problems(deleted), 1u);
  auto stream = base;
  stream.push_back("D:\\docs\\a.txt:stream");
  EXPECT_EQ(problems(stream), 1u);
  auto meta = base;
  meta.push_back("D:\\$AttrDef");
  EXPECT_EQ(problems(meta), 1u);
  auto dosName = base;
  dosName[1] = "D:\\docs\\A~1.TXT";  // a short name instead of the long one
  EXPECT_EQ(problems(dosName), 2u);
  auto wrongCase = base;
  wrongCase[1] = "D:\\docs\\A.txt";
  EXPECT_EQ(problems(wrongCase), 2u);
}

// fls cuts names past about 256 bytes of UTF-8; only such a cut name may
// match a longer one, and only as its prefix.
TEST(OracleCompare, CutNamesMatchOnlyAsPrefix) {
  std::string longName(250, 'x');
  std::string text = "r/r 80-128-2:\t" + longName + "\nr/r 81-128-2:\tshort\n";
  auto o = OracleFromFls(text);
  EXPECT_TRUE(CompareWithOracle({"D:\\" + longName + "yy", "D:\\short"}, o).empty());
  EXPECT_EQ(CompareWithOracle({"D:\\" + longName, "D:\\shorter"}, o).size(), 2u);
  EXPECT_EQ(CompareWithOracle({"D:\\" + longName.substr(1) + "yy", "D:\\short"}, o).size(), 2u);
}

}  // namespace

#endif  // _WIN32
