#include "ntfs/record.h"

namespace zw::ntfs {

namespace {
// The smallest attribute header (resident form) is 24 bytes; anything shorter
// would make the fixed header fields overlap the next attribute.
constexpr uint32_t kMinAttributeLength = 0x18;
}  // namespace

FixupResult ApplyFixups(uint8_t* record, size_t size) {
  Bytes rec{record, size};
  if (size < kFixupStride || size % kFixupStride != 0) return FixupResult::BadHeader;
  const size_t arrayOffset = rec.U16(0x04);
  const size_t count = rec.U16(0x06);
  const size_t sectors = size / kFixupStride;
  // Fewer entries than strides would leave sectors unchecked and their last
  // word wrong; extra entries are unused.
  if (count < sectors + 1 || (arrayOffset & 1) != 0 || !rec.Fits(arrayOffset, 2 * count))
    return FixupResult::BadHeader;
  const uint16_t usn = rec.U16(arrayOffset);
  for (size_t i = 1; i <= sectors; ++i) {
    if (rec.U16(i * kFixupStride - 2) != usn) return FixupResult::Mismatch;
  }
  for (size_t i = 1; i <= sectors; ++i) {
    const size_t p = i * kFixupStride - 2;
    record[p] = record[arrayOffset + 2 * i];
    record[p + 1] = record[arrayOffset + 2 * i + 1];
  }
  return FixupResult::Ok;
}

bool Attribute::ValueFits() const {
  if (NonResident() || raw.size < kMinAttributeLength) return false;
  return raw.Fits(raw.U16(0x14), raw.U32(0x10));
}

Bytes Attribute::Value() const {
  if (!ValueFits()) return {};
  return raw.Sub(raw.U16(0x14), raw.U32(0x10));
}

Bytes Attribute::RunList() const {
  if (!NonResidentHeaderFits()) return {};
  const size_t offset = raw.U16(0x20);
  if (offset < 0x40 || offset > raw.size) return {};
  return raw.Sub(offset, raw.size - offset);
}

AttributeWalker::AttributeWalker(Bytes record) : record_(record) {
  offset_ = record_.U16(0x14);
  if (record_.size < 16 || offset_ < 0x18) {
    done_ = true;
    damaged_ = true;
  }
}

bool AttributeWalker::Next(Attribute& out) {
  if (done_) return false;
  // The end marker needs only its type field; a real attribute its header.
  if (offset_ >= record_.size - 16 || !record_.Fits(offset_, 8)) {
    done_ = true;
    return false;
  }
  const uint32_t type = record_.U32(offset_);
  if (type == kAttrEnd) {
    done_ = true;
    return false;
  }
  const uint32_t length = record_.U32(offset_ + 4);
  if (length < kMinAttributeLength || !record_.Fits(offset_, length)) {
    done_ = true;
    damaged_ = true;
    return false;
  }
  out.raw = record_.Sub(offset_, length);
  offset_ += length;
  return true;
}

}  // namespace zw::ntfs
