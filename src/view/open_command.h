// What a double click on a result row asks of the user's shell: to open the
// entry with its associated program, or (in the folder column) to show it
// selected in its folder. The entry's path travels as it is, never inside a
// command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zw {
struct FileIndex;
class EntryAccess;
}  // namespace zw

namespace zw::view {

enum class OpenAction : uint8_t { kOpen, kShowInFolder };

// Why a path is not handed to the shell, though the entry exists.
enum class OpenRefusal : uint8_t {
  kNone,
  kAlteredPath,  // Win32 would reach another object by it (a trailing dot, a stream, a
                 // backslash inside a name...)
  kPathCut,      // below a chain deeper than paths follow: the whole path is unknown
};

struct OpenCommand {
  OpenAction action = OpenAction::kOpen;
  std::u16string path;                       // the entry's full path, as indexed
  OpenRefusal refusal = OpenRefusal::kNone;  // anything else: never asked of the shell
};

// Nothing when there is no such entry or it has no path (deleted). Takes the
// name index lock shared.
std::optional<OpenCommand> OpenCommandFor(const FileIndex& index, uint32_t entryNumber,
                                          uint32_t column);
// The same within the caller's hold.
std::optional<OpenCommand> OpenCommandFor(const EntryAccess& hold, uint32_t entryNumber,
                                          uint32_t column);

}  // namespace zw::view
