#include "search/name_index.h"

#include <algorithm>
#include <numeric>

namespace zw {

void ClearNameIndex(NameIndex& index) {
  index.entries = nullptr;
  std::vector<uint32_t>().swap(index.nameOrder);
  index.ngramEnabled = false;
}

void RebuildNameIndex(NameIndex& index) {
  if (index.entries == nullptr || index.entries->empty()) return;
  const auto& entries = *index.entries;
  index.nameOrder.resize(entries.size());
  std::iota(index.nameOrder.begin(), index.nameOrder.end(), 0u);
  std::sort(index.nameOrder.begin(), index.nameOrder.end(),
            [&](uint32_t a, uint32_t b) { return entries[a].lowerName < entries[b].lowerName; });
}

}  // namespace zw
