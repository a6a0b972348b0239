// The test-image generator: its tree model, and the images it writes, checked
// against The Sleuth Kit rather than against itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "name_model.h"

#ifndef _WIN32
#include "oracle/generated_images.h"
#endif

namespace {

using zw::gen::IsListed;
using zw::gen::kRoot;
using zw::gen::MakeTree;
using zw::gen::Node;
using zw::gen::Profile;

std::u16string FoldForTest(const std::u16string& s) {
  std::u16string out = s;
  for (char16_t& c : out)
    if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
  return out;
}

bool SameNodes(const std::vector<Node>& a, const std::vector<Node>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].name != b[i].name || a[i].parent != b[i].parent || a[i].isFolder != b[i].isFolder ||
        a[i].size != b[i].size || a[i].flags != b[i].flags || a[i].linkOf != b[i].linkOf ||
        a[i].modificationTime != b[i].modificationTime)
      return false;
  return true;
}

TEST(NameModel, SameSeedSameTreeOtherSeedOtherTree) {
  EXPECT_TRUE(SameNodes(MakeTree(7, 5000), MakeTree(7, 5000)));
  EXPECT_FALSE(SameNodes(MakeTree(7, 5000), MakeTree(8, 5000)));
  EXPECT_EQ(MakeTree(7, 5000).size(), 5000u);
  EXPECT_EQ(MakeTree(7, 1).size(), 1u);
  EXPECT_EQ(MakeTree(7, 0).size(), 0u);
}

// Everything a writer relies on: parents first, folders as parents, names
// that NTFS and Windows accept and that are unique in their folder.
TEST(NameModel, TreeIsWellFormed) {
  const std::pair<Profile, uint32_t> kCases[] = {
      {Profile::Short, 1},     {Profile::Short, 17},  {Profile::Short, 100}, {Profile::Short, 3000},
      {Profile::Short, 60000}, {Profile::Long, 1},    {Profile::Long, 17},   {Profile::Long, 100},
      {Profile::Long, 3000},   {Profile::Long, 60000}};
  for (auto [profile, count] : kCases) {
    std::vector<Node> nodes = MakeTree(count, count, profile);
    ASSERT_EQ(nodes.size(), count);
    std::set<std::pair<uint32_t, std::u16string>> names;
    for (uint32_t i = 0; i < nodes.size(); ++i) {
      const Node& n = nodes[i];
      SCOPED_TRACE(testing::Message()
                   << "profile " << int(profile) << " count " << count << " node " << i);
      ASSERT_TRUE(n.parent == kRoot || n.parent < i);
      if (n.parent != kRoot) {
        ASSERT_TRUE(nodes[n.parent].isFolder);
        ASSERT_FALSE(nodes[n.parent].flags & zw::gen::kDeleted);
      }
      ASSERT_FALSE(n.name.empty());
      ASSERT_LE(n.name.size(), 255u);
      ASSERT_NE(n.name.back(), u' ');
      ASSERT_NE(n.name.back(), u'.');
      for (char16_t c : n.name)
        ASSERT_TRUE(c >= 32 &&
                    std::u16string_view(u"\\/:*?\"<>|").find(c) == std::u16string_view::npos);
      // A high surrogate is always followed by a low one.
      for (size_t k = 0; k < n.name.size(); ++k) {
        if (n.name[k] >= 0xD800 && n.name[k] < 0xDC00) {
          ASSERT_TRUE(k + 1 < n.name.size() && n.name[k + 1] >= 0xDC00 && n.name[k + 1] < 0xE000);
        }
      }
      ASSERT_TRUE(names.insert({n.parent, FoldForTest(n.name)}).second);
      if (n.isFolder) {
        ASSERT_EQ(n.size, 0u);
      }
      if (n.flags & zw::gen::kHardLink) {
        ASSERT_LT(n.linkOf, i);
        ASSERT_FALSE(nodes[n.linkOf].isFolder);
        ASSERT_FALSE(nodes[n.linkOf].flags & (zw::gen::kHardLink | zw::gen::kDeleted));
      }
      ASSERT_LE(n.creationTime, n.modificationTime);
    }
  }
}

