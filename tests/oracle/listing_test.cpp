// The command line's listing of a volume against The Sleuth Kit's fls: the
// same allocated records, each exactly once, under one of its names, in MFT
// record order. Generated images of several geometries and real volumes
// written by Windows.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>

#include "oracle/generated_images.h"
#include "support/real_images.h"

namespace {

using zw::test::Generate;
using zw::test::ImageConfig;
using zw::test::Oracle;
using zw::test::Ran;
using zw::test::RunTool;

struct Listing {
  Ran ran;
  std::vector<std::string> lines;
};

Listing List(const std::string& binding, bool longFormat = false) {
  Listing l;
  std::vector<std::string> args = {ZW_CLI, "--drive", "D=" + binding, "list"};
  if (longFormat) args.push_back("--long");
  l.ran = RunTool(args);
  l.lines = zw::test::SplitLines(l.ran.out);
  return l;
}

Oracle FlsOracle(const std::vector<std::string>& flsOptions, const std::string& image) {
  std::vector<std::string> args = {"fls", "-r", "-p"};
  args.insert(args.end(), flsOptions.begin(), flsOptions.end());
  args.push_back(image);
  Ran fls = RunTool(args);
  EXPECT_EQ(fls.status, 0) << fls.err;
  return zw::test::OracleFromFls(fls.out);
}

// Index order is MFT record order.
void ExpectRecordOrder(const std::vector<std::string>& lines, const Oracle& oracle) {
  uint64_t previous = 0;
  for (const std::string& line : lines) {
    auto it = oracle.recordOf.find(line);
    if (it == oracle.recordOf.end()) continue;
    ASSERT_GT(it->second, previous) << line << " comes after record " << previous;
    previous = it->second;
  }
}

class GeneratedListing : public testing::TestWithParam<ImageConfig> {};

TEST_P(GeneratedListing, EqualsFls) {
  const auto& g = Generate(GetParam());
  ASSERT_TRUE(g.ok) << g.log;
  Listing l = List(g.image);
  ASSERT_EQ(l.ran.status, 0) << l.ran.err;
  Oracle oracle = FlsOracle({}, g.image);
  std::vector<std::string> problems = zw::test::CompareWithOracle(l.lines, oracle);
  EXPECT_TRUE(problems.empty()) << zw::test::Joined(problems);
  ExpectRecordOrder(l.lines, oracle);
}

// Sizes and the folder flag, from the generator's own record of what it
// wrote; hard links share their record's size.
TEST_P(GeneratedListing, LongFormatCarriesManifestSizes) {
  const auto& g = Generate(GetParam());
  ASSERT_TRUE(g.ok) << g.log;
  Listing l = List(g.image, true);
  ASSERT_EQ(l.ran.status, 0) << l.ran.err;
  std::map<std::string, std::string> sizeOf;  // path -> size column
  for (const std::string& line : l.lines) {
    std::vector<std::string> f;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
      f.push_back(line.substr(start, tab - start));
    f.push_back(line.substr(start));
    ASSERT_EQ(f.size(), 5u) << line;
    sizeOf[f[0]] = f[3];
  }
  size_t checked = 0;
  for (const auto& m : zw::test::ReadManifest(g.manifest)) {
    auto it = sizeOf.find("D:\\" + m.path);
    if (m.kind == 'X' || it == sizeOf.end()) continue;
    ++checked;
    if (m.kind == 'D') {
      EXPECT_EQ(it->second, "<DIR>") << m.path;
    } else {
      // Digits may be grouped for reading; compare the digits only.
      std::string digits;
      for (char c : it->second)
        if (c >= '0' && c <= '9') digits += c;
      EXPECT_EQ(digits, std::to_string(m.size)) << m.path;
    }
  }
  EXPECT_GT(checked, sizeOf.size() * 9 / 10);
}

INSTANTIATE_TEST_SUITE_P(
    Geometries, GeneratedListing,
    testing::Values(ImageConfig{"list-plain", 201, 4000, {}},
                    ImageConfig{"list-frag", 202, 4000, {"--fragment-mft"}},
                    ImageConfig{
                        "list-4096", 203, 3000, {"--sector-size", "4096", "--fragment-mft"}},
                    ImageConfig{"list-c512", 204, 2000, {"--cluster-size", "512"}},
                    ImageConfig{"list-c64k", 205, 2000, {"--cluster-size", "64K"}}),
    [](const testing::TestParamInfo<ImageConfig>& info) {
      std::string name;
      for (char c : info.param.name)
        if (std::isalnum(static_cast<unsigned char>(c))) name += c;
      return name;
    });

const std::string kReal = zw::test::TestDataDir() + "/ntfs-real";

void ExpectRealVolume(const std::string& binding, const std::string& expectedListing) {
  Listing l = List(binding);
  ASSERT_EQ(l.ran.status, 0) << l.ran.err;
  Oracle oracle = zw::test::OracleFromFls(zw::test::Slurp(kReal + "/expected/" + expectedListing));
  ASSERT_FALSE(oracle.groups.empty());
  std::vector<std::string> problems = zw::test::CompareWithOracle(l.lines, oracle);
  EXPECT_TRUE(problems.empty()) << zw::test::Joined(problems) << "listing:\n"
                                << zw::test::Joined(l.lines, 80);
  ExpectRecordOrder(l.lines, oracle);
}

TEST(RealVolumes, CharlieEqualsFls) {
  std::string image = zw::test::RealImagePath(zw::test::RealImage::Charlie);
  ASSERT_FALSE(image.empty()) << zw::test::RealImageProblem(zw::test::RealImage::Charlie);
  ExpectRealVolume(image, "go-ntfs-charlie.fls.txt");
  // The expected listing is fls's; the image must still give it.
  Oracle live = FlsOracle({}, image);
  Oracle stored =
      zw::test::OracleFromFls(zw::test::Slurp(kReal + "/expected/go-ntfs-charlie.fls.txt"));
  EXPECT_EQ(live.groups, stored.groups);
}

TEST(RealVolumes, VssTestEqualsFls) {
  std::string image = zw::test::RealImagePath(zw::test::RealImage::VssTest);
  ASSERT_FALSE(image.empty()) << zw::test::RealImageProblem(zw::test::RealImage::VssTest);
  ExpectRealVolume(image, "plaso-vsstest.fls.txt");
}

// A whole-disk image: the volume is partition 1 of its MBR.
TEST(RealVolumes, Windows20H1PartitionEqualsFls) {
  std::string image = zw::test::RealImagePath(zw::test::RealImage::Windows20H1);
  ASSERT_FALSE(image.empty()) << zw::test::RealImageProblem(zw::test::RealImage::Windows20H1);
  ExpectRealVolume(image + ":1", "ntfs-samples-ntfs-20h1.fls.txt");
}

}  // namespace

#endif  // _WIN32
