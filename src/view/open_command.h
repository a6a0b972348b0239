// What a double click on a result row starts: the entry itself with its
// associated program, or (in the folder column) the file manager with the
// entry selected.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zw {
struct FileIndex;
}

namespace zw::view {

struct OpenCommand {
  std::u16string file;        // what ShellExecute opens with the verb "open"
  std::u16string parameters;  // empty: none
};

// Nothing when there is no such entry, it has no path (deleted), or its path
// is cut (EntryRef::pathCut). Takes the name index lock shared.
std::optional<OpenCommand> OpenCommandFor(const FileIndex& index, uint32_t entryNumber,
                                          uint32_t column);

}  // namespace zw::view
