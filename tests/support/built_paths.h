// BuildPaths plus the derived name fields the store gives every entry, for
// tests that compare whole FileEntry values.
#pragma once

#include <vector>

#include "base/ascii.h"
#include "index/build_paths.h"
#include "index/file_entry.h"

namespace zw {

// The derived fields of one entry from its `name` and `isFolder`: `lowerName`,
// `extension`, `lowerExtension`, as the store derives them.
inline void SetDerivedNameFields(FileEntry& entry) {
  entry.lowerName = FoldAscii(entry.name);
  entry.extension.clear();
  entry.lowerExtension.clear();
  if (entry.isFolder) return;
  entry.extension = FileExtension(entry.name);
  entry.lowerExtension = FoldAscii(entry.extension);
}

namespace test {

inline void BuildPathsAndNames(char16_t letter, std::vector<FileEntry>& entries) {
  BuildPaths(letter, entries);
  for (FileEntry& e : entries) SetDerivedNameFields(e);
}

}  // namespace test
}  // namespace zw
