// Crafts NTFS structures byte by byte for tests, benchmarks and fuzz seeds:
// MFT records with chosen attributes, run lists, and whole small volumes
// (boot sector + MFT) written to an image file. Header-only so that bench/
// and fuzz/ can use it without the test libraries.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace zw::test {

using ByteVec = std::vector<uint8_t>;

inline void PutLe(ByteVec& b, size_t offset, uint64_t value, size_t width) {
  if (b.size() < offset + width) b.resize(offset + width);
  for (size_t i = 0; i < width; ++i) b[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}
inline uint64_t GetLe(const ByteVec& b, size_t offset, size_t width) {
  uint64_t v = 0;
  for (size_t i = width; i-- > 0;) v = (v << 8) | b[offset + i];
  return v;
}
inline size_t Align8(size_t v) {
  return (v + 7) & ~size_t{7};
}

struct Run {
  uint64_t length;
  int64_t delta;  // LCN change from the previous run
  bool sparse = false;
};

// Minimal run-list bytes for `runs`, ended by a 0 byte.
inline ByteVec EncodeRuns(const std::vector<Run>& runs) {
  ByteVec out;
  for (const Run& r : runs) {
    size_t lenBytes = 1;
    while (lenBytes < 8 && (r.length >> (8 * lenBytes)) != 0) ++lenBytes;
    size_t offBytes = 0;
    if (!r.sparse) {
      offBytes = 1;
      while (offBytes < 8) {
        const int64_t lo = -(int64_t{1} << (8 * offBytes - 1));
        const int64_t hi = (int64_t{1} << (8 * offBytes - 1)) - 1;
        if (r.delta >= lo && r.delta <= hi) break;
        ++offBytes;
      }
    }
    out.push_back(static_cast<uint8_t>((offBytes << 4) | lenBytes));
    for (size_t i = 0; i < lenBytes; ++i) out.push_back(static_cast<uint8_t>(r.length >> (8 * i)));
    for (size_t i = 0; i < offBytes; ++i)
      out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(r.delta) >> (8 * i)));
  }
  out.push_back(0);
  return out;
}

enum Namespace : uint8_t { kPosix = 0, kWin32 = 1, kDos = 2, kWin32AndDos = 3 };

inline ByteVec FileNameValue(uint64_t parent, const std::u16string& name, uint8_t ns,
                             uint64_t realSize = 0, uint16_t parentSeq = 1) {
  ByteVec v(0x42 + 2 * name.size(), 0);
  PutLe(v, 0x00, parent | (uint64_t{parentSeq} << 48), 8);
  PutLe(v, 0x28, (realSize + 4095) & ~uint64_t{4095}, 8);
  PutLe(v, 0x30, realSize, 8);
  v[0x40] = static_cast<uint8_t>(name.size());
  v[0x41] = ns;
  for (size_t i = 0; i < name.size(); ++i) PutLe(v, 0x42 + 2 * i, name[i], 2);
  return v;
}

inline ByteVec StandardInfoValue(uint64_t created, uint64_t modified, uint32_t attributes) {
  ByteVec v(72, 0);
  PutLe(v, 0x00, created, 8);
  PutLe(v, 0x08, modified, 8);
  PutLe(v, 0x10, modified, 8);
  PutLe(v, 0x18, modified, 8);
  PutLe(v, 0x20, attributes, 4);
  return v;
}

struct ListEntry {
  uint32_t type;
  uint64_t startVcn;
  uint64_t record;
  uint16_t id = 0;
};

inline ByteVec AttributeListValue(const std::vector<ListEntry>& entries) {
  ByteVec v;
  for (const ListEntry& e : entries) {
    const size_t p = v.size();
    v.resize(p + 0x20, 0);
    PutLe(v, p + 0x00, e.type, 4);
    PutLe(v, p + 0x04, 0x20, 2);
    v[p + 0x07] = 0x1A;
    PutLe(v, p + 0x08, e.startVcn, 8);
    PutLe(v, p + 0x10, e.record | (uint64_t{1} << 48), 8);
    PutLe(v, p + 0x18, e.id, 2);
  }
  return v;
}

// One MFT record. Attributes are appended in call order; Finish() ends the
// list and protects every 512 bytes with the update sequence number.
class RecordBuilder {
 public:
  static constexpr uint16_t kInUse = 1, kDirectory = 2;

  explicit RecordBuilder(uint32_t size = 1024, uint16_t flags = kInUse, uint64_t baseRecord = 0)
      : bytes_(size, 0) {
    const size_t count = size / 512 + 1;
    PutLe(bytes_, 0x00, 0x454C4946, 4);
    PutLe(bytes_, 0x04, 0x30, 2);
    PutLe(bytes_, 0x06, count, 2);
    PutLe(bytes_, 0x10, 1, 2);
    PutLe(bytes_, 0x12, 1, 2);
    next_ = Align8(0x30 + 2 * count);
    PutLe(bytes_, 0x14, next_, 2);
    PutLe(bytes_, 0x16, flags, 2);
    PutLe(bytes_, 0x1C, size, 4);
    PutLe(bytes_, 0x20, baseRecord == 0 ? 0 : (baseRecord | (uint64_t{1} << 48)), 8);
  }

