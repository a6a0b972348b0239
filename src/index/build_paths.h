// Completes the entries of one drive after the MFT scan: full paths from the
// parent chain, lower-case names, extensions, and sizes the MFT left at 0.
#pragma once

#include <string_view>
#include <vector>

#include "index/file_entry.h"

namespace zw {

struct VolumeReader;

// How many ancestors a path names at most: deeper chains keep the nearest,
// after kCutPathMark.
inline constexpr int kMaxPathDepth = 256;

// Only the reader's drive letter is used. Without `derivedFields` only paths
// and sizes are filled: the index derives the rest from the name itself.
void BuildPaths(const VolumeReader& reader, std::vector<FileEntry>& entries,
                bool derivedFields = true);
void BuildPaths(char16_t letter, std::vector<FileEntry>& entries, bool derivedFields = true);

// The derived fields of one entry from its `name` and `isFolder`: `lowerName`,
// `extension`, `lowerExtension`. Shared with changes applied after the scan.
void SetDerivedNameFields(FileEntry& entry);

}  // namespace zw
