// Shared by the live-update tests: captured debugger lines, an index with a
// few entries, and scripted journal records.
#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "base/utf.h"
#include "engine/file_index.h"
#include "index/build_paths.h"
#include "platform/debug_output.h"
#include "platform/last_error.h"
#include "platform/usn_journal_scripted.h"
#include "support/built_paths.h"
#include "support/entry_builder.h"

namespace zw::test {

// Collects every debugger line while it lives.
class DebugCapture {
 public:
  DebugCapture() {
    platform::SetDebugSink([this](std::u16string_view line) {
      std::lock_guard lock(mutex_);
      lines_.emplace_back(line);
    });
  }
  ~DebugCapture() { platform::SetDebugSink({}); }
  std::vector<std::u16string> Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  bool Has(const std::u16string& line) const {
    auto lines = Lines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::u16string> lines_;
};

// Appends an entry the way an indexing run leaves it (id == position).
inline uint32_t AddEntry(FileIndex& index, char16_t drive, uint64_t record, uint64_t parent,
                         std::u16string path, bool folder = false) {
  FileEntry e;
  const EntryWriteView view(index.entries);
  e.id = uint32_t(view.store().size());
  e.recordNumber = record;
  e.parentRecordNumber = parent;
  e.drive = drive;
  e.path = std::move(path);
  e.name = e.path.substr(e.path.rfind(u'\\') + 1);
  e.isFolder = folder;
  SetDerivedNameFields(e);
  test::AppendEntry(view.store(), e);
  return e.id;
}

// A file reference with a sequence number on top, as the journal gives it.
inline uint64_t Ref(uint64_t record, uint16_t sequence = 3) {
  return (uint64_t(sequence) << 48) | record;
}

// Closing records of the three kinds of change that name a file.
inline constexpr uint32_t kCreateClose = platform::kUsnReasonFileCreate | platform::kUsnReasonClose;
inline constexpr uint32_t kDeleteClose = platform::kUsnReasonFileDelete | platform::kUsnReasonClose;
inline constexpr uint32_t kRenameClose =
    platform::kUsnReasonRenameNewName | platform::kUsnReasonClose;

inline std::vector<uint8_t> Record(uint64_t fileRef, uint64_t parentRef, uint32_t reason,
                                   std::u16string_view name, bool folder = false) {
  return platform::MakeUsnRecordV2(fileRef, parentRef, reason,
                                   folder ? platform::kFileAttributeDirectory : 0x20, name);
}

}  // namespace zw::test

#include <condition_variable>
#include <map>
#include <memory>

#include "live/usn_change.h"
#include "support/wait.h"

namespace zw::test {

// Journals by drive letter; an unknown letter fails like a missing volume.
struct Journals {
  std::map<char16_t, std::shared_ptr<platform::ScriptedJournal>> byLetter;

  std::shared_ptr<platform::ScriptedJournal>& operator[](char16_t letter) {
    auto& j = byLetter[letter];
    if (!j) j = std::make_shared<platform::ScriptedJournal>(0x1000 + letter, 0);
    return j;
  }
  platform::UsnJournalFactory Factory() {
    auto copy = byLetter;
    return [copy](char16_t letter) -> std::unique_ptr<platform::UsnJournalDevice> {
      auto it = copy.find(letter);
      if (it == copy.end()) {
        platform::SetLastError(platform::kErrorFileNotFound);
        return nullptr;
      }
      return platform::ScriptedJournal::Open(it->second);
    };
  }
};

// Collects the changes a monitor hands out, from any thread.
class ChangeSink {
 public:
  void operator()(const UsnChange& c) {
    std::lock_guard lock(mutex_);
    changes_.push_back(c);
    cv_.notify_all();
  }
  // What came, once `count` changes did or the wait gave up (a failure).
  std::vector<UsnChange> WaitFor(size_t count) {
    std::unique_lock lock(mutex_);
    WaitUntil(
        cv_, lock, [&] { return changes_.size() >= count; },
        std::to_string(count) + " changes, " + std::to_string(changes_.size()) + " so far");
    return changes_;
  }
  std::vector<UsnChange> Changes() {
    std::lock_guard lock(mutex_);
    return changes_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<UsnChange> changes_;
};

}  // namespace zw::test
