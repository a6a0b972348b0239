// Decoding of a non-resident attribute's run list (its extents on disk).
// Every field is checked against the list's bytes and every sum against
// overflow: a damaged list ends the decoding, it never wraps around.
#pragma once

#include <cstdint>

#include "ntfs/ondisk.h"

namespace zw::ntfs {

struct DataRun {
  uint64_t vcn = 0;     // first virtual cluster of the run within the attribute
  uint64_t lcn = 0;     // first logical cluster on the volume (0 when sparse)
  uint64_t length = 0;  // clusters, never 0
  bool sparse = false;
};

enum class RunListEnd {
  Terminator,  // a 0 header byte: the normal end
  Truncated,   // the list's bytes ran out before a terminator or inside a run
  BadHeader,   // a field size above 8 or a length field of size 0
  BadRun,      // a run of 0 clusters, or arithmetic that would overflow or go below 0
};

class RunListDecoder {
 public:
  // `firstVcn` is the attribute's lowest VCN (0 except in extension records).
  explicit RunListDecoder(Bytes list, uint64_t firstVcn = 0) : list_(list), vcn_(firstVcn) {}

  // The next run, or false at the end; `End` then says why.
  bool Next(DataRun& out);
  RunListEnd End() const { return end_; }
  // The VCN after the last run decoded so far.
  uint64_t NextVcn() const { return vcn_; }

 private:
  bool Stop(RunListEnd why) {
    end_ = why;
    done_ = true;
    return false;
  }

  Bytes list_;
  size_t pos_ = 0;
  uint64_t vcn_ = 0;
  int64_t lcn_ = 0;
  bool done_ = false;
  RunListEnd end_ = RunListEnd::Terminator;
};

}  // namespace zw::ntfs
