// Whole runs of the command line over images made by the project's generator,
// checked against the generator's own manifest of what it wrote.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <system_error>

#include <unistd.h>

#include "cli/cli_runner.h"

// Builds without the generator (Windows, the TSan preset) have none of these.
#ifdef ZW_MKIMAGE

namespace zw::test {
namespace {

struct Node {
  char kind = 0;  // D folder, F file
  uint64_t size = 0;
  std::set<std::string> paths;  // every name of the record, "D:\..."
};

struct Manifest {
  std::map<uint64_t, Node> records;  // live records only
  std::map<std::string, uint64_t> recordOfPath;
};

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> cells;
  size_t start = 0;
  for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
    cells.push_back(line.substr(start, tab - start));
  }
  cells.push_back(line.substr(start));
  return cells;
}

Manifest ParseManifest(const std::string& text, char letter) {
  Manifest m;
  const std::string root = std::string(1, letter) + ":\\";
  std::istringstream in(text);
  std::vector<std::vector<std::string>> links;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const auto cells = SplitTabs(line);
    if (cells.size() < 5) continue;
    // Top-level names beginning with "$" (and all below them) are left out,
    // like the volume's own metadata.
    if (cells[4].rfind('$', 0) == 0) continue;
    if (cells[0] == "D" || cells[0] == "F") {
      const uint64_t record = std::stoull(cells[1]);
      Node& node = m.records[record];
      node.kind = cells[0][0];
      node.size = std::stoull(cells[2]);
      node.paths.insert(root + cells[4]);
      m.recordOfPath[root + cells[4]] = record;
    } else if (cells[0] == "L") {
      links.push_back(cells);
    }
  }
  for (const auto& cells : links) {
    const uint64_t record = std::stoull(cells[1]);
    auto it = m.records.find(record);
    if (it == m.records.end()) continue;
    it->second.paths.insert(root + cells[4]);
    m.recordOfPath[root + cells[4]] = record;
  }
  return m;
}

struct Generated {
  std::string image;  // empty when the generator failed
  std::string error;  // then what it said
};

// Makes the image once per process.
Generated GeneratedImage(const std::string& name, const std::vector<std::string>& options) {
  const std::string dir = BinaryDir() + "/test-data";
  std::filesystem::create_directories(dir);
  const std::string image = dir + "/" + name + ".img";
  if (std::filesystem::exists(image) && std::filesystem::exists(image + ".manifest")) {
    return {image, {}};
  }
  // Test processes run in parallel and may want the same image at once: each
  // makes its own copy and renames it into place, manifest first, so none
  // sees (or removes) another's half-written one.
  const std::string mine = image + "." + std::to_string(getpid());
  std::vector<std::string> args = options;
  for (const char* a : {"--out", "", "--manifest", "", "--force", "--quiet"}) args.push_back(a);
  args[options.size() + 1] = mine;
  args[options.size() + 3] = mine + ".manifest";
  const CliResult r = RunProgram(ZW_MKIMAGE, args);
  if (r.status != 0) {
    return {{}, "zw-mkimage exited with " + std::to_string(r.status) + ": " + r.err};
  }
  std::error_code ec;
  std::filesystem::rename(mine + ".manifest", image + ".manifest", ec);
  if (!ec) std::filesystem::rename(mine, image, ec);
  if (ec) return {{}, "cannot move " + mine + " into place: " + ec.message()};
  return {image, {}};
}

void ExpectListingMatchesManifest(const std::string& image, char letter) {
  const Manifest m = ParseManifest(ReadFile(image + ".manifest"), letter);
  ASSERT_FALSE(m.records.empty());
  const CliResult r = RunCli({"--drive", std::string(1, letter) + "=" + image, "list", "--long"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");

  std::set<uint64_t> seen;
  uint64_t previous = 0;
  size_t rows = 0;
  for (const std::string& line : r.OutLines()) {
    ++rows;
    const auto cells = SplitTabs(line);
    ASSERT_EQ(cells.size(), 5u) << line;
    const std::string& path = cells[0];
    const auto found = m.recordOfPath.find(path);
    ASSERT_NE(found, m.recordOfPath.end()) << "not on the volume: " << path;
    const uint64_t record = found->second;
    const Node& node = m.records.at(record);
    EXPECT_TRUE(seen.insert(record).second) << "listed twice: " << path;
    EXPECT_GT(record, previous) << "out of MFT order: " << path;
    previous = record;

    const size_t slash = path.rfind('\\');
    EXPECT_EQ(cells[1], path.substr(slash + 1));
    EXPECT_EQ(cells[2], path.substr(0, slash));
    if (node.kind == 'D') {
      EXPECT_EQ(cells[3], "<DIR>") << path;
    } else {
      EXPECT_EQ(cells[3], std::to_string(node.size)) << path;
    }
  }
  EXPECT_EQ(rows, m.records.size());
  for (const auto& [record, node] : m.records) {
    if (!seen.count(record)) ADD_FAILURE() << "missing: " << *node.paths.begin();
  }
}

TEST(GeneratedImage, ListingMatchesWhatTheGeneratorWrote) {
  const Generated g = GeneratedImage("cli-seed7", {"--seed", "7", "--count", "4000"});
  ASSERT_FALSE(g.image.empty()) << g.error;
  ExpectListingMatchesManifest(g.image, 'D');
}

TEST(GeneratedImage, AFragmentedMftListsTheSame) {
  const Generated g =
      GeneratedImage("cli-seed8-frag", {"--seed", "8", "--count", "6000", "--fragment-mft"});
  ASSERT_FALSE(g.image.empty()) << g.error;
  ExpectListingMatchesManifest(g.image, 'K');
}

TEST(GeneratedImage, OutputIsTheSameRunAfterRun) {
  const Generated g = GeneratedImage("cli-seed7", {"--seed", "7", "--count", "4000"});
  ASSERT_FALSE(g.image.empty()) << g.error;
  const std::string& image = g.image;
  const CliResult a = RunCli({"--drive", "D=" + image, "list"});
  const CliResult b = RunCli({"--drive", "D=" + image, "list"});
  EXPECT_EQ(a.status, 0);
  EXPECT_FALSE(a.out.empty());
  EXPECT_EQ(a.out, b.out);
}

}  // namespace
}  // namespace zw::test

#endif  // ZW_MKIMAGE
