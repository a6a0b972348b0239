// Every entry's path as UTF-8 lines, made on two threads: a listing of a
// million paths costs about as much to format as the scan that found them.
#pragma once

#include <functional>
#include <string_view>

#include "index/entry_store.h"

namespace zw::cli {

// Calls `write` on this thread with the lines ("path\n", the path as
// view/shown_text.h shows it) of consecutive
// blocks of entries, in index order, until all are written or `write`
// returns false. A helper thread formats every other block meanwhile; the
// entries must not change until this returns.
void ForEachPathBlock(const EntryStore& entries,
                      const std::function<bool(std::string_view lines)>& write);

}  // namespace zw::cli
