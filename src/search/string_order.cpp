#include "search/string_order.h"

namespace zw {

std::vector<uint32_t> RanksOf(const std::vector<uint32_t>& order) {
  std::vector<uint32_t> rank(order.size());
  for (uint32_t k = 0; k < order.size(); ++k) rank[order[k]] = k;
  return rank;
}

}  // namespace zw
