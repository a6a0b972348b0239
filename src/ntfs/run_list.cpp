#include "ntfs/run_list.h"

#include <limits>

namespace zw::ntfs {

bool RunListDecoder::Next(DataRun& out) {
  if (done_) return false;
  if (!list_.Fits(pos_, 1)) return Stop(RunListEnd::Truncated);
  const uint8_t header = list_.U8(pos_);
  if (header == 0) return Stop(RunListEnd::Terminator);
  const size_t lengthSize = header & 0x0F;
  const size_t offsetSize = header >> 4;
  if (lengthSize == 0 || lengthSize > 8 || offsetSize > 8) return Stop(RunListEnd::BadHeader);
  if (!list_.Fits(pos_ + 1, lengthSize + offsetSize)) return Stop(RunListEnd::Truncated);

  uint64_t length = 0;
  for (size_t i = lengthSize; i-- > 0;) length = (length << 8) | list_.U8(pos_ + 1 + i);
  uint64_t rawOffset = 0;
  for (size_t i = offsetSize; i-- > 0;)
    rawOffset = (rawOffset << 8) | list_.U8(pos_ + 1 + lengthSize + i);

  constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  if (length == 0 || length > kMax - vcn_) return Stop(RunListEnd::BadRun);

  out.vcn = vcn_;
  out.length = length;
  if (offsetSize == 0) {
    out.sparse = true;
    out.lcn = 0;
  } else {
    // Sign-extend from the top bit of the last byte read.
    if (offsetSize < 8 && (rawOffset >> (8 * offsetSize - 1)) & 1)
      rawOffset |= ~uint64_t{0} << (8 * offsetSize);
    const int64_t delta = static_cast<int64_t>(rawOffset);
    if ((delta > 0 && lcn_ > std::numeric_limits<int64_t>::max() - delta) ||
        (delta < 0 && lcn_ < std::numeric_limits<int64_t>::min() - delta))
      return Stop(RunListEnd::BadRun);
    const int64_t lcn = lcn_ + delta;
    if (lcn < 0 || static_cast<uint64_t>(lcn) > kMax - length) return Stop(RunListEnd::BadRun);
    lcn_ = lcn;
    out.sparse = false;
    out.lcn = static_cast<uint64_t>(lcn);
  }
  pos_ += 1 + lengthSize + offsetSize;
  vcn_ += length;
  return true;
}

}  // namespace zw::ntfs
