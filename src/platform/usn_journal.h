// The NTFS change journal of one volume, as the file-system control codes
// FSCTL_QUERY_USN_JOURNAL, FSCTL_CREATE_USN_JOURNAL and FSCTL_READ_USN_JOURNAL
// and CancelIoEx offer it. The device is opened read-only; creating a journal
// is the one request that changes the volume's metadata, and the file system
// does that itself.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/error_codes.h"

namespace zw::platform {

// USN_JOURNAL_DATA: only the fields the monitor uses.
struct UsnJournalInfo {
  uint64_t journalId = 0;  // offset 0
  int64_t firstUsn = 0;    // offset 8
  int64_t nextUsn = 0;     // offset 16
};

// Where a journal stood at some moment: reading from `usn` later yields every
// change made since, as long as the journal still has that id and position.
struct UsnJournalPosition {
  uint64_t journalId = 0;
  int64_t usn = 0;
};

// READ_USN_JOURNAL_DATA_V0, byte for byte.
struct ReadUsnJournalRequest {
  int64_t startUsn = 0;
  uint32_t reasonMask = 0;
  uint32_t returnOnlyOnClose = 0;
  uint64_t timeout = 0;
  uint64_t bytesToWaitFor = 0;
  uint64_t usnJournalId = 0;
};
static_assert(sizeof(ReadUsnJournalRequest) == 40);

inline constexpr uint64_t kUsnJournalMaximumSize = 0x2000000;     // 32 MiB
inline constexpr uint64_t kUsnJournalAllocationDelta = 0x100000;  // 1 MiB

// Reasons and attributes of USN_RECORD_V2.
inline constexpr uint32_t kUsnReasonDataOverwrite = 0x00000001;
inline constexpr uint32_t kUsnReasonDataExtend = 0x00000002;
inline constexpr uint32_t kUsnReasonDataTruncation = 0x00000004;
inline constexpr uint32_t kUsnReasonFileCreate = 0x00000100;
inline constexpr uint32_t kUsnReasonFileDelete = 0x00000200;
inline constexpr uint32_t kUsnReasonRenameOldName = 0x00001000;
inline constexpr uint32_t kUsnReasonRenameNewName = 0x00002000;
inline constexpr uint32_t kUsnReasonBasicInfoChange = 0x00008000;
inline constexpr uint32_t kUsnReasonClose = 0x80000000;
inline constexpr uint32_t kFileAttributeDirectory = 0x10;

// One open journal handle. Every call reports failure as false with
// LastError() set. Cancel may be called from another thread while Read runs.
class UsnJournalDevice {
 public:
  UsnJournalDevice() = default;
  UsnJournalDevice(const UsnJournalDevice&) = delete;
  UsnJournalDevice& operator=(const UsnJournalDevice&) = delete;
  virtual ~UsnJournalDevice() = default;

  [[nodiscard]] virtual bool Query(UsnJournalInfo& info) noexcept = 0;
  [[nodiscard]] virtual bool Create(uint64_t maximumSize, uint64_t allocationDelta) noexcept = 0;
  // Fills `buffer` with the next start USN (8 bytes) and whole USN_RECORD_V2
  // records; `returned` is the number of bytes written.
  [[nodiscard]] virtual bool Read(const ReadUsnJournalRequest& request, void* buffer, uint32_t size,
                                  uint32_t& returned) noexcept = 0;
  virtual void Cancel() noexcept = 0;
};

// Opens a device for a drive letter; null with LastError() set on failure.
using UsnJournalFactory = std::function<std::unique_ptr<UsnJournalDevice>(char16_t letter)>;

// The volume's own journal ("\\.\C:"). Where the system has no change journal
// (POSIX, Wine) the open or the first query fails cleanly.
[[nodiscard]] std::unique_ptr<UsnJournalDevice> OpenSystemUsnJournal(char16_t letter) noexcept;

}  // namespace zw::platform
