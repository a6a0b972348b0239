// Tests reach the entries through the same views as the program.
#pragma once

#include "engine/file_index.h"
#include "index/entry_guard.h"

namespace zw::test {

// For one expression or one block: `Read(index).entries().size()`.
inline EntryReadView Read(const FileIndex& index) {
  return EntryReadView(index.entries);
}

}  // namespace zw::test
