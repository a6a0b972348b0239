#include "ntfs/named_stream.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <map>
#include <set>

#include "base/records.h"
#include "ntfs/mft_scan.h"
#include "ntfs/record.h"
#include "ntfs/run_list.h"
#include "ntfs/volume_io.h"

namespace zw::ntfs {

namespace {

bool AttributeNamed(const Attribute& a, std::u16string_view name) {
  if (a.NameLength() != name.size()) return false;
  const size_t offset = a.raw.U16(0x0A);
  if (!a.raw.Fits(offset, 2 * name.size())) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (a.raw.U16(offset + 2 * i) != name[i]) return false;
  }
  return true;
}

struct Piece {
  uint64_t vcn = 0;
  uint64_t lcn = 0;
  uint64_t clusters = 0;
  bool sparse = false;
};

// The stream's pieces from one fixed-up record; the stated size comes from
// the piece at VCN 0 only, as later extents leave it unset.
void CollectPieces(Bytes record, std::u16string_view streamName, std::vector<Piece>& pieces,
                   StreamRead& out, std::vector<uint8_t>* list, bool& haveList,
                   VolumeReader& reader) {
  AttributeWalker walker(record);
  Attribute a;
  while (walker.Next(a)) {
    if (a.Type() == kAttrAttributeList && list != nullptr && !haveList) {
      if (!a.NonResident()) {
        const Bytes value = a.Value();
        list->assign(value.data, value.data + value.size);
        haveList = !value.Empty();
      } else {
        haveList = ReadNonResident(reader, a.raw.data, a.raw.size, *list);
      }
      continue;
    }
    if (a.Type() != kAttrData || !AttributeNamed(a, streamName)) continue;
    out.found = true;
    if (!a.NonResident()) {
      // Small enough to live in the record: the value is the whole stream.
      if (!a.ValueFits()) continue;
      const Bytes value = a.Value();
      out.size = value.size;
      out.bytes.assign(value.data, value.data + value.size);
      pieces.clear();
      return;
    }
    if (!a.NonResidentHeaderFits()) continue;
    if (a.LowestVcn() == 0) out.size = a.RealSize();
    RunListDecoder decoder(a.RunList(), a.LowestVcn());
    DataRun run;
    while (decoder.Next(run)) pieces.push_back({run.vcn, run.lcn, run.length, run.sparse});
  }
}

// Records other than `base` that its attribute list names as holding part
// of the stream.
std::set<uint64_t> ListedHolders(const std::vector<uint8_t>& list, uint64_t base,
                                 std::u16string_view streamName) {
  std::set<uint64_t> holders;
  const Bytes lb{list.data(), list.size()};
  for (size_t p = 0; lb.Fits(p, 26) && holders.size() < kMaxListRecords;) {
    const uint16_t length = lb.U16(p + 4);
    if (length < 26 || !lb.Fits(p, length)) break;
    const size_t nameLength = lb.U8(p + 6);
    const size_t nameOffset = lb.U8(p + 7);
    bool named = lb.U32(p) == kAttrData && nameLength == streamName.size() &&
                 nameOffset + 2 * nameLength <= length;
    for (size_t i = 0; named && i < nameLength; ++i) {
      named = lb.U16(p + nameOffset + 2 * i) == streamName[i];
    }
    const uint64_t holder = RecordOfReference(lb.U64(p + 0x10));
    if (named && holder != base) holders.insert(holder);
    p += length;
  }
  return holders;
}

}  // namespace

bool FindChildRecord(VolumeReader& reader, uint64_t parentRecord, std::u16string_view name,
                     uint64_t& record) {
  bool found = false;
  ScanMft(reader,
          [&](ScanRecord& entry) {
            if (entry.parentRecordNumber != parentRecord || entry.name != name) return true;
            record = entry.recordNumber;
            found = true;
            return false;
          },
          {});
  return found;
}

StreamRead ReadNamedStream(VolumeReader& reader, uint64_t record, std::u16string_view streamName) {
  StreamRead out;
  std::vector<uint8_t> buffer(reader.bytesPerRecord);
  if (reader.ReadRecordChecked(record, buffer.data()) != RecordStatus::Ok) return out;
  const Bytes base{buffer.data(), buffer.size()};
  if (!(RecordFlags(base) & kRecordInUse) || BaseRecordOf(base) != 0) return out;

  std::vector<Piece> pieces;
  std::vector<uint8_t> list;
  bool haveList = false;
  CollectPieces(base, streamName, pieces, out, &list, haveList, reader);
  if (!out.bytes.empty()) return out;  // resident
  if (haveList) {
    for (uint64_t holder : ListedHolders(list, record, streamName)) {
      if (reader.ReadRecordChecked(holder, buffer.data()) != RecordStatus::Ok) continue;
      const Bytes extension{buffer.data(), buffer.size()};
      // Another file's record, or a free one, is no part of this stream.
      if (!(RecordFlags(extension) & kRecordInUse) || BaseRecordOf(extension) != record) continue;
      bool unused = false;
      CollectPieces(extension, streamName, pieces, out, nullptr, unused, reader);
    }
  }
  if (!out.found || out.size == 0) return out;

  const uint64_t cluster = reader.bytesPerCluster;
  const uint64_t volumeBytes = reader.deviceBytes != 0 && reader.deviceBytes < reader.volumeBytes
                                   ? reader.deviceBytes
                                   : reader.volumeBytes;
  std::sort(pieces.begin(), pieces.end(),
            [](const Piece& a, const Piece& b) { return a.vcn < b.vcn; });
  std::map<uint64_t, uint64_t> taken;  // first cluster -> one past the last
  uint64_t covered = 0;                // stream bytes accounted for so far
  for (const Piece& piece : pieces) {
    if (covered >= out.size) break;
    // Pieces that overlap what earlier ones described are damage.
    if (piece.vcn > std::numeric_limits<uint64_t>::max() / cluster) break;
    const uint64_t start = piece.vcn * cluster;
    if (start < covered) continue;
    out.missingBytes += std::min(start, out.size) - covered;  // a gap no piece describes
    covered = std::min(start, out.size);
    if (covered >= out.size) break;
    const uint64_t left = out.size - covered;
    const uint64_t bytes = piece.clusters >= left / cluster + 1 ? left : piece.clusters * cluster;
    covered += bytes;
    if (piece.sparse) {
      out.sparseBytes += bytes;
      continue;
    }
    const uint64_t end = piece.lcn + piece.clusters;  // the decoder keeps this below 2^63
    auto next = taken.lower_bound(piece.lcn);
    const bool overlaps = (next != taken.end() && next->first < end) ||
                          (next != taken.begin() && std::prev(next)->second > piece.lcn);
    const bool inside = volumeBytes != 0 && piece.lcn <= volumeBytes / cluster &&
                        bytes <= volumeBytes - piece.lcn * cluster;
    if (overlaps || !inside) {
      out.missingBytes += bytes;
      continue;
    }
    taken.emplace_hint(next, piece.lcn, end);
    const size_t at = out.bytes.size();
    out.bytes.resize(at + bytes);
    if (!ReadVolumeBytes(reader.handle, piece.lcn * cluster, out.bytes.data() + at, bytes)) {
      out.bytes.resize(at);
      out.missingBytes += bytes;
    }
  }
  if (covered < out.size) out.missingBytes += out.size - covered;
  return out;
}

}  // namespace zw::ntfs
