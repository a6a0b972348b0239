// Orders entry numbers by a string field of the entries (ordinal, code unit by
// code unit, a proper prefix first). Used for the name order and for the rank
// arrays that let a result sort compare integers instead of strings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "index/file_entry.h"

namespace zw {

// Entry numbers 0..N-1 ascending by entry.*field.
std::vector<uint32_t> OrderBy(const std::vector<FileEntry>& entries,
                              std::u16string FileEntry::*field);

// rank[order[k]] = k.
std::vector<uint32_t> RanksOf(const std::vector<uint32_t>& order);

}  // namespace zw