// A few thousand nodes already hold every kind of name and record the
// reader has to cope with.
TEST(NameModel, SmallTreeHoldsEveryCase) {
  std::vector<Node> nodes = MakeTree(3, 2000);
  auto any = [&](auto pred) { return std::any_of(nodes.begin(), nodes.end(), pred); };
  auto hasExt = [](const Node& n, std::u16string_view ext) {
    return !n.isFolder && n.name.size() > ext.size() &&
           n.name.compare(n.name.size() - ext.size(), ext.size(), ext) == 0;
  };
  EXPECT_TRUE(any([](const Node& n) {
    return std::any_of(n.name.begin(), n.name.end(),
                       [](char16_t c) { return c >= 0xAC00 && c <= 0xD7A3; });
  })) << "Hangul";
  EXPECT_TRUE(any([](const Node& n) {
    return std::any_of(n.name.begin(), n.name.end(),
                       [](char16_t c) { return c >= 0xD800 && c < 0xDC00; });
  })) << "a character outside the BMP";
  EXPECT_TRUE(any([&](const Node& n) {
    return hasExt(n, u".JPG") || hasExt(n, u".PDF") || hasExt(n, u".MP3");
  }));
  EXPECT_TRUE(
      any([](const Node& n) { return !n.isFolder && n.name.find(u'.') == std::u16string::npos; }));
  EXPECT_TRUE(any([](const Node& n) { return !n.isFolder && n.name[0] == u'.'; }));
  EXPECT_TRUE(any([](const Node& n) { return n.name.size() == 255; }));
  EXPECT_TRUE(any([](const Node& n) { return n.flags & zw::gen::kDeleted; }));
  EXPECT_TRUE(any([](const Node& n) { return n.flags & zw::gen::kManyStreams; }));
  EXPECT_TRUE(any([](const Node& n) { return n.flags & zw::gen::kFragmented; }));
  EXPECT_TRUE(any([](const Node& n) { return !n.isFolder && n.size == 0; }));
  EXPECT_TRUE(any([](const Node& n) { return n.size > (1u << 20); }));
  EXPECT_TRUE(any([](const Node& n) { return !n.isFolder && n.size > 0 && n.size < 600; }));

  // The many-links file carries all its links, in other folders too.
  auto many = std::find_if(nodes.begin(), nodes.end(),
                           [](const Node& n) { return n.flags & zw::gen::kManyLinks; });
  ASSERT_NE(many, nodes.end());
  uint32_t id = uint32_t(many - nodes.begin());
  std::set<uint32_t> parents;
  int links = 0;
  for (const Node& n : nodes)
    if ((n.flags & zw::gen::kHardLink) && n.linkOf == id) {
      ++links;
      parents.insert(n.parent);
    }
  EXPECT_EQ(links, zw::gen::kManyLinksCount);
  EXPECT_GT(parents.size(), 1u);

  uint32_t maxDepth = 0;
  for (uint32_t i = 0; i < nodes.size(); ++i)
    maxDepth = std::max(maxDepth, zw::gen::DepthOf(nodes, i));
  EXPECT_GE(maxDepth, 5u);
  EXPECT_LE(maxDepth, 13u);
}

// The long profile is there to look like a system drive to the index: long
// names, mostly capitals, some non-ASCII, long component folders and the
// usual Windows extensions.
TEST(NameModel, LongProfileLooksLikeASystemDrive) {
  std::vector<Node> nodes = MakeTree(1, 30000, Profile::Long);
  size_t listed = 0, units = 0, capital = 0, nonAscii = 0, folders = 0, longFolders = 0;
  std::set<std::u16string> exts;
  for (const Node& n : nodes) {
    if (!IsListed(n)) continue;
    ++listed;
    units += n.name.size();
    capital += std::any_of(n.name.begin(), n.name.end(),
                           [](char16_t c) { return c >= u'A' && c <= u'Z'; });
    nonAscii += std::any_of(n.name.begin(), n.name.end(), [](char16_t c) { return c > 0x7F; });
    if (n.isFolder) {
      ++folders;
      longFolders += n.name.size() >= 60 && n.name.size() <= 120;
    } else if (size_t dot = n.name.rfind(u'.'); dot != std::u16string::npos) {
      exts.insert(n.name.substr(dot));
    }
  }
  ASSERT_GT(listed, 29000u);
  EXPECT_NEAR(double(units) / double(listed), 21.0, 3.0);
  EXPECT_NEAR(double(capital) / double(listed), 0.66, 0.08);
  EXPECT_NEAR(double(nonAscii) / double(listed), 0.12, 0.04);
  EXPECT_GT(double(longFolders) / double(folders), 0.04);
  for (std::u16string_view ext : {u".dll", u".exe", u".mui", u".manifest", u".cat", u".pf", u".etl",
                                  u".log", u".json", u".png", u".js"})
    EXPECT_EQ(exts.count(std::u16string(ext)), 1u) << std::string(ext.begin(), ext.end());
  // The default profile is the short one.
  std::vector<Node> fallback = MakeTree(1, 3000), shortOne = MakeTree(1, 3000, Profile::Short);
  EXPECT_TRUE(SameNodes(fallback, shortOne));
}

