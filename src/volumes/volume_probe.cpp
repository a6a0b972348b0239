#include "volumes/volume_probe.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "ntfs/boot_sector.h"
#include "ntfs/record.h"
#include "ntfs/run_list.h"
#include "ntfs/volume_io.h"
#include "ntfs/volume_reader.h"
#include "platform/raw_volume.h"

namespace zw {
namespace {

constexpr uint64_t kVolumeRecord = 3;
constexpr uint64_t kBitmapRecord = 6;

std::u16string TrimmedAscii(const uint8_t* p, size_t n) {
  std::u16string s;
  for (size_t i = 0; i < n; ++i) s += char16_t(p[i] < 0x80 ? p[i] : u'?');
  while (!s.empty() && s.back() == u' ') s.pop_back();
  return s;
}

void ReadNtfsLabel(VolumeReader& reader, VolumeProbe& out) {
  std::vector<uint8_t> record(reader.bytesPerRecord);
  if (!reader.ReadRecord(kVolumeRecord, record.data())) return;
  ntfs::AttributeWalker walker(ntfs::Bytes{record.data(), record.size()});
  ntfs::Attribute attr;
  while (walker.Next(attr)) {
    if (attr.Type() != ntfs::kAttrVolumeName || attr.NonResident() || !attr.ValueFits()) continue;
    ntfs::Bytes value = attr.Value();
    out.label.resize(value.size / 2);
    ntfs::CopyUtf16(value.data, out.label.size(), out.label.data());
    return;
  }
}

// Counts the clear bits of $Bitmap for the clusters the volume has.
void CountFreeClusters(VolumeReader& reader, uint64_t totalClusters, VolumeProbe& out) {
  std::vector<uint8_t> record(reader.bytesPerRecord);
  if (!reader.ReadRecord(kBitmapRecord, record.data())) return;
  ntfs::AttributeWalker walker(ntfs::Bytes{record.data(), record.size()});
  ntfs::Attribute attr;
  while (walker.Next(attr)) {
    if (attr.Type() != ntfs::kAttrData || !attr.Unnamed()) continue;
    std::vector<uint8_t> bitmap;
    if (!attr.NonResident()) {
      if (!attr.ValueFits()) return;
      ntfs::Bytes v = attr.Value();
      bitmap.assign(v.data, v.data + v.size);
    } else {
      if (!attr.NonResidentHeaderFits() || attr.LowestVcn() != 0) return;
      uint64_t size = attr.RealSize();
      if (size > kMaxBitmapBytes || size < (totalClusters + 7) / 8) return;
      bitmap.assign(size_t(size), 0);
      ntfs::RunListDecoder runs(attr.RunList());
      ntfs::DataRun run;
      const uint64_t cluster = reader.bytesPerCluster;
      while (runs.Next(run)) {
        if (run.vcn >= (size + cluster - 1) / cluster) break;
        uint64_t start = run.vcn * cluster;
        uint64_t bytes = std::min<uint64_t>(run.length * cluster, size - start);
        if (run.sparse) continue;  // reads as zeros
        if (run.lcn > UINT64_MAX / cluster) return;
        if (!ntfs::ReadVolumeBytes(reader.handle, run.lcn * cluster, bitmap.data() + start,
                                   size_t(bytes)))
          return;
      }
      if (runs.End() != ntfs::RunListEnd::Terminator) return;
      if (runs.NextVcn() * cluster < (totalClusters + 7) / 8) return;  // bitmap incomplete
    }
    if (bitmap.size() < (totalClusters + 7) / 8) return;
    uint64_t used = 0;
    const uint64_t whole = totalClusters / 8;
    for (uint64_t i = 0; i < whole; ++i) used += uint64_t(std::popcount(bitmap[size_t(i)]));
    for (uint64_t c = whole * 8; c < totalClusters; ++c)
      used += (bitmap[size_t(c / 8)] >> (c % 8)) & 1;
    out.freeBytes = (totalClusters - used) * reader.bytesPerCluster;
    out.freeKnown = true;
    return;
  }
}

}  // namespace

bool ProbeVolume(char16_t letter, VolumeProbe& out) {
  out = VolumeProbe{};
  platform::RawVolume volume;
  if (!volume.Open(letter)) return false;
  std::vector<uint8_t> sector(std::max<uint32_t>(volume.SectorSize(), 512));
  size_t got = 0;
  if (!volume.ReadAt(0, sector.data(), sector.size(), got) || got < 512) return false;
  const uint8_t* b = sector.data();
  if (std::memcmp(b + 3, "NTFS    ", 8) == 0) {
    ntfs::BootSector boot;
    if (ntfs::ParseBootSector(b, 512, boot) != ntfs::BootSectorStatus::Ok) return false;
    out.fileSystem = u"NTFS";
    out.serialNumber = uint32_t(boot.serialNumber);
    volume.Close();
    VolumeReader reader;
    if (!reader.Open(letter)) return true;  // the name is known; the rest stays empty
    ReadNtfsLabel(reader, out);
    const uint64_t totalClusters = boot.totalSectors / (boot.bytesPerCluster / boot.bytesPerSector);
    CountFreeClusters(reader, totalClusters, out);
    return true;
  }
  if (std::memcmp(b + 3, "EXFAT   ", 8) == 0) {
    out.fileSystem = u"exFAT";
    return true;
  }
  if (b[510] != 0x55 || b[511] != 0xAA) return false;
  if (std::memcmp(b + 82, "FAT32   ", 8) == 0) {
    out.fileSystem = u"FAT32";
    out.label = TrimmedAscii(b + 71, 11);
  } else if (std::memcmp(b + 54, "FAT", 3) == 0) {
    out.fileSystem = u"FAT";
    out.label = TrimmedAscii(b + 43, 11);
  } else {
    return false;
  }
  if (out.label == u"NO NAME") out.label.clear();
  return true;
}

}  // namespace zw