  RecordBuilder& Resident(uint32_t type, const ByteVec& value, const std::u16string& name = u"") {
    const size_t nameOff = 0x18;
    const size_t valueOff = Align8(nameOff + 2 * name.size());
    const size_t length = Align8(valueOff + value.size());
    ByteVec a(length, 0);
    PutLe(a, 0x00, type, 4);
    PutLe(a, 0x04, length, 4);
    a[0x09] = static_cast<uint8_t>(name.size());
    PutLe(a, 0x0A, nameOff, 2);
    PutLe(a, 0x0E, nextId_++, 2);
    PutLe(a, 0x10, value.size(), 4);
    PutLe(a, 0x14, valueOff, 2);
    for (size_t i = 0; i < name.size(); ++i) PutLe(a, nameOff + 2 * i, name[i], 2);
    if (!value.empty()) std::memcpy(a.data() + valueOff, value.data(), value.size());
    return Raw(a);
  }

  RecordBuilder& NonResident(uint32_t type, const ByteVec& runList, uint64_t realSize,
                             uint64_t lowestVcn = 0, uint64_t highestVcn = 0,
                             const std::u16string& name = u"") {
    const size_t nameOff = 0x40;
    const size_t runOff = Align8(nameOff + 2 * name.size());
    const size_t length = Align8(runOff + runList.size());
    ByteVec a(length, 0);
    PutLe(a, 0x00, type, 4);
    PutLe(a, 0x04, length, 4);
    a[0x08] = 1;
    a[0x09] = static_cast<uint8_t>(name.size());
    PutLe(a, 0x0A, nameOff, 2);
    PutLe(a, 0x0E, nextId_++, 2);
    PutLe(a, 0x10, lowestVcn, 8);
    PutLe(a, 0x18, highestVcn, 8);
    PutLe(a, 0x20, runOff, 2);
    PutLe(a, 0x28, (realSize + 4095) & ~uint64_t{4095}, 8);
    PutLe(a, 0x30, realSize, 8);
    PutLe(a, 0x38, realSize, 8);
    for (size_t i = 0; i < name.size(); ++i) PutLe(a, nameOff + 2 * i, name[i], 2);
    if (!runList.empty()) std::memcpy(a.data() + runOff, runList.data(), runList.size());
    return Raw(a);
  }

  RecordBuilder& StandardInfo(uint64_t created, uint64_t modified, uint32_t attributes) {
    return Resident(0x10, StandardInfoValue(created, modified, attributes));
  }
  RecordBuilder& FileName(uint64_t parent, const std::u16string& name, uint8_t ns,
                          uint64_t realSize = 0) {
    return Resident(0x30, FileNameValue(parent, name, ns, realSize));
  }
  RecordBuilder& Data(const ByteVec& content) { return Resident(0x80, content); }

  // Attribute bytes as they stand (damaged ones too).
  RecordBuilder& Raw(const ByteVec& attribute) {
    if (next_ + attribute.size() + 8 > bytes_.size()) bytes_.resize(next_ + attribute.size() + 8);
    std::memcpy(bytes_.data() + next_, attribute.data(), attribute.size());
    next_ += attribute.size();
    return *this;
  }

  // The record with the end marker and fixups; `usn` is the sequence number
  // written at the end of every 512 bytes.
  ByteVec Finish(uint16_t usn = 0x0102) const {
    ByteVec b = bytes_;
    PutLe(b, next_, 0xFFFFFFFF, 4);
    PutLe(b, 0x18, next_ + 8, 4);
    b.resize(GetLe(b, 0x1C, 4));
    const size_t usa = GetLe(b, 0x04, 2);
    PutLe(b, usa, usn, 2);
    for (size_t i = 1; i * 512 <= b.size(); ++i) {
      PutLe(b, usa + 2 * i, GetLe(b, i * 512 - 2, 2), 2);
      PutLe(b, i * 512 - 2, usn, 2);
    }
    return b;
  }

 private:
  ByteVec bytes_;
  size_t next_ = 0;
  uint16_t nextId_ = 0;
};

// A small volume: boot sector, MFT extents, and arbitrary other clusters.
// Records 0..15 get minimal in-use metadata records unless given; record 0
// always describes the MFT's extents.
struct VolumeSpec {
  uint32_t bytesPerSector = 512;
  uint8_t sectorsPerClusterByte = 8;  // 4096-byte clusters
  int8_t clustersPerRecord = -10;     // 1024-byte records
  uint32_t bytesPerCluster = 4096;    // must agree with the two above
  uint32_t bytesPerRecord = 1024;
  // MFT extents as (LCN, clusters), in VCN order.
  std::vector<std::pair<uint64_t, uint64_t>> mftExtents{{16, 64}};
  uint64_t totalClusters = 4096;
  uint64_t mftBytesOverride = 0;  // 0: the extents' size
};

