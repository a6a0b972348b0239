#include "view/open_command.h"

#include "engine/file_index.h"
#include "platform/win32_path.h"
#include "view/cell_text.h"

namespace zw::view {

namespace {

// A backslash inside a name on the way up makes the path name another file
// (a crafted "x\a.exe" reads as the file a.exe in a folder x). The links
// never loop; names above an entry whose path is kept are not in them.
bool NameSplitsPath(const EntryStore& entries, uint32_t n) {
  for (uint32_t k = n; k != kNoEntry; k = entries.Record(k).parent) {
    if (entries.RawName(k).find_first_of(u"\\/") != std::u16string_view::npos) return true;
    if (entries.HasKeptPath(k)) break;
  }
  return false;
}

}  // namespace

std::optional<OpenCommand> OpenCommandFor(const FileIndex& index, uint32_t entryNumber,
                                          uint32_t column) {
  const EntryReadView hold(index.entries);
  return OpenCommandFor(hold, entryNumber, column);
}

std::optional<OpenCommand> OpenCommandFor(const EntryAccess& hold, uint32_t entryNumber,
                                          uint32_t column) {
  const std::optional<EntryRef> e = LookupEntry(hold, entryNumber);
  if (!e) return std::nullopt;
  OpenCommand command;
  e->PathInto(command.path);
  if (command.path.empty()) return std::nullopt;
  command.action = column == kColumnFolder ? OpenAction::kShowInFolder : OpenAction::kOpen;
  if (e->pathCut()) {
    // Not the entry's path: opening it would reach another file, or none.
    command.refusal = OpenRefusal::kPathCut;
  } else if (platform::Win32AltersPath(command.path) ||
             NameSplitsPath(hold.entries(), entryNumber)) {
    command.refusal = OpenRefusal::kAlteredPath;
  }
  return command;
}

}  // namespace zw::view
