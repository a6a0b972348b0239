#include "view/open_command.h"

#include <shared_mutex>

#include "index/file_index.h"
#include "platform/win32_path.h"
#include "view/cell_text.h"

namespace zw::view {

std::optional<OpenCommand> OpenCommandFor(const FileIndex& index, uint32_t entryNumber,
                                          uint32_t column) {
  std::shared_lock hold(index.nameIndex.lock);
  const std::optional<EntryRef> e = LookupEntry(index, entryNumber);
  if (!e) return std::nullopt;
  OpenCommand command;
  e->PathInto(command.path);
  if (command.path.empty()) return std::nullopt;
  command.action = column == kColumnFolder ? OpenAction::kShowInFolder : OpenAction::kOpen;
  // A backslash inside the entry's own name makes its path name another
  // file (a crafted "x\a.exe" reads as the file a.exe in a folder x).
  if (platform::Win32AltersPath(command.path) ||
      e->name().find_first_of(u"\\/") != std::u16string_view::npos)
    command.refusal = OpenRefusal::kAlteredPath;
  return command;
}

}  // namespace zw::view
