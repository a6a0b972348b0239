// Record number -> position in a drive's entries, for the passes that
// resolve parent record numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "base/records.h"

namespace zw {

// Record number -> position. Record numbers of one volume are dense (they
// are positions in the MFT), so a flat array is both smaller and much faster
// than a hash map; numbers far apart (hand-made input) fall back to one.
class RecordMap {
 public:
  RecordMap(uint64_t maxRecord, size_t entryCount, size_t hashBuckets) {
    dense_ = maxRecord < 4 * uint64_t(entryCount) + 65536;
    if (dense_) {
      flat_.assign(size_t(maxRecord) + 1, kNoEntry);
    } else {
      hashed_.max_load_factor(1.0f);
      hashed_.reserve(hashBuckets);
    }
  }
  uint32_t Find(uint64_t record) const {
    if (dense_) {
      return record < flat_.size() ? flat_[size_t(record)] : kNoEntry;
    }
    const auto it = hashed_.find(record);
    return it == hashed_.end() ? kNoEntry : it->second;
  }
  void Set(uint64_t record, uint32_t position) {
    if (dense_) {
      if (record < flat_.size()) flat_[size_t(record)] = position;
    } else {
      hashed_[record] = position;
    }
  }

 private:
  bool dense_ = true;
  std::vector<uint32_t> flat_;
  std::unordered_map<uint64_t, uint32_t> hashed_;
};

}  // namespace zw
