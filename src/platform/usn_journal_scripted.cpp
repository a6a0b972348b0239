#include "platform/usn_journal_scripted.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/last_error.h"

namespace zw::platform {

namespace {

constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr size_t kRecordHeader = 60;

void PutLe(std::vector<uint8_t>& out, size_t offset, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[offset + i] = uint8_t(value >> (8 * i));
}

uint64_t GetLe(const uint8_t* p, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= uint64_t(p[i]) << (8 * i);
  return v;
}

}  // namespace

std::vector<uint8_t> MakeUsnRecordV2(uint64_t fileRef, uint64_t parentRef, uint32_t reason,
                                     uint32_t attributes, std::u16string_view name) {
  const size_t nameBytes = name.size() * 2;
  const size_t length = (kRecordHeader + nameBytes + 7) & ~size_t(7);
  std::vector<uint8_t> r(length, 0);
  PutLe(r, 0, length, 4);
  PutLe(r, 4, 2, 2);  // major version
  PutLe(r, 6, 0, 2);
  PutLe(r, 8, fileRef, 8);
  PutLe(r, 16, parentRef, 8);
  PutLe(r, 40, reason, 4);
  PutLe(r, 52, attributes, 4);
  PutLe(r, 56, nameBytes, 2);
  PutLe(r, 58, kRecordHeader, 2);  // FileNameOffset
  for (size_t i = 0; i < name.size(); ++i) PutLe(r, kRecordHeader + 2 * i, name[i], 2);
  return r;
}

// The handle a monitor holds; the journal outlives it through shared ownership.
class ScriptedDevice final : public UsnJournalDevice {
 public:
  explicit ScriptedDevice(std::shared_ptr<ScriptedJournal> journal)
      : journal_(std::move(journal)) {}
  ~ScriptedDevice() override { journal_->NoteClose(); }

  bool Query(UsnJournalInfo& info) noexcept override { return journal_->Query(info); }
  bool Create(uint64_t, uint64_t) noexcept override { return journal_->Create(); }
  bool Read(const ReadUsnJournalRequest& request, void* buffer, uint32_t size,
            uint32_t& returned) noexcept override {
    return journal_->Read(request, buffer, size, returned);
  }
  void Cancel() noexcept override { journal_->NoteCancel(); }