TEST(NameModel, PathsJoinTheChainOfParents) {
  std::vector<Node> nodes(3);
  nodes[0] = {u"문서", kRoot, true};
  nodes[1] = {u"2024", 0, true};
  nodes[2] = {u"보고서.txt", 1, false};
  EXPECT_EQ(zw::gen::PathOf(nodes, 2), u"문서\\2024\\보고서.txt");
  EXPECT_EQ(zw::gen::PathOf(nodes, 0, u'/'), u"문서");
  EXPECT_EQ(zw::gen::DepthOf(nodes, 2), 3u);
  // A loop must not hang the walk.
  nodes[0].parent = 2;
  EXPECT_LE(zw::gen::PathOf(nodes, 2).size(), 100u);
  Node link{u"x", kRoot, false, 0, zw::gen::kHardLink, 2};
  EXPECT_FALSE(IsListed(link));
  EXPECT_TRUE(IsListed(nodes[1]));
}

#ifndef _WIN32

using zw::test::Generate;
using zw::test::ImageConfig;
using zw::test::ReadManifest;
using zw::test::RunTool;

// The manifest and fls agree on every allocated record and every name: the
// generator wrote what it says it wrote, and nothing else.
void ExpectManifestMatchesFls(const ImageConfig& config, std::vector<std::string> flsArgs = {}) {
  const auto& g = Generate(config);
  ASSERT_TRUE(g.ok) << g.log;
  std::vector<std::string> args = {"fls", "-r", "-p"};
  args.insert(args.end(), flsArgs.begin(), flsArgs.end());
  args.push_back(g.image);
  zw::test::Ran fls = RunTool(args);
  ASSERT_EQ(fls.status, 0) << fls.err;
  zw::test::Oracle oracle = zw::test::OracleFromFls(fls.out);

  std::map<uint64_t, std::set<std::string>> expected;
  std::set<uint64_t> deleted;
  for (const auto& m : ReadManifest(g.manifest)) {
    if (m.kind == 'X') {
      deleted.insert(m.record);
      continue;
    }
    if (m.path.empty() || m.path[0] == '$') continue;
    expected[m.record].insert("D:\\" + m.path);
  }
  std::map<uint64_t, std::set<std::string>> actual;
  for (const auto& [record, paths] : oracle.groups)
    if (!paths.empty()) actual[record] = paths;
  EXPECT_EQ(actual.size(), expected.size());
  for (const auto& [record, paths] : expected) {
    auto it = actual.find(record);
    ASSERT_NE(it, actual.end()) << "record " << record << " " << *paths.begin();
    ASSERT_EQ(it->second.size(), paths.size()) << "record " << record;
    for (const std::string& fls : it->second)
      EXPECT_TRUE(
          std::any_of(paths.begin(), paths.end(),
                      [&](const std::string& p) { return zw::test::FlsPathMatches(fls, p); }))
          << "record " << record << ": fls has " << fls;
  }
  for (uint64_t record : deleted)
    EXPECT_EQ(actual.count(record), 0u) << "deleted record " << record;
  EXPECT_GT(oracle.deletedLines, 0u) << "deleted names leave traces fls can see";
  EXPECT_GE(oracle.streamLines, size_t(zw::gen::kManyStreamsCount));
}

