// Where the tests find the shared data, the build tree and the tools.
#pragma once

#include <string>

namespace zw::test {

std::string SourceDir();
std::string BinaryDir();
std::string TestDataDir();  // ../shared/testdata
// A fresh folder under the build tree for one test's files.
std::string ScratchDir(const std::string& name);

}  // namespace zw::test
