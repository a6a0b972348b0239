// What the window timings (natively and under Wine) and the search benchmark
// share: a million entries from the generator's name model, the texts typed,
// the burst of journal records, and medians.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "index/build_paths.h"
#include "index/entry_store.h"
#include "name_model.h"
#include "platform/usn_journal_scripted.h"
#include "support/built_paths.h"

namespace zw::timing {

inline constexpr uint32_t kNodes = 1'050'000;  // about a million listed entries
inline constexpr int kBurst = 10'000;
inline constexpr uint64_t kFirstRecord = 100;  // entry n has record 100 + n

using Clock = std::chrono::steady_clock;
inline double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}
inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Drive D:'s entries, in the order a scan would give them.
inline std::vector<FileEntry> MillionEntries() {
  const std::vector<gen::Node> nodes = gen::MakeTree(1, kNodes);
  std::vector<FileEntry> out;
  out.reserve(nodes.size());
  std::vector<uint32_t> idOf(nodes.size(), kNoEntry);
  for (uint32_t i = 0; i < nodes.size(); ++i) {
    const gen::Node& n = nodes[i];
    if (!gen::IsListed(n)) continue;
    FileEntry e;
    e.id = uint32_t(out.size());
    idOf[i] = e.id;
    e.recordNumber = kFirstRecord + e.id;
    const bool underFolder = n.parent != gen::kRoot && idOf[n.parent] != kNoEntry;
    e.parentRecordNumber = underFolder ? kFirstRecord + idOf[n.parent] : 5;
    e.drive = u'D';
    e.name = n.name;
    e.isFolder = n.isFolder;
    e.size = n.size;
    e.creationTime = n.creationTime;
    e.modificationTime = n.modificationTime;
    e.path = u"D:\\" + gen::PathOf(nodes, i);
    SetDerivedNameFields(e);
    out.push_back(std::move(e));
  }
  return out;
}

// One code unit that most names hold, and a text that finds fewer than
// 1,000: what a user types first, and a search that has found its file.
struct Texts {
  std::u16string wide;
  std::u16string selective;
};
template <class CountFn>
Texts ChooseTexts(const EntryStore& entries, CountFn count) {
  Texts t;
  t.wide = u"e";
  for (size_t k = 0; k < entries.size() && t.selective.empty(); k += 997) {
    const std::u16string n = entries[k].lowerName().str();
    for (size_t len = 4; len <= 7 && len <= n.size(); ++len) {
      const std::u16string candidate = n.substr(0, len);
      if (candidate.find_first_of(u"* ") != std::u16string::npos) break;
      const size_t c = count(candidate);
      if (c >= 100 && c < 1000) {
        t.selective = candidate;
        break;
      }
    }
  }
  return t;
}

// 10,000 closed journal records: files created at the root, existing
// entries renamed and deleted, in turn.
inline void AppendBurst(platform::ScriptedJournal& journal, size_t entryCount) {
  using namespace platform;
  for (int k = 0; k < kBurst; ++k) {
    const uint64_t existing = kFirstRecord + (uint64_t(k) * 7919) % entryCount;
    const std::u16string name = u"live " + std::u16string(1, char16_t(u'a' + k % 26)) + u".txt";
    std::vector<uint8_t> record;
    switch (k % 3) {
      case 0:
        record =
            MakeUsnRecordV2(5'000'000 + k, 5, kUsnReasonFileCreate | kUsnReasonClose, 0x20, name);
        break;
      case 1:
        record = MakeUsnRecordV2(existing, 5, kUsnReasonRenameNewName | kUsnReasonClose, 0x20,
                                 u"renamed " + name);
        break;
      default:
        record = MakeUsnRecordV2(existing, 5, kUsnReasonFileDelete | kUsnReasonClose, 0x20, name);
        break;
    }
    journal.Append(std::move(record));
  }
}

}  // namespace zw::timing