TEST(Generator, ImageHoldsExactlyTheManifest) {
  ExpectManifestMatchesFls({"plain-512", 101, 3000, {}});
  ExpectManifestMatchesFls({"long-names", 108, 3000, {"--names", "long", "--fragment-mft"}});
}

TEST(Generator, FourKibSectorsAndFragmentedMft) {
  ExpectManifestMatchesFls({"frag-4096", 102, 2500, {"--sector-size", "4096", "--fragment-mft"}});
  const auto& g = Generate({"frag-4096", 102, 2500, {}});
  zw::test::Ran fs = RunTool({"fsstat", g.image});
  EXPECT_NE(fs.out.find("Sector Size: 4096"), std::string::npos) << fs.out;
}

TEST(Generator, SmallClustersAndLargeClusters) {
  ExpectManifestMatchesFls({"cluster-512", 103, 1500, {"--cluster-size", "512"}});
  ExpectManifestMatchesFls({"cluster-64k", 104, 1500, {"--cluster-size", "64K"}});
}

// Counts the runs istat shows for one attribute: a line per run is not
// printed, so count the breaks in the cluster sequence.
size_t ClusterRuns(const std::string& istat, const std::string& attributeHeader) {
  size_t at = istat.find(attributeHeader);
  if (at == std::string::npos) return 0;
  size_t end = istat.find("Type:", at + attributeHeader.size());
  std::istringstream in(istat.substr(at, end == std::string::npos ? std::string::npos : end - at));
  std::string line;
  std::getline(in, line);
  size_t runs = 0;
  long long previous = -2;
  for (std::string word; in >> word;) {
    long long c = std::stoll(word);
    if (c == 0) continue;  // istat shows unallocated tails as cluster 0
    if (c != previous + 1) ++runs;
    previous = c;
  }
  return runs;
}

TEST(Generator, FragmentedMftHasSeveralExtents) {
  const auto& frag = Generate({"frag-512", 105, 3000, {"--fragment-mft"}});
  ASSERT_TRUE(frag.ok) << frag.log;
  zw::test::Ran istat = RunTool({"istat", frag.image, "0"});
  ASSERT_EQ(istat.status, 0);
  EXPECT_GE(ClusterRuns(istat.out, "Type: $DATA (128-"), 4u) << istat.out.substr(0, 3000);

  const auto& plain = Generate({"plain-512", 101, 3000, {}});
  ASSERT_TRUE(plain.ok) << plain.log;
  istat = RunTool({"istat", plain.image, "0"});
  EXPECT_EQ(ClusterRuns(istat.out, "Type: $DATA (128-"), 1u);
}

// The records whose attributes overflow into extension records really do:
// the names of the many-links file, the streams, the fragmented $DATA.
TEST(Generator, AttributeListsMoveAttributesOut) {
  const auto& g = Generate({"plain-512", 101, 3000, {}});
  ASSERT_TRUE(g.ok) << g.log;
  std::map<std::string, uint64_t> special;
  for (const auto& m : ReadManifest(g.manifest))
    if (m.kind == 'F' && (m.flags == "links" || m.flags == "streams" || m.flags == "fragmented"))
      special[m.flags] = m.record;
  ASSERT_EQ(special.size(), 3u);
  for (const auto& [what, record] : special) {
    SCOPED_TRACE(what);
    zw::test::Ran istat = RunTool({"istat", g.image, std::to_string(record)});
    ASSERT_EQ(istat.status, 0);
    EXPECT_NE(istat.out.find("$ATTRIBUTE_LIST"), std::string::npos);
    // The attribute list names records other than the base.
    bool elsewhere = false;
    const std::string key = "MFT Entry: ";
    for (size_t at = istat.out.find(key); at != std::string::npos; at = istat.out.find(key, at + 1))
      elsewhere = elsewhere || std::stoull(istat.out.substr(at + key.size())) != record;
    EXPECT_TRUE(elsewhere) << istat.out.substr(0, 2000);
  }
  zw::test::Ran istat = RunTool({"istat", g.image, std::to_string(special["fragmented"])});
  EXPECT_GE(ClusterRuns(istat.out, "Type: $DATA (128-"), 100u);
}

