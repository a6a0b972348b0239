// Runs the built command line and collects what it printed. Header-only: the
// area's executable is made of its *_test.cpp files.
#pragma once

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "support/real_images.h"
#include "support/test_paths.h"

namespace zw::test {

struct CliResult {
  int status = -1;  // exit status; -1 when it did not exit normally
  std::string out;
  std::string err;

  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::vector<std::string> OutLines() const { return Lines(out); }
  std::vector<std::string> ErrLines() const { return Lines(err); }
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline CliResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
  static std::mutex mutex;
  static int counter = 0;
  std::string base;
  {
    std::lock_guard lock(mutex);
#ifdef _WIN32
    const long long pid = 0;
#else
    const long long pid = ::getpid();
#endif
    base = BinaryDir() + "/test-scratch/cli-run-" + std::to_string(pid) + "-" +
           std::to_string(counter++);
  }
  std::filesystem::create_directories(BinaryDir() + "/test-scratch");
#ifdef _WIN32
  // cmd.exe: double quotes, and one more pair around the whole line, which
  // cmd /c strips.
  auto quote = [](const std::string& a) { return "\"" + a + "\""; };
  std::string command = "\"" + quote(program);
  for (const std::string& a : args) command += " " + quote(a);
  command += " <NUL >" + quote(base + ".out") + " 2>" + quote(base + ".err") + "\"";
  const int raw = std::system(command.c_str());
  CliResult result;
  result.status = raw;
#else
  // Settings go to a scratch folder, never the user's own ~/.config.
  std::string command = "XDG_CONFIG_HOME=" + ShellQuote(BinaryDir() + "/test-scratch/cli-config") +
                        " " + ShellQuote(program);
  for (const std::string& a : args) command += " " + ShellQuote(a);
  command += " </dev/null >" + ShellQuote(base + ".out") + " 2>" + ShellQuote(base + ".err");
  const int raw = std::system(command.c_str());
  CliResult result;
  if (raw != -1 && WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
#endif
  result.out = ReadFile(base + ".out");
  result.err = ReadFile(base + ".err");
  std::filesystem::remove(base + ".out");
  std::filesystem::remove(base + ".err");
  return result;
}

inline CliResult RunCli(const std::vector<std::string>& args) {
  return RunProgram(ZW_CLI, args);
}

// A real 40 MiB volume written by Windows.
inline std::string CharlieImage() {
  return RealImagePath(RealImage::Charlie);
}

// `volume` behind a 1 MiB MBR that holds it as primary entry `slot` (1-4).
inline std::string WithMbr(const std::string& volume, int slot, const std::string& name) {
  const std::string path = BinaryDir() + "/test-data/" + name;
  const std::string bytes = ReadFile(volume);
  constexpr uint32_t kStart = 2048;
  const uint32_t sectors = uint32_t(bytes.size() / 512);
  std::string mbr(512, '\0');
  const size_t entry = 446 + 16 * size_t(slot - 1);
  mbr[entry + 4] = char(0x07);  // NTFS / exFAT
  for (int i = 0; i < 4; ++i) {
    mbr[entry + 8 + i] = char((kStart >> (8 * i)) & 0xFF);
    mbr[entry + 12 + i] = char((sectors >> (8 * i)) & 0xFF);
  }
  mbr[510] = char(0x55);
  mbr[511] = char(0xAA);
  std::string disk = mbr + std::string(kStart * 512 - 512, '\0') + bytes;
  WriteFile(path, disk);
  return path;
}

}  // namespace zw::test
