// A change journal held in memory: tests script what the file system would
// answer (records in the real USN_RECORD_V2 layout, short reads, failures, a
// journal that cannot be opened or created), and a saved $UsnJrnl:$J stream
// can be served through it. Portable, so the Windows build's tests use it too.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/usn_journal.h"

namespace zw::platform {

// One USN_RECORD_V2 with its name at offset 60, padded to a multiple of 8.
// The USN field (offset 24) is left 0; ScriptedJournal::Append sets it.
std::vector<uint8_t> MakeUsnRecordV2(uint64_t fileRef, uint64_t parentRef, uint32_t reason,
                                     uint32_t attributes, std::u16string_view name);

// What one Read answers instead of the journal's records.
struct ScriptedRead {
  bool fail = false;
  uint32_t error = 0;          // when fail
  std::vector<uint8_t> bytes;  // served as is, start USN included
};

class ScriptedJournal {
 public:
  explicit ScriptedJournal(uint64_t journalId = 0x01D0C0FFEE000001ull, int64_t firstUsn = 0);

  // --- script, all thread-safe ---
  void FailOpen(uint32_t error);  // 0: opening works again
  void SetActive(bool active);    // an inactive journal fails Query until created
  void FailCreate(uint32_t error);
  void FailQuery(uint32_t error);  // every query fails, created or not
  // Reports this NextUsn from Query instead of the journal's end, so that
  // records already present are served as if written after the open.
  void SetQueryNextUsn(std::optional<int64_t> usn);
  // Appends a record, setting its USN field; returns that USN.
  int64_t Append(std::vector<uint8_t> record);
  // Appends a record keeping the USN it carries (saved streams).
  void AppendKeepingUsn(std::vector<uint8_t> record);
  void QueueRead(ScriptedRead read);
  // The journal wrapped: records before `usn` are gone, reads from there fail.
  void DropRecordsBefore(int64_t usn);
  // Deleted and made again: a new id, no records, first and next at `firstUsn`.
  void Recreate(uint64_t journalId, int64_t firstUsn);

  // --- observation ---
  std::vector<int64_t> ReadStarts() const;  // StartUsn of every Read so far
  size_t ReadCount() const;
  // Blocks until that many reads happened; false once `limit` passed first.
  [[nodiscard]] bool WaitForReads(size_t count,
                                  std::chrono::milliseconds limit = std::chrono::seconds(30)) const;
  size_t OpenCount() const;
  size_t CancelCount() const;
  size_t CloseCount() const;
  bool Created() const;
  size_t RecordCount() const;
  int64_t FirstUsn() const;
  int64_t NextUsn() const;
  uint64_t JournalId() const;

  // A device over this journal, or null with LastError() set when opening is
  // scripted to fail.
  [[nodiscard]] static std::unique_ptr<UsnJournalDevice> Open(
      const std::shared_ptr<ScriptedJournal>& journal);

 private:
  friend class ScriptedDevice;
  struct Record {
    int64_t usn;
    uint32_t reason;
    std::vector<uint8_t> bytes;
  };
  [[nodiscard]] bool Query(UsnJournalInfo& info);
  [[nodiscard]] bool Create();
  [[nodiscard]] bool Read(const ReadUsnJournalRequest& request, void* buffer, uint32_t size,
                          uint32_t& returned);
  void NoteCancel();
  void NoteClose();

  uint64_t journalId_;
  mutable std::mutex mutex_;
  mutable std::condition_variable readDone_;
  int64_t firstUsn_;
  int64_t nextUsn_;
  std::optional<int64_t> queryNextUsn_;
  std::vector<Record> records_;
  std::deque<ScriptedRead> queued_;
  std::vector<int64_t> readStarts_;
  uint32_t openError_ = 0;
  uint32_t createError_ = 0;
  uint32_t queryError_ = 0;
  bool active_ = true;
  bool created_ = false;
  size_t opens_ = 0;
  size_t cancels_ = 0;
  size_t closes_ = 0;
};

// What a saved stream held besides its version 2 records.
struct SavedStreamStats {
  size_t records = 0;        // version 2 records kept
  size_t otherVersions = 0;  // version 3 or 4 records skipped
  size_t damaged = 0;        // 8-byte steps skipped over bytes that are no record
  uint64_t zeroBytes = 0;    // sparse prefix and page padding
  uint64_t recordBytes = 0;  // in whole records, of any version
};

// Reads a saved $UsnJrnl:$J stream and serves it as the file system serves a
// version-0 read: from the first record after the sparse zero prefix,
// skipping page padding, version 2 records only. With `replay`, Query reports
// the first record's USN as NextUsn so a monitor sees every record. Null with
// `error` set when the file cannot be read.
[[nodiscard]] std::shared_ptr<ScriptedJournal> LoadSavedUsnStream(
    const std::string& utf8Path, bool replay, std::string& error,
    SavedStreamStats* stats = nullptr);
// The same over bytes already in memory.
[[nodiscard]] std::shared_ptr<ScriptedJournal> ParseSavedUsnStream(
    const std::vector<uint8_t>& bytes, bool replay, SavedStreamStats* stats);

}  // namespace zw::platform
