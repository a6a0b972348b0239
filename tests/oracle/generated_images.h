// Test images made by zw-mkimage at test time, once per process and
// configuration, under the build tree.
#pragma once

#ifndef _WIN32

#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <unistd.h>

#include "oracle/oracle_support.h"

namespace zw::test {

struct ImageConfig {
  std::string name;  // also the file name under test-scratch/oracle-images
  uint64_t seed = 1;
  uint32_t count = 2000;
  std::vector<std::string> extra;  // more zw-mkimage options
};

struct GeneratedImage {
  bool ok = false;
  std::string image;
  std::string manifest;
  std::string log;  // the generator's stderr, for failure messages
};

inline const GeneratedImage& Generate(const ImageConfig& c) {
  static std::mutex mutex;
  static std::map<std::string, GeneratedImage> made;
  std::lock_guard lock(mutex);
  auto it = made.find(c.name);
  if (it != made.end()) return it->second;
  // Tests run as parallel processes: each makes its own images, in a folder
  // of its own that goes away with it.
  struct ProcessDir {
    std::string path = BinaryDir() + "/test-scratch/oracle-images/" + std::to_string(getpid());
    ~ProcessDir() {
      std::error_code ec;
      std::filesystem::remove_all(path, ec);
    }
  };
  static ProcessDir processDir;
  const std::string& dir = processDir.path;
  std::filesystem::create_directories(dir);
  GeneratedImage g;
  g.image = dir + "/" + c.name + ".img";
  g.manifest = dir + "/" + c.name + ".manifest";
  std::vector<std::string> args = {
      ZW_MKIMAGE, "--seed", std::to_string(c.seed), "--count",  std::to_string(c.count),
      "--out",    g.image,  "--manifest",           g.manifest, "--force",
      "--quiet"};
  args.insert(args.end(), c.extra.begin(), c.extra.end());
  Ran ran = RunTool(args);
  g.ok = ran.status == 0;
  g.log = ran.err;
  return made.emplace(c.name, g).first->second;
}

// One line of a manifest.
struct ManifestLine {
  char kind = 0;  // D, F, L, X
  uint64_t record = 0;
  uint64_t size = 0;
  std::string flags;
  std::string path;  // below the root, "\"-separated
  std::string target;
};

inline std::vector<ManifestLine> ReadManifest(const std::string& path) {
  std::vector<ManifestLine> lines;
  for (const std::string& text : SplitLines(Slurp(path))) {
    if (text.empty() || text[0] == '#') continue;
    std::vector<std::string> f;
    size_t start = 0;
    for (size_t tab; (tab = text.find('\t', start)) != std::string::npos; start = tab + 1)
      f.push_back(text.substr(start, tab - start));
    f.push_back(text.substr(start));
    if (f.size() < 5) continue;
    ManifestLine m;
    m.kind = f[0].empty() ? '?' : f[0][0];
    m.record = std::stoull(f[1]);
    m.size = std::stoull(f[2]);
    m.flags = f[3];
    m.path = f[4];
    if (f.size() > 5) m.target = f[5];
    lines.push_back(m);
  }
  return lines;
}

}  // namespace zw::test

#endif  // _WIN32
