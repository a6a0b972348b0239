// Full paths from the parent chain, and sizes the MFT left at 0, built as
// strings: the fallback of CompleteScannedDrive for the volumes its links
// cannot describe (a record number seen twice, a loop), and the reference its
// output is held to.
#pragma once

#include <string_view>
#include <vector>

#include "index/file_entry.h"

namespace zw {

// How many ancestors a path names at most: deeper chains keep the nearest,
// after kCutPathMark.
inline constexpr int kMaxPathDepth = 256;

// Only paths and sizes are filled: the store derives the rest from the name.
void BuildPaths(char16_t letter, std::vector<FileEntry>& entries);

}  // namespace zw
