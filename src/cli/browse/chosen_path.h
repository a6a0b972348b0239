// The line browse prints for the chosen entry: its path as `list` prints it,
// or, where the drive is mounted here, the same path under the mount point,
// ready for the next command.
#pragma once

#include <string>
#include <string_view>

namespace zw::cli::browse {

// `path` is the entry's Windows path ("D:\a\b.txt"); `cut` when it is not
// whole (it starts with the cut mark and names no place under a mount
// point); `mountPoint` is where the drive is mounted, or empty. Names are
// shown as list shows them (view/shown_text.h). Ends in a newline.
std::string ChosenPathLine(std::u16string_view path, bool cut, std::string_view mountPoint);

}  // namespace zw::cli::browse