 private:
  std::shared_ptr<ScriptedJournal> journal_;
};

ScriptedJournal::ScriptedJournal(uint64_t journalId, int64_t firstUsn)
    : journalId_(journalId), firstUsn_(firstUsn), nextUsn_(firstUsn) {}

void ScriptedJournal::FailOpen(uint32_t error) {
  std::lock_guard lock(mutex_);
  openError_ = error;
}

void ScriptedJournal::SetActive(bool active) {
  std::lock_guard lock(mutex_);
  active_ = active;
}

void ScriptedJournal::FailCreate(uint32_t error) {
  std::lock_guard lock(mutex_);
  createError_ = error;
}

void ScriptedJournal::FailQuery(uint32_t error) {
  std::lock_guard lock(mutex_);
  queryError_ = error;
}

void ScriptedJournal::SetQueryNextUsn(std::optional<int64_t> usn) {
  std::lock_guard lock(mutex_);
  queryNextUsn_ = usn;
}

int64_t ScriptedJournal::Append(std::vector<uint8_t> record) {
  std::lock_guard lock(mutex_);
  const int64_t usn = nextUsn_;
  if (record.size() >= 32) PutLe(record, 24, uint64_t(usn), 8);
  const uint32_t reason = record.size() >= 44 ? uint32_t(GetLe(record.data() + 40, 4)) : 0;
  nextUsn_ += int64_t((record.size() + 7) & ~size_t(7));
  records_.push_back({usn, reason, std::move(record)});
  return usn;
}

void ScriptedJournal::AppendKeepingUsn(std::vector<uint8_t> record) {
  std::lock_guard lock(mutex_);
  const int64_t usn = record.size() >= 32 ? int64_t(GetLe(record.data() + 24, 8)) : nextUsn_;
  const uint32_t reason = record.size() >= 44 ? uint32_t(GetLe(record.data() + 40, 4)) : 0;
  if (records_.empty()) firstUsn_ = usn;
  nextUsn_ = std::max(nextUsn_, usn + int64_t(record.size()));
  records_.push_back({usn, reason, std::move(record)});
}

void ScriptedJournal::QueueRead(ScriptedRead read) {
  std::lock_guard lock(mutex_);
  queued_.push_back(std::move(read));
}

std::vector<int64_t> ScriptedJournal::ReadStarts() const {
  std::lock_guard lock(mutex_);
  return readStarts_;
}

size_t ScriptedJournal::ReadCount() const {
  std::lock_guard lock(mutex_);
  return readStarts_.size();
}

bool ScriptedJournal::WaitForReads(size_t count, std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return readDone_.wait_for(lock, limit, [&] { return readStarts_.size() >= count; });
}

size_t ScriptedJournal::OpenCount() const {
  std::lock_guard lock(mutex_);
  return opens_;
}

size_t ScriptedJournal::CancelCount() const {
  std::lock_guard lock(mutex_);
  return cancels_;
}

size_t ScriptedJournal::CloseCount() const {
  std::lock_guard lock(mutex_);
  return closes_;
}

bool ScriptedJournal::Created() const {
  std::lock_guard lock(mutex_);
  return created_;
}

size_t ScriptedJournal::RecordCount() const {
  std::lock_guard lock(mutex_);
  return records_.size();
}

int64_t ScriptedJournal::FirstUsn() const {
  std::lock_guard lock(mutex_);
  return firstUsn_;
}

void ScriptedJournal::DropRecordsBefore(int64_t usn) {
  std::lock_guard lock(mutex_);
  std::erase_if(records_, [&](const Record& r) { return r.usn < usn; });
  firstUsn_ = std::max(firstUsn_, usn);
}

void ScriptedJournal::Recreate(uint64_t journalId, int64_t firstUsn) {
  std::lock_guard lock(mutex_);
  journalId_ = journalId;
  records_.clear();
  firstUsn_ = nextUsn_ = firstUsn;
  active_ = true;
}

uint64_t ScriptedJournal::JournalId() const {
  std::lock_guard lock(mutex_);
  return journalId_;
}

int64_t ScriptedJournal::NextUsn() const {
  std::lock_guard lock(mutex_);
  return nextUsn_;
}

std::unique_ptr<UsnJournalDevice> ScriptedJournal::Open(
    const std::shared_ptr<ScriptedJournal>& journal) {
  if (!journal) {
    SetLastError(kErrorFileNotFound);
    return nullptr;
  }
  {
    std::lock_guard lock(journal->mutex_);
    if (journal->openError_ != 0) {
      SetLastError(journal->openError_);
      return nullptr;
    }
    ++journal->opens_;
  }
  return std::make_unique<ScriptedDevice>(journal);
}

bool ScriptedJournal::Query(UsnJournalInfo& info) {
  std::lock_guard lock(mutex_);
  if (queryError_ != 0) {
    SetLastError(queryError_);
    return false;
  }
  if (!active_) {
    SetLastError(kErrorJournalNotActive);
    return false;
  }
  info.journalId = journalId_;
  info.firstUsn = firstUsn_;
  info.nextUsn = queryNextUsn_ ? *queryNextUsn_ : nextUsn_;
  return true;
}

bool ScriptedJournal::Create() {
  std::lock_guard lock(mutex_);
  if (createError_ != 0) {
    SetLastError(createError_);
    return false;
  }
  active_ = true;
  created_ = true;
  return true;
}

bool ScriptedJournal::Read(const ReadUsnJournalRequest& request, void* buffer, uint32_t size,
                           uint32_t& returned) {
  std::lock_guard lock(mutex_);
  returned = 0;
  readStarts_.push_back(request.startUsn);
  readDone_.notify_all();
  if (!queued_.empty()) {
    ScriptedRead read = std::move(queued_.front());
    queued_.pop_front();
    if (read.fail) {
      SetLastError(read.error);
      return false;
    }
    const size_t n = std::min<size_t>(read.bytes.size(), size);
    if (n != 0) std::memcpy(buffer, read.bytes.data(), n);
    returned = uint32_t(n);
    return true;
  }
  if (!active_) {
    SetLastError(kErrorJournalNotActive);
    return false;
  }
  if (request.usnJournalId != journalId_) {
    SetLastError(kErrorJournalNotActive);
    return false;
  }
  // StartUsn 0 asks for the oldest record still held.
  const int64_t start = request.startUsn == 0 ? firstUsn_ : request.startUsn;
  if (start < firstUsn_) {
    SetLastError(kErrorJournalEntryDeleted);
    return false;
  }
  if (size < 8) {
    SetLastError(kErrorInsufficientBuffer);
    return false;
  }
  auto* out = static_cast<uint8_t*>(buffer);
  auto it = std::lower_bound(records_.begin(), records_.end(), start,
                             [](const Record& r, int64_t usn) { return r.usn < usn; });
  size_t used = 8;
  int64_t next = nextUsn_;
  for (; it != records_.end(); ++it) {
    if ((it->reason & request.reasonMask) == 0) continue;
    if (used + it->bytes.size() > size) {
      if (used == 8) {
        SetLastError(kErrorInsufficientBuffer);
        return false;
      }
      next = it->usn;
      break;
    }
    std::memcpy(out + used, it->bytes.data(), it->bytes.size());
    used += it->bytes.size();
  }
  if (it == records_.end() && used == 8) next = std::max(start, nextUsn_);
  for (int i = 0; i < 8; ++i) out[i] = uint8_t(uint64_t(next) >> (8 * i));
  returned = uint32_t(used);
  return true;
}

void ScriptedJournal::NoteCancel() {
  std::lock_guard lock(mutex_);
  ++cancels_;
}

void ScriptedJournal::NoteClose() {
  std::lock_guard lock(mutex_);
  ++closes_;
}

std::shared_ptr<ScriptedJournal> ParseSavedUsnStream(const std::vector<uint8_t>& bytes, bool replay,
                                                     SavedStreamStats* stats) {
  SavedStreamStats local;
  auto journal = std::make_shared<ScriptedJournal>();
  // Records are 8-byte aligned; zeros are the sparse prefix or the padding at
  // the end of a 4 KiB page. Anything else that is no whole record is skipped
  // in 8-byte steps until a plausible record header shows up again.
  size_t pos = 0;
  while (pos + 8 <= bytes.size()) {
    const uint8_t* p = bytes.data() + pos;
    const uint32_t length = uint32_t(GetLe(p, 4));
    if (length == 0) {
      local.zeroBytes += 8;
      pos += 8;
      continue;
    }
    const uint16_t major = uint16_t(GetLe(p + 4, 2));
    const bool whole = length >= 8 && length % 8 == 0 && length <= bytes.size() - pos;
    if (!whole || major < 2 || major > 4) {
      ++local.damaged;
      pos += 8;
      continue;
    }
    local.recordBytes += length;
    if (major == 2 && length >= kRecordHeader) {
      journal->AppendKeepingUsn(std::vector<uint8_t>(p, p + length));
      ++local.records;
    } else {
      ++local.otherVersions;
    }
    pos += length;
  }
  if (replay && journal->RecordCount() != 0) {
    journal->SetQueryNextUsn(journal->FirstUsn());
  }
  if (stats) *stats = local;
  return journal;
}

std::shared_ptr<ScriptedJournal> LoadSavedUsnStream(const std::string& utf8Path, bool replay,
                                                    std::string& error, SavedStreamStats* stats) {
  const std::filesystem::path path(
      std::u8string(reinterpret_cast<const char8_t*>(utf8Path.data()), utf8Path.size()));
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open " + utf8Path;
    return nullptr;
  }
  std::vector<uint8_t> bytes;
  // The stream library reports some read failures (a directory) by throwing.
  try {
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } catch (const std::ios_base::failure&) {
    in.setstate(std::ios::badbit);
  }
  if (in.bad()) {
    error = "cannot read " + utf8Path;
    return nullptr;
  }
  return ParseSavedUsnStream(bytes, replay, stats);
}

}  // namespace zw::platform
