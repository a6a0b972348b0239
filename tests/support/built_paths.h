// BuildPaths plus the derived name fields the store gives every entry, for
// tests that compare whole FileEntry values.
#pragma once

#include <vector>

#include "index/build_paths.h"

namespace zw::test {

inline void BuildPathsAndNames(char16_t letter, std::vector<FileEntry>& entries) {
  BuildPaths(letter, entries);
  for (FileEntry& e : entries) SetDerivedNameFields(e);
}

}  // namespace zw::test
