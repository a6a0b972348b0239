#include "support/test_paths.h"

#include <filesystem>
#include <string>

#ifdef _WIN32
#include <process.h>
#define ZW_GETPID _getpid
#else
#include <unistd.h>
#define ZW_GETPID getpid
#endif

namespace zw::test {

std::string SourceDir() { return ZW_SOURCE_DIR; }
std::string BinaryDir() { return ZW_BINARY_DIR; }
std::string TestDataDir() { return ZW_TESTDATA_DIR; }

namespace {

// ctest may run test processes side by side: each gets a scratch tree of its
// own, removed when the process ends.
struct ProcessScratch {
  std::filesystem::path root = std::filesystem::path(ZW_BINARY_DIR) / "test-scratch" /
                               std::to_string(ZW_GETPID());
  ~ProcessScratch() {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
};

}  // namespace

std::string ScratchDir(const std::string& name) {
  static ProcessScratch scratch;
  std::filesystem::path dir = scratch.root / name;
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  std::filesystem::create_directories(dir, ec);
  return dir.string();
}

}  // namespace zw::test
