#include "support/test_paths.h"

#include <filesystem>

namespace zw::test {

std::string SourceDir() { return ZW_SOURCE_DIR; }
std::string BinaryDir() { return ZW_BINARY_DIR; }
std::string TestDataDir() { return ZW_TESTDATA_DIR; }

std::string ScratchDir(const std::string& name) {
  std::filesystem::path dir = std::filesystem::path(ZW_BINARY_DIR) / "test-scratch" / name;
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  std::filesystem::create_directories(dir, ec);
  return dir.string();
}

}  // namespace zw::test