class VolumeBuilder {
 public:
  explicit VolumeBuilder(VolumeSpec layout = {}) : spec_(std::move(layout)) {
    image_.assign(spec_.totalClusters * spec_.bytesPerCluster, 0);
    ByteVec boot(512, 0);
    boot[0] = 0xEB;
    boot[1] = 0x52;
    boot[2] = 0x90;
    std::memcpy(boot.data() + 3, "NTFS    ", 8);
    PutLe(boot, 0x0B, spec_.bytesPerSector, 2);
    boot[0x0D] = spec_.sectorsPerClusterByte;
    boot[0x15] = 0xF8;
    PutLe(boot, 0x28, spec_.totalClusters * spec_.bytesPerCluster / spec_.bytesPerSector - 1, 8);
    PutLe(boot, 0x30, spec_.mftExtents.front().first, 8);
    PutLe(boot, 0x38, 2, 8);
    boot[0x40] = static_cast<uint8_t>(spec_.clustersPerRecord);
    boot[0x44] = 1;
    PutLe(boot, 0x48, 0x1234567890ABCDEFull, 8);
    boot[510] = 0x55;
    boot[511] = 0xAA;
    Put(0, boot);
    uint64_t clusters = 0;
    for (auto& e : spec_.mftExtents) clusters += e.second;
    recordCount_ = clusters * spec_.bytesPerCluster / spec_.bytesPerRecord;
    for (uint64_t n = 1; n < 16; ++n) {
      RecordBuilder r(spec_.bytesPerRecord, n == 5 ? 3 : 1);
      r.StandardInfo(1, 1, 6);
      if (n == 5) r.FileName(5, u".", kWin32AndDos);
      SetRecord(n, r.Finish());
    }
    SetRecord(0, MftRecord().Finish());
  }

  uint64_t RecordCount() const { return recordCount_; }
  const VolumeSpec& Spec() const { return spec_; }

  // Record 0 as it would be made by default; tests may change and re-set it.
  RecordBuilder MftRecord() const {
    RecordBuilder r(spec_.bytesPerRecord, 1);
    r.StandardInfo(1, 1, 6);
    r.FileName(5, u"$MFT", kWin32AndDos);
    r.NonResident(
        0x80, EncodeRuns(MftRuns()),
        spec_.mftBytesOverride ? spec_.mftBytesOverride : recordCount_ * spec_.bytesPerRecord, 0,
        ClusterTotal() - 1);
    return r;
  }
  std::vector<Run> MftRuns() const {
    std::vector<Run> runs;
    int64_t lcn = 0;
    for (auto& e : spec_.mftExtents) {
      runs.push_back({e.second, static_cast<int64_t>(e.first) - lcn});
      lcn = static_cast<int64_t>(e.first);
    }
    return runs;
  }
  uint64_t ClusterTotal() const {
    uint64_t c = 0;
    for (auto& e : spec_.mftExtents) c += e.second;
    return c;
  }

  // Byte offset on the volume of MFT byte `mftOffset`.
  uint64_t VolumeOffsetOfMft(uint64_t mftOffset) const {
    uint64_t vcn = mftOffset / spec_.bytesPerCluster;
    for (auto& e : spec_.mftExtents) {
      if (vcn < e.second)
        return (e.first + vcn) * spec_.bytesPerCluster + mftOffset % spec_.bytesPerCluster;
      vcn -= e.second;
    }
    return ~uint64_t{0};
  }

  void SetRecord(uint64_t n, const ByteVec& record) {
    size_t done = 0;
    while (done < record.size()) {
      const uint64_t mftOffset = n * spec_.bytesPerRecord + done;
      const size_t piece = std::min<size_t>(
          record.size() - done, spec_.bytesPerCluster - mftOffset % spec_.bytesPerCluster);
      const uint64_t at = VolumeOffsetOfMft(mftOffset);
      if (at + piece > image_.size()) image_.resize(at + piece);
      std::memcpy(image_.data() + at, record.data() + done, piece);
      done += piece;
    }
  }
  void Put(uint64_t offset, const ByteVec& bytes) {
    if (image_.size() < offset + bytes.size()) image_.resize(offset + bytes.size());
    std::memcpy(image_.data() + offset, bytes.data(), bytes.size());
  }
  ByteVec& Image() { return image_; }

  bool WriteTo(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image_.data()),
              static_cast<std::streamsize>(image_.size()));
    return static_cast<bool>(out);
  }

 private:
  VolumeSpec spec_;
  ByteVec image_;
  uint64_t recordCount_ = 0;
};

}  // namespace zw::test
