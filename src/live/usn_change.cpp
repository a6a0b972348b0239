#include "live/usn_change.h"

#include "live/live_debug.h"
#include "platform/usn_journal.h"

namespace zw {

namespace {

uint64_t Le(const uint8_t* p, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= uint64_t(p[i]) << (8 * i);
  return v;
}

}  // namespace

bool IsRecycleBinName(std::u16string_view name, bool includeInfoFiles) {
  return name.size() >= 2 && name[0] == u'$' &&
         (name[1] == u'R' || (includeInfoFiles && name[1] == u'I'));
}

bool IsTransientDatabaseName(std::u16string_view name) {
  // A name that is only the suffix is somebody's real file.
  return (name.size() > 8 && name.ends_with(u"-journal")) ||
         (name.size() > 4 && (name.ends_with(u"-wal") || name.ends_with(u"-shm")));
}

const char* UsnChangeKindName(UsnChangeKind kind) {
  switch (kind) {
    case UsnChangeKind::Created:
      return "Created";
    case UsnChangeKind::Deleted:
      return "Deleted";
    case UsnChangeKind::Renamed:
      return "Renamed";
    case UsnChangeKind::Modified:
      return "Modified";
  }
  return "Unknown";
}

RecordVerdict DecodeUsnRecord(char16_t letter, const uint8_t* record, size_t available,
                              UsnChange& out) {
  using namespace platform;
  if (record == nullptr || available < 4) return RecordVerdict::Damaged;
  const uint32_t length = uint32_t(Le(record, 4));
  if (length < kUsnRecordMinLength || length > available) return RecordVerdict::Damaged;
  const size_t nameBytes = size_t(Le(record + 56, 2));
  // The name must lie inside the record; a length that runs past it is damage.
  if (nameBytes % 2 != 0 || kUsnRecordMinLength + nameBytes > length) {
    return RecordVerdict::Damaged;
  }
  const uint32_t reason = uint32_t(Le(record + 40, 4));
  if ((reason & kUsnReasonClose) == 0) return RecordVerdict::Ignored;

  out.kind = UsnChangeKind::Created;
  out.drive = letter;
  out.fileRef = Le(record + 8, 8);
  out.parentRef = Le(record + 16, 8);
  out.usn = int64_t(Le(record + 24, 8));
  out.timeStamp = int64_t(Le(record + 32, 8));
  out.isDirectory = (Le(record + 52, 4) & kFileAttributeDirectory) != 0;
  out.name.resize(nameBytes / 2);
  for (size_t i = 0; i < out.name.size(); ++i) {
    out.name[i] = char16_t(Le(record + kUsnRecordMinLength + 2 * i, 2));
  }

  if ((reason & (kUsnReasonFileCreate | kUsnReasonFileDelete | kUsnReasonRenameNewName)) != 0) {
    live_debug::Record(letter, reason, out.name);
  }
  if ((reason & kUsnReasonFileCreate) != 0 &&
      (IsRecycleBinName(out.name, true) || IsTransientDatabaseName(out.name))) {
    return RecordVerdict::Ignored;
  }
  if ((reason & kUsnReasonFileDelete) != 0) {
    out.kind = UsnChangeKind::Deleted;
  } else if ((reason & kUsnReasonFileCreate) != 0) {
    out.kind = UsnChangeKind::Created;
  } else if ((reason & kUsnReasonRenameNewName) != 0) {
    out.kind = UsnChangeKind::Renamed;
  } else if ((reason &
              (kUsnReasonBasicInfoChange | kUsnReasonDataTruncation | kUsnReasonDataExtend)) != 0) {
    out.kind = UsnChangeKind::Modified;
  } else {
    return RecordVerdict::Ignored;
  }
  return RecordVerdict::Change;
}

}  // namespace zw
