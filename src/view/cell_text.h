// The texts of the result list's four columns for one entry, read through
// the index's lock, so that the window never touches an entry's strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/columns.h"

namespace zw {
struct FileIndex;
class EntryAccess;
}  // namespace zw

namespace zw::view {

// One list cell: 1023 units and the terminator.
inline constexpr size_t kCellTextCapacity = 1024;

// The path up to its last backslash ("C:" for an entry at the root); the
// whole path when it has none, or only one in front.
std::u16string_view FolderOf(std::u16string_view path);

// "2024-03-01 14:05" in local time into `out`, terminated; empty when the
// time cannot be converted. Returns the length.
size_t FormatDateText(uint64_t filetime, char16_t* out, size_t capacity);

// Writes the text of `column` for entry `entryNumber` into `out` (cut to
// capacity - 1 and terminated); any other column gives the empty text.
// Names and folders come as shown_text.h shows them.
// False, writing nothing, when there is no such entry to show. Takes the
// name index lock shared.
bool CellText(const FileIndex& index, uint32_t entryNumber, uint32_t column, char16_t* out,
              size_t capacity);
// The same within the caller's hold (a row's entry number is read in it).
bool CellText(const EntryAccess& hold, uint32_t entryNumber, uint32_t column, char16_t* out,
              size_t capacity);

}  // namespace zw::view
