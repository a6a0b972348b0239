// The entries in the order of their paths, read from the folder tree instead
// of comparing built paths: each folder's children sorted by name once, then
// walked. Ordinal path order is not a plain depth-first walk: "C:\a b" sorts
// after "C:\a" but before "C:\a\x" (' ' < '\'), so among siblings a folder's
// subtree is placed by its name followed by "\".
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "index/entry_store.h"

namespace zw {

// Entry numbers ascending by path, exactly as sorting the built paths would
// give them; none where the tree cannot tell (a kept path, a deleted entry,
// siblings with one name, a name holding "\"): the caller sorts paths then.
std::optional<std::vector<uint32_t>> TreePathOrder(const EntryStore& entries);

}  // namespace zw
