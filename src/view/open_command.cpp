#include "view/open_command.h"

#include <shared_mutex>

#include "index/file_index.h"
#include "view/cell_text.h"

namespace zw::view {

std::optional<OpenCommand> OpenCommandFor(const FileIndex& index, uint32_t entryNumber,
                                          uint32_t column) {
  std::shared_lock hold(index.nameIndex.lock);
  const std::optional<EntryRef> e = LookupEntry(index, entryNumber);
  // A cut path is not the entry's path: opening it would reach another file.
  if (!e || e->pathCut()) return std::nullopt;
  std::u16string path = e->path();
  if (path.empty()) return std::nullopt;
  OpenCommand command;
  if (column == kColumnFolder) {
    // Quoted, so that a blank in the path does not split the argument.
    command.file = u"explorer.exe";
    command.parameters = u"/select,\"" + path + u"\"";
  } else {
    command.file = std::move(path);
  }
  return command;
}

}  // namespace zw::view