// Some files carry an 8.3 name beside the long one, as Windows writes them.
TEST(Generator, SomeFilesHaveDosNames) {
  const auto& g = Generate({"plain-512", 101, 3000, {}});
  ASSERT_TRUE(g.ok) << g.log;
  size_t checked = 0;
  for (const auto& m : ReadManifest(g.manifest)) {
    if (m.flags != "dos" || checked == 3) continue;
    ++checked;
    zw::test::Ran istat = RunTool({"istat", g.image, std::to_string(m.record)});
    size_t names = 0, shortNames = 0;
    for (const std::string& line : zw::test::SplitLines(istat.out)) {
      if (line.rfind("Name: ", 0) != 0) continue;
      ++names;
      if (line.find("~1") != std::string::npos && line.size() <= 6 + 12) ++shortNames;
    }
    EXPECT_EQ(names, 2u) << istat.out;
    EXPECT_EQ(shortNames, 1u) << istat.out;
  }
  EXPECT_EQ(checked, 3u);
}

TEST(Generator, SameSeedSameImageContent) {
  const auto& a = Generate({"det-a", 106, 1200, {"--fragment-mft"}});
  const auto& b = Generate({"det-b", 106, 1200, {"--fragment-mft"}});
  const auto& c = Generate({"det-c", 107, 1200, {"--fragment-mft"}});
  ASSERT_TRUE(a.ok && b.ok && c.ok);
  EXPECT_EQ(zw::test::Slurp(a.manifest), zw::test::Slurp(b.manifest));
  EXPECT_NE(zw::test::Slurp(a.manifest), zw::test::Slurp(c.manifest));
  // Same records, same clusters: only the time stamps may differ.
  zw::test::Ran fa = RunTool({"fls", "-r", "-p", a.image});
  zw::test::Ran fb = RunTool({"fls", "-r", "-p", b.image});
  EXPECT_EQ(fa.out, fb.out);
}

TEST(Generator, NeverTouchesWhatItDidNotCreate) {
  const std::string dir = zw::test::ScratchDir("mkimage-refuse");
  const std::string existing = dir + "/existing.img";
  zw::test::Ran made = RunTool({"sh", "-c", "printf keep > '" + existing + "'"});
  ASSERT_EQ(made.status, 0);
  zw::test::Ran ran = RunTool({ZW_MKIMAGE, "--count", "10", "--out", existing});
  EXPECT_EQ(ran.status, 2);
  EXPECT_NE(ran.err.find("exists"), std::string::npos) << ran.err;
  EXPECT_EQ(zw::test::Slurp(existing), "keep");

  // Not even with --force when the target is no regular file.
  ran = RunTool({ZW_MKIMAGE, "--count", "10", "--out", dir, "--force"});
  EXPECT_EQ(ran.status, 2);
  EXPECT_NE(ran.err.find("not a regular file"), std::string::npos) << ran.err;
  ran = RunTool({ZW_MKIMAGE, "--count", "10", "--out", "/dev/null", "--force"});
  EXPECT_EQ(ran.status, 2);

  for (auto args : std::vector<std::vector<std::string>>{
           {"--count", "x", "--out", dir + "/a.img"},
           {"--count", "10"},
           {"--count", "10", "--out", dir + "/a.img", "--sector-size", "1000"},
           {"--count", "10", "--out", dir + "/a.img", "--cluster-size", "3000"},
           {"--count", "10", "--out", dir + "/a.img", "--bogus"}}) {
    args.insert(args.begin(), ZW_MKIMAGE);
    ran = RunTool(args);
    EXPECT_EQ(ran.status, 2) << args[1];
    EXPECT_FALSE(ran.err.empty());
  }
  EXPECT_FALSE(std::filesystem::exists(dir + "/a.img"));

  // A failure after the image was started leaves nothing behind either.
  ran = RunTool({ZW_MKIMAGE, "--count", "10", "--out", dir + "/small.img", "--size", "100K"});
  EXPECT_EQ(ran.status, 1);
  EXPECT_NE(ran.err.find("too small"), std::string::npos) << ran.err;
  EXPECT_FALSE(std::filesystem::exists(dir + "/small.img"));
  EXPECT_FALSE(std::filesystem::exists(dir + "/small.img.partial"));
}

#endif  // _WIN32

}  // namespace
