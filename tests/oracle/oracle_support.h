// The independent side of the listing tests: The Sleuth Kit's fls, and the
// comparison of a listing with it record by record. Header-only: the area's
// executable is made of its *_test.cpp files.
#pragma once

#ifndef _WIN32

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_paths.h"

extern char** environ;

namespace zw::test {

struct Ran {
  int status = -1;  // exit status; -1 when the program did not exit normally
  std::string out;
  std::string err;
};

inline std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs a program without a shell; stdout and stderr go through files so a
// large listing cannot block on a pipe.
inline Ran RunTool(const std::vector<std::string>& args) {
  static std::mutex mutex;
  static int counter = 0;
  std::string base;
  {
    std::lock_guard lock(mutex);
    base = BinaryDir() + "/test-scratch/oracle-run-" + std::to_string(getpid()) + "-" +
           std::to_string(counter++);
  }
  std::filesystem::create_directories(BinaryDir() + "/test-scratch");
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, (base + ".out").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, (base + ".err").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  Ran ran;
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) ran.status = WEXITSTATUS(status);
  } else {
    ran.err = "cannot start " + args[0];
  }
  posix_spawn_file_actions_destroy(&actions);
  ran.out = Slurp(base + ".out");
  ran.err += Slurp(base + ".err");
  std::filesystem::remove(base + ".out");
  std::filesystem::remove(base + ".err");
  return ran;
}

inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// What fls says a volume holds: for each allocated MFT record, the full
// paths ("D:\a\b") of its names. A record with several names (hard links)
// may be listed under any one of them. Records that have a name the path
// rule drops ("D:\$...") are optional: whether they are listed depends on
// which name the reader picks.
struct Oracle {
  std::map<uint64_t, std::set<std::string>> groups;
  std::set<uint64_t> optional;
  std::map<std::string, uint64_t> recordOf;
  std::vector<std::pair<std::string, uint64_t>> cutPaths;  // see IsCutByFls
  size_t deletedLines = 0;
  size_t streamLines = 0;
};

// The Sleuth Kit keeps at most about 256 bytes of UTF-8 per name, so a long
// name in a non-Latin script comes out cut. A path matches such a cut path
// when it starts with it.
inline bool IsCutByFls(const std::string& flsPath) {
  size_t slash = flsPath.find_last_of("\\/");
  size_t last = slash == std::string::npos ? flsPath.size() : flsPath.size() - slash - 1;
  return last >= 240;
}

inline bool FlsPathMatches(const std::string& flsPath, const std::string& path) {
  if (flsPath == path) return true;
  return IsCutByFls(flsPath) && path.size() > flsPath.size() &&
         path.compare(0, flsPath.size(), flsPath) == 0;
}

// Parses `fls -r -p` output: "r/r 64-128-2:\tdocs/a.txt", deleted names
// marked "r/r * 64-128-2(realloc):\t...".
inline Oracle OracleFromFls(const std::string& text, char drive = 'D') {
  Oracle o;
  for (const std::string& line : SplitLines(text)) {
    size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    std::string meta = line.substr(0, tab), path = line.substr(tab + 1);
    if (meta.find(" * ") != std::string::npos) {
      ++o.deletedLines;
      continue;
    }
    size_t space = meta.rfind(' ');
    if (space == std::string::npos) continue;
    uint64_t record = std::stoull(meta.substr(space + 1));
    size_t slash = path.rfind('/');
    std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
    if (last.find(':') != std::string::npos) {  // a named stream, not a name
      ++o.streamLines;
      continue;
    }
    std::string full = std::string(1, drive) + ":\\";
    for (char c : path) full += c == '/' ? '\\' : c;
    if (path.empty() || path[0] == '$') {
      // Metadata, the recycle bin and all below them: dropped by the path
      // rule. The record may still be listed under another of its names.
      o.optional.insert(record);
      o.groups[record];
      continue;
    }
    o.groups[record].insert(full);
    o.recordOf[full] = record;
    if (IsCutByFls(full)) o.cutPaths.emplace_back(full, record);
  }
  return o;
}

// The record fls gives for a path, also through a cut name; 0 when unknown
// (record 0 is $MFT, never listed).
inline uint64_t FindRecord(const Oracle& o, const std::string& path) {
  auto it = o.recordOf.find(path);
  if (it != o.recordOf.end()) return it->second;
  for (const auto& [cut, record] : o.cutPaths)
    if (FlsPathMatches(cut, path)) return record;
  return 0;
}

// The differences between a listing and the oracle, as readable lines;
// empty when they agree.
inline std::vector<std::string> CompareWithOracle(const std::vector<std::string>& listing,
                                                  const Oracle& o) {
  std::vector<std::string> problems;
  std::map<uint64_t, std::vector<std::string>> seen;
  for (const std::string& path : listing) {
    uint64_t record = FindRecord(o, path);
    if (record == 0) {
      problems.push_back("listed but unknown to fls: " + path);
      continue;
    }
    seen[record].push_back(path);
  }
  for (const auto& [record, paths] : o.groups) {
    auto it = seen.find(record);
    size_t n = it == seen.end() ? 0 : it->second.size();
    if (n > 1) {
      std::string all;
      for (const std::string& p : it->second) all += " | " + p;
      problems.push_back("record " + std::to_string(record) + " listed " + std::to_string(n) +
                         " times:" + all);
    } else if (n == 0 && !paths.empty() && o.optional.count(record) == 0) {
      problems.push_back("missing (record " + std::to_string(record) + "): " + *paths.begin());
    }
  }
  return problems;
}

inline std::string Joined(const std::vector<std::string>& lines, size_t limit = 30) {
  std::string s;
  for (size_t i = 0; i < lines.size() && i < limit; ++i) s += lines[i] + "\n";
  if (lines.size() > limit) s += "... and " + std::to_string(lines.size() - limit) + " more\n";
  return s;
}

}  // namespace zw::test

#endif  // _WIN32
