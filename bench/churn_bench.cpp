// A resident program on a busy disk: a million entries, then five million
// changes written to a scripted change journal and applied by the
// monitor thread and the live update, as they would be on a real volume
// (creates, renames, moves and deletes of files and folders, deletes keeping
// pace with creates so that the live count stays near a million). A model of
// the volume kept beside the journal says what every file is afterwards;
// an index freshly built from that model is the reference.
//
// Counters: changes applied, live entries, resident_ratio (what the entries
// and the name index hold per live entry, as --stats counts them, over the
// same for the fresh index) and answers_equal (1 when every query kind and
// every sort gives the same files in the same order on both). The process's
// resident memory before and after the churn is reported beside them.
//
//   zw_churn_bench --benchmark_filter='BM_ChurnSoak/1000000/'   (one iteration)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <queue>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/ascii.h"
#include "base/records.h"
#include "base/utf.h"
#include "engine/file_index.h"
#include "live/live_update.h"
#include "live/usn_monitor.h"
#include "platform/process_memory.h"
#include "platform/usn_journal.h"
#include "platform/usn_journal_scripted.h"
#include "search/name_index.h"
#include "search/query.h"
#include "search/result_set.h"
#include "search/type_filter.h"

namespace zw {
namespace {

using Clock = std::chrono::steady_clock;
constexpr char16_t kDrive = u'C';
constexpr uint32_t kFirstUserRecord = 64;
constexpr uint16_t kRootSequence = 5;
// Changes written but not yet applied, beyond which the writer waits: the
// monitor always has records to read, and the journal stays small.
constexpr uint64_t kOutstanding = 60'000;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// splitmix64: the same sequence on every platform and compiler.
struct Rng {
  uint64_t state;
  uint64_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint32_t Below(uint32_t n) { return uint32_t(Next() % n); }
  bool Percent(uint32_t p) { return Below(100) < p; }
  template <class T>
  const T& Pick(const std::vector<T>& v) {
    return v[Below(uint32_t(v.size()))];
  }
};

std::vector<std::u16string> Words(std::initializer_list<const char16_t*> list) {
  return {list.begin(), list.end()};
}

// Names of the long profile: about 21 code units on average, two thirds with
// a capital letter, about one in eight with non-ASCII text (Hangul, Latin-1,
// Cyrillic, kana, now and then a surrogate pair or a lone surrogate), and
// some folder names of 60 to 120 units.
class NameMaker {
 public:
  std::u16string File(Rng& rng) {
    std::u16string name = Stem(rng, 3 + rng.Below(22) + (rng.Percent(10) ? rng.Below(30) : 0));
    if (!rng.Percent(5)) name += u'.' + rng.Pick(extensions_);
    return name;
  }
  std::u16string Folder(Rng& rng) {
    if (rng.Percent(3)) {
      std::u16string name = Stem(rng, 60 + rng.Below(61));
      return name.substr(0, 120);
    }
    return Stem(rng, 3 + rng.Below(20));
  }
  // Another name for a file that keeps its extension most of the time, or
  // the same name in other capitals.
  std::u16string Rename(Rng& rng, std::u16string_view old, bool folder) {
    const uint32_t kind = rng.Below(100);
    if (kind < 8) {
      std::u16string flipped(old);
      for (char16_t& c : flipped) {
        if (c >= u'a' && c <= u'z') {
          c = char16_t(c - u'a' + u'A');
          return flipped;
        }
        if (c >= u'A' && c <= u'Z') {
          c = char16_t(c - u'A' + u'a');
          return flipped;
        }
      }
    }
    if (folder) return Folder(rng);
    const size_t dot = old.rfind(u'.');
    if (kind < 70 && dot != std::u16string_view::npos) {
      return Stem(rng, 3 + rng.Below(22)) + std::u16string(old.substr(dot));
    }
    return File(rng);
  }

 private:
  std::u16string Stem(Rng& rng, size_t length) {
    const bool capitals = rng.Below(3) != 0;
    const bool foreign = rng.Percent(12);
    const char16_t* seps[] = {u" ", u"_", u"-", u""};  // no separator: CamelCase
    const char16_t* sep = seps[rng.Below(capitals ? 4 : 3)];
    std::u16string out;
    if (capitals && rng.Percent(15)) {
      out = rng.Pick(prefixes_);  // IMG_1234, DSC_0042
      out += Digits(rng, 4);
    }
    constexpr size_t kNone = size_t(-1);
    size_t foreignAt = foreign ? rng.Below(3) : kNone;
    for (size_t word = 0; out.size() < length || foreignAt != kNone; ++word) {
      if (!out.empty()) out += sep;
      if (word == foreignAt || (foreignAt != kNone && out.size() >= length)) {
        out += rng.Pick(foreign_);
        if (rng.Percent(2)) out += u"\U0001F4F7";
        if (rng.Percent(1)) out += char16_t(0xDC00 + rng.Below(0x400));  // a lone surrogate
        foreignAt = kNone;
        continue;
      }
      if (rng.Percent(18)) {
        out += rng.Percent(50) ? u"20" + Digits(rng, 2) : Digits(rng, 1 + rng.Below(4));
        continue;
      }
      std::u16string w = rng.Pick(words_);
      if (capitals && (word == 0 || *sep == 0 || rng.Percent(50))) w[0] = char16_t(w[0] - 32);
      out += w;
    }
    return out;
  }
  static std::u16string Digits(Rng& rng, uint32_t n) {
    std::u16string d;
    for (uint32_t i = 0; i < n; ++i) d += char16_t(u'0' + rng.Below(10));
    return d;
  }

  std::vector<std::u16string> words_ = Words(
      {u"report",   u"photo",      u"invoice",  u"notes",    u"draft",   u"budget",    u"summary",
       u"backup",   u"config",     u"index",    u"data",     u"project", u"meeting",   u"letter",
       u"scan",     u"screenshot", u"track",    u"video",    u"archive", u"build",     u"readme",
       u"setup",    u"thumbnail",  u"image",    u"document", u"chapter", u"lecture",   u"minutes",
       u"contract", u"resume",     u"schedule", u"plan",     u"final",   u"old",       u"new",
       u"copy",     u"test",       u"sample",   u"design",   u"logo",    u"cover",     u"music",
       u"song",     u"album",      u"release",  u"export",   u"import",  u"log",       u"cache",
       u"temp",     u"user",       u"client",   u"server",   u"module",  u"package",   u"source",
       u"header",   u"main",       u"util",     u"helper",   u"paper",   u"thesis",    u"slides",
       u"review",   u"travel",     u"family",   u"holiday",  u"receipt", u"statement", u"tax",
       u"order",    u"quote"});
  std::vector<std::u16string> prefixes_ = Words({u"IMG_", u"DSC_", u"VID_", u"Scan_", u"CV_"});
  std::vector<std::u16string> foreign_ =
      Words({u"보고서", u"사진",   u"회의록",   u"자료",     u"문서",  u"프로젝트",  u"여행",
             u"가족",   u"음악",   u"영수증",   u"발표",     u"초안",  u"café",      u"résumé",
             u"Müller", u"façade", u"naïve",    u"Ångström", u"señor", u"Überblick", u"città",
             u"отчёт",  u"фото",   u"документ", u"写真",     u"資料",  u"議事録",    u"ファイル"});
  std::vector<std::u16string> extensions_ =
      Words({u"txt", u"pdf",  u"docx", u"xlsx", u"jpg",  u"JPG", u"png", u"mp3", u"mp4", u"zip",
             u"cs",  u"cpp",  u"h",    u"json", u"html", u"log", u"dll", u"ini", u"md",  u"pptx",
             u"gz",  u"jpeg", u"PNG",  u"csv",  u"jpg",  u"pdf", u"txt", u"docx"});
};

// What the volume holds, record by record, as the journal's writer sees it.
struct Node {
  std::u16string name;
  uint32_t parent = 0;  // record number; kRootFolderRecord at the top
  uint32_t listPos = 0;
  uint32_t kidPos = 0;
  uint16_t sequence = 0;
  bool live = false;
  bool folder = false;
  uint64_t size = 0;
  uint64_t creationTime = 0;
  uint64_t modificationTime = 0;
  std::vector<uint32_t> kids;  // of a folder
};

class Volume {
 public:
  Volume(uint64_t seed, size_t liveTarget) : rng_{seed}, liveTarget_(liveTarget) {
    nodes_.resize(kRootFolderRecord + 1);
    nodes_[kRootFolderRecord].live = true;
    nodes_[kRootFolderRecord].folder = true;
    nodes_[kRootFolderRecord].sequence = kRootSequence;
  }

  // The volume before the journal follows it: one folder in sixteen, each
  // below an earlier folder, files spread over them.
  void MakeBase(uint32_t count) {
    nodes_.resize(kFirstUserRecord);
    nextRecord_ = kFirstUserRecord;
    for (uint32_t i = 0; i < count; ++i) {
      const bool folder = i < 16 || rng_.Below(16) == 0;
      const uint32_t parent = SomeFolder(folder);
      const uint32_t r = Add(parent, folder ? names_.Folder(rng_) : names_.File(rng_), folder);
      if (!folder) {
        nodes_[r].size = rng_.Next() % (uint64_t{1} << (10 + rng_.Below(22)));
        nodes_[r].modificationTime = 0x01D0000000000000ull + rng_.Next() % 0x0010000000000000ull;
        nodes_[r].creationTime = nodes_[r].modificationTime - rng_.Below(1'000'000'000);
      }
    }
  }

  // Writes one operation's journal records (a subtree's deletes are several)
  // and returns how many.
  uint32_t Step(platform::ScriptedJournal& journal) {
    const size_t live = files_.size() + folders_.size();
    const uint32_t roll = rng_.Below(1000);
    bool create = roll < 340;
    bool remove = roll >= 340 && roll < 640;
    if (create && live > liveTarget_) std::swap(create, remove);
    if (remove && live < liveTarget_) std::swap(create, remove);
    if (create) return Create(journal, roll % 20 == 0);
    if (remove) return roll % 40 == 0 ? RemoveTree(journal) : Remove(journal, rng_.Pick(files_));
    if (roll < 880) return Rename(journal, rng_.Pick(files_));
    if (roll < 960) return Move(journal, rng_.Pick(files_));
    if (roll < 985) return Rename(journal, rng_.Pick(folders_));
    return Move(journal, rng_.Pick(folders_));
  }

  size_t LiveCount() const { return files_.size() + folders_.size(); }

  // Every live file as an indexing run appends it, in record order, paths
  // and parents as a scan would find them.
  std::vector<FileEntry> LiveValues() const {
    std::vector<uint32_t> position(nodes_.size(), kNoEntry);
    std::vector<FileEntry> values;
    values.reserve(LiveCount());
    for (uint32_t r = kFirstUserRecord; r < nodes_.size(); ++r) {
      const Node& n = nodes_[r];
      if (!n.live) continue;
      position[r] = uint32_t(values.size());
      FileEntry e;
      e.id = uint32_t(values.size());
      e.recordNumber = r;
      e.parentRecordNumber = n.parent;
      e.sequenceNumber = n.sequence;
      e.drive = kDrive;
      e.name = n.name;
      e.isFolder = n.folder;
      e.size = n.size;
      e.creationTime = n.creationTime;
      e.modificationTime = n.modificationTime;
      values.push_back(std::move(e));
    }
    std::vector<std::pair<uint32_t, std::u16string>> stack;
    stack.emplace_back(kRootFolderRecord, std::u16string{kDrive, u':'});
    while (!stack.empty()) {
      auto [folder, path] = std::move(stack.back());
      stack.pop_back();
      for (uint32_t kid : nodes_[folder].kids) {
        FileEntry& e = values[position[kid]];
        e.path = path + u'\\' + e.name;
        if (e.isFolder) stack.emplace_back(kid, e.path);
      }
    }
    return values;
  }

  // Share of base names with a capital letter, with non-ASCII text, and
  // their mean length, in percent and units.
  struct Profile {
    double meanUnits = 0, capitals = 0, nonAscii = 0;
  };
  Profile NameProfile() const {
    Profile p;
    size_t count = 0, units = 0, capitals = 0, nonAscii = 0;
    for (uint32_t r = kFirstUserRecord; r < nodes_.size(); ++r) {
      const std::u16string& name = nodes_[r].name;
      if (!nodes_[r].live) continue;
      ++count;
      units += name.size();
      capitals +=
          std::any_of(name.begin(), name.end(), [](char16_t c) { return c >= u'A' && c <= u'Z'; });
      nonAscii += std::any_of(name.begin(), name.end(), [](char16_t c) { return c >= 0x80; });
    }
    if (count == 0) return p;
    p.meanUnits = double(units) / double(count);
    p.capitals = 100.0 * double(capitals) / double(count);
    p.nonAscii = 100.0 * double(nonAscii) / double(count);
    return p;
  }

 private:
  static uint64_t Ref(uint32_t record, uint16_t sequence) {
    return uint64_t(sequence) << 48 | record;
  }
  uint64_t RefOf(uint32_t r) const { return Ref(r, nodes_[r].sequence); }

  // Names are unique in their folder, capitals aside, as NTFS keeps them.
  static uint64_t NameKey(uint32_t parent, std::u16string_view name) {
    uint64_t h = 0xCBF29CE484222325ull ^ parent;
    for (char16_t c : name) h = (h ^ FoldAscii(c)) * 0x100000001B3ull;
    return h;
  }
  std::u16string FreeName(uint32_t parent, std::u16string name) {
    if (!taken_.contains(NameKey(parent, name))) return name;
    const size_t dot = name.rfind(u'.');
    const std::u16string stem = name.substr(0, dot);
    const std::u16string tail = dot == std::u16string::npos ? u"" : name.substr(dot);
    for (uint32_t k = 2;; ++k) {
      const std::string digits = std::to_string(k);
      std::u16string next =
          stem + u" (" + std::u16string(digits.begin(), digits.end()) + u")" + tail;
      if (!taken_.contains(NameKey(parent, next))) return next;
    }
  }

  uint32_t Depth(uint32_t r) const {
    uint32_t depth = 0;
    for (; r != kRootFolderRecord; r = nodes_[r].parent) ++depth;
    return depth;
  }
  // `r` or its ancestor at depth `most` (0: the root).
  uint32_t AtMostDepth(uint32_t r, uint32_t most) const {
    for (uint32_t depth = Depth(r); depth > most; --depth) r = nodes_[r].parent;
    return r;
  }
  // Where something new goes: files into any folder, folders no deeper than
  // eleven levels, as trees on real volumes stay.
  uint32_t SomeFolder(bool forFolder) {
    if (folders_.empty() || rng_.Percent(1)) return kRootFolderRecord;
    const uint32_t f = rng_.Pick(folders_);
    return forFolder ? AtMostDepth(f, 3 + rng_.Below(8)) : f;
  }

  std::vector<uint32_t>& ListOf(bool folder) { return folder ? folders_ : files_; }
  void Link(uint32_t r) {
    Node& n = nodes_[r];
    n.kidPos = uint32_t(nodes_[n.parent].kids.size());
    nodes_[n.parent].kids.push_back(r);
    taken_.insert(NameKey(n.parent, n.name));
  }
  void Unlink(uint32_t r) {
    Node& n = nodes_[r];
    std::vector<uint32_t>& kids = nodes_[n.parent].kids;
    nodes_[kids.back()].kidPos = n.kidPos;
    kids[n.kidPos] = kids.back();
    kids.pop_back();
    taken_.erase(NameKey(n.parent, n.name));
  }

  uint32_t Add(uint32_t parent, std::u16string name, bool folder) {
    uint32_t r;
    if (!free_.empty()) {  // NTFS hands out the lowest free record
      r = free_.top();
      free_.pop();
    } else {
      r = nextRecord_++;
      nodes_.resize(nextRecord_);
    }
    Node& n = nodes_[r];
    n.name = FreeName(parent, std::move(name));
    n.parent = parent;
    n.sequence = uint16_t(n.sequence % 0xFFFF + 1);
    n.live = true;
    n.folder = folder;
    n.size = n.creationTime = n.modificationTime = 0;
    n.kids.clear();
    std::vector<uint32_t>& list = ListOf(folder);
    n.listPos = uint32_t(list.size());
    list.push_back(r);
    Link(r);
    return r;
  }

  uint32_t Create(platform::ScriptedJournal& journal, bool folder) {
    const uint32_t parent = SomeFolder(folder);
    const uint32_t r = Add(parent, folder ? names_.Folder(rng_) : names_.File(rng_), folder);
    const uint32_t reason = platform::kUsnReasonFileCreate | platform::kUsnReasonClose |
                            (folder ? 0 : platform::kUsnReasonDataExtend);
    journal.Append(
        platform::MakeUsnRecordV2(RefOf(r), RefOf(parent), reason, Attributes(r), nodes_[r].name));
    return 1;
  }

  uint32_t Attributes(uint32_t r) const {
    return nodes_[r].folder ? platform::kFileAttributeDirectory : 0x20;
  }

  uint32_t Remove(platform::ScriptedJournal& journal, uint32_t r) {
    Node& n = nodes_[r];
    journal.Append(platform::MakeUsnRecordV2(
        RefOf(r), RefOf(n.parent), platform::kUsnReasonFileDelete | platform::kUsnReasonClose,
        Attributes(r), n.name));
    Unlink(r);
    std::vector<uint32_t>& list = ListOf(n.folder);
    nodes_[list.back()].listPos = n.listPos;
    list[n.listPos] = list.back();
    list.pop_back();
    n.live = false;
    n.name.clear();
    n.name.shrink_to_fit();
    free_.push(r);
    return 1;
  }

  // A folder and what it holds, deepest first, as the file system deletes
  // them; a folder holding more than a few hundred stays.
  uint32_t RemoveTree(platform::ScriptedJournal& journal) {
    const uint32_t top = rng_.Pick(folders_);
    std::vector<uint32_t> order = {top};
    for (size_t i = 0; i < order.size(); ++i) {
      for (uint32_t kid : nodes_[order[i]].kids) order.push_back(kid);
      if (order.size() > 400) return Remove(journal, rng_.Pick(files_));
    }
    for (auto it = order.rbegin(); it != order.rend(); ++it) Remove(journal, *it);
    return uint32_t(order.size());
  }

  uint32_t Rename(platform::ScriptedJournal& journal, uint32_t r) {
    Node& n = nodes_[r];
    std::u16string next = names_.Rename(rng_, n.name, n.folder);
    Unlink(r);
    n.name = FreeName(n.parent, std::move(next));
    Link(r);
    Written(journal, r);
    return 1;
  }

  // Into another folder (a folder never into its own tree, nor deeper than
  // it was), renamed only where its name is taken there.
  uint32_t Move(platform::ScriptedJournal& journal, uint32_t r) {
    uint32_t target = rng_.Percent(2) ? kRootFolderRecord : rng_.Pick(folders_);
    if (nodes_[r].folder) target = AtMostDepth(target, Depth(r) - 1);
    for (uint32_t up = target; up != kRootFolderRecord; up = nodes_[up].parent) {
      if (up == r) {
        target = kRootFolderRecord;
        break;
      }
    }
    if (target == nodes_[r].parent) return Rename(journal, r);
    Node& n = nodes_[r];
    Unlink(r);
    n.parent = target;
    n.name = FreeName(target, std::move(n.name));
    Link(r);
    Written(journal, r);
    return 1;
  }

  void Written(platform::ScriptedJournal& journal, uint32_t r) {
    const Node& n = nodes_[r];
    journal.Append(platform::MakeUsnRecordV2(
        RefOf(r), RefOf(n.parent), platform::kUsnReasonRenameNewName | platform::kUsnReasonClose,
        Attributes(r), n.name));
  }

  Rng rng_;
  size_t liveTarget_ = 0;
  NameMaker names_;
  std::vector<Node> nodes_;
  uint32_t nextRecord_ = kFirstUserRecord;
  std::priority_queue<uint32_t, std::vector<uint32_t>, std::greater<>> free_;
  std::vector<uint32_t> files_, folders_;
  std::unordered_set<uint64_t> taken_;
};

std::unique_ptr<FileIndex> BuildIndex(std::vector<FileEntry> values) {
  auto index = std::make_unique<FileIndex>();
  {
    EntryWriter writer(index->entries);
    index->Run(writer).drives = {kDrive};
    const EntryWriteView hold(writer);
    hold.store().AppendValues(values);
  }
  index->drives = {kDrive};
  RebuildNameIndex(*index, true);  // with n-grams, as the window builds it
  return index;
}

// Entries' bytes plus the name index's, as --stats counts them.
struct IndexBytes {
  size_t entries = 0, nameIndex = 0;
  size_t Total() const { return entries + nameIndex; }
};
IndexBytes BytesOf(const FileIndex& index) {
  const EntryReadView hold(index.entries);
  return {hold.entries().MemoryBytes(), NameIndexBytes(index.nameIndex, hold)};
}

size_t LiveEntries(const FileIndex& index) {
  const EntryReadView hold(index.entries);
  size_t live = 0;
  for (const EntryRef e : hold.entries()) live += e.isDeleted() ? 0 : 1;
  return live;
}

// Each result as its drive and path, hashed; in display order.
std::vector<uint64_t> Shown(const FileIndex& index, const std::vector<uint32_t>& results) {
  const EntryReadView hold(index.entries);
  std::vector<uint64_t> out;
  out.reserve(results.size());
  std::u16string path;
  for (uint32_t n : results) {
    const auto e = LookupEntry(hold, n);
    if (!e) {
      out.push_back(0);
      continue;
    }
    e->PathInto(path);
    out.push_back(std::hash<std::u16string_view>{}(path) ^ uint64_t(e->drive()) << 56);
  }
  return out;
}

std::vector<uint64_t> SortedShown(const FileIndex& index, const SearchQuery& query,
                                  const SortSpec& order) {
  ResultSet results;
  results.Replace(RunQuery(index.nameIndex, query));
  SortResults(results, order, index.nameIndex);
  return Shown(index, results.Snapshot());
}

// Every query kind, unsorted as sets and sorted as the window shows them;
// the broad ones by every column both ways. Counts the differing answers.
// Queries that found nothing on the churned index go to `empty`.
int DifferingAnswers(const FileIndex& churned, const FileIndex& fresh, int& empty) {
  const char16_t* texts[] = {
      // prefix, prefix with extension, extension
      u"re*", u"IMG_1*", u"보*", u"a*", u"rep*.pdf", u"img*.JPG", u"*.jpg", u"*.gz", u"*.PNG",
      // contains: one, two, three units and more, folded, non-ASCII
      u"a", u"é", u"or", u"사진", u"port", u"Final_", u"ment 2", u"ström", u"写真",
      // suffix
      u"*s", u"*2024", u"*copy.docx", u"*tes.txt"};
  const char16_t* broad[] = {u"a", u"*.jpg", u"re*"};
  int differing = 0;
  for (const char16_t* text : texts) {
    const SearchQuery q = ParseQuery(text);
    std::vector<uint64_t> a = Shown(churned, RunQuery(churned.nameIndex, q));
    std::vector<uint64_t> b = Shown(fresh, RunQuery(fresh.nameIndex, q));
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    differing += a != b;
    if (a.empty()) {
      ++empty;
      std::fprintf(stderr, "churn: %s finds nothing\n", ToUtf8(text).c_str());
    }
    const SortSpec byName{kColumnName, false, true};
    differing += SortedShown(churned, q, byName) != SortedShown(fresh, q, byName);
  }
  for (const char16_t* text : broad) {
    const SearchQuery q = ParseQuery(text);
    for (uint32_t column = 0; column < kColumnCount; ++column) {
      for (const bool descending : {false, true}) {
        for (const bool foldersFirst : {false, true}) {
          const SortSpec order{column, descending, foldersFirst};
          differing += SortedShown(churned, q, order) != SortedShown(fresh, q, order);
        }
      }
    }
  }
  // The list shown for an empty search: every live entry.
  std::vector<uint64_t> a = Shown(churned, AllPassing(churned.entries, {}));
  std::vector<uint64_t> b = Shown(fresh, AllPassing(fresh.entries, {}));
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  differing += a != b;
  return differing;
}

// Waits until `applied()` reaches `count`; false when it stops moving for a
// minute (the monitor thread gave up), so that a fault ends the run.
bool WaitForApplied(const std::function<uint64_t()>& applied, uint64_t count) {
  uint64_t last = applied();
  auto moved = Clock::now();
  while (last < count) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const uint64_t now = applied();
    if (now != last) {
      last = now;
      moved = Clock::now();
    } else if (Clock::now() - moved > std::chrono::minutes(1)) {
      return false;
    }
  }
  return true;
}

void BM_ChurnSoak(benchmark::State& state) {
  for (auto _ : state) {
    const auto start = Clock::now();
    const auto liveTarget = uint32_t(state.range(0));
    const auto kChanges = uint64_t(state.range(1));
    Volume volume(0x5EED2112, liveTarget);
    volume.MakeBase(liveTarget);
    const Volume::Profile profile = volume.NameProfile();
    std::unique_ptr<FileIndex> index = BuildIndex(volume.LiveValues());

    auto journal = std::make_shared<platform::ScriptedJournal>(0x0C4A2170000001ull, 0);
    UsnMonitor monitor([journal](char16_t) { return platform::ScriptedJournal::Open(journal); });
    StartLiveUpdate(*index, monitor);
    if (!journal->WaitForReads(1)) {
      state.SkipWithError("the monitor never read its journal");
      return;
    }
    const uint64_t rssBefore = platform::ResidentBytes();
    const auto churnStart = Clock::now();

    // Bursts of a few changes to tens of thousands, written while the
    // monitor works through the earlier ones; records it has applied are
    // dropped from the journal, as a real one wraps.
    const std::function<uint64_t()> applied = [&] {
      return monitor.Stats().changes.load() + monitor.Stats().handlerFailures.load();
    };
    Rng bursts{7};
    uint64_t written = 0;
    std::deque<std::pair<uint64_t, int64_t>> batchEnds;  // changes written, next USN
    while (written < kChanges) {
      const uint64_t burst =
          bursts.Percent(80) ? 1 + bursts.Below(2000) : 2000 + bursts.Below(38'000);
      const uint64_t before = written;
      for (uint64_t k = 0; k < burst && written < kChanges;) {
        const uint32_t n = volume.Step(*journal);
        k += n;
        written += n;
      }
      batchEnds.emplace_back(written, journal->NextUsn());
      if (written * 10 / kChanges != before * 10 / kChanges) {
        std::fprintf(stderr, "churn: %llu changes written, %llu applied, %.0f s\n",
                     static_cast<unsigned long long>(written),
                     static_cast<unsigned long long>(applied()),
                     Seconds(Clock::now() - churnStart));
      }
      if (!WaitForApplied(applied, written - std::min(written, kOutstanding))) break;
      int64_t dropBefore = -1;
      while (!batchEnds.empty() && batchEnds.front().first <= applied()) {
        dropBefore = batchEnds.front().second;
        batchEnds.pop_front();
      }
      if (dropBefore >= 0) journal->DropRecordsBefore(dropBefore);
    }
    const bool stalled = !WaitForApplied(applied, written);
    StopLiveUpdate(monitor);
    if (stalled) {
      state.SkipWithError("the live update stopped applying changes");
      return;
    }
    const double churnSeconds = Seconds(Clock::now() - churnStart);
    const uint64_t rssAfter = platform::ResidentBytes();

    const size_t live = LiveEntries(*index);
    const IndexBytes churnedSplit = BytesOf(*index);
    const size_t churnedBytes = churnedSplit.Total();
    size_t storeSize = 0;
    {
      const EntryReadView hold(index->entries);
      storeSize = hold.entries().size();
    }
    std::unique_ptr<FileIndex> fresh = BuildIndex(volume.LiveValues());
    const size_t freshLive = LiveEntries(*fresh);
    const size_t freshBytes = BytesOf(*fresh).Total();
    int empty = 0;
    const int differing = DifferingAnswers(*index, *fresh, empty);

    state.counters["changes"] = double(monitor.Stats().changes.load());
    state.counters["failed_changes"] = double(monitor.Stats().handlerFailures.load());
    state.counters["live_entries"] = double(live);
    state.counters["stored_entries"] = double(storeSize);
    state.counters["resident_ratio"] =
        live == 0 || freshBytes == 0
            ? 0
            : (double(churnedBytes) / double(live)) / (double(freshBytes) / double(freshLive));
    state.counters["churned_bytes_per_entry"] = live == 0 ? 0 : double(churnedBytes) / double(live);
    // Where they are: the entries (records, names) and the name index.
    state.counters["churned_entry_bytes_per_entry"] =
        live == 0 ? 0 : double(churnedSplit.entries) / double(live);
    state.counters["churned_name_index_bytes_per_entry"] =
        live == 0 ? 0 : double(churnedSplit.nameIndex) / double(live);
    state.counters["fresh_bytes_per_entry"] =
        freshLive == 0 ? 0 : double(freshBytes) / double(freshLive);
    state.counters["answers_equal"] = differing == 0 && live == freshLive ? 1 : 0;
    state.counters["differing_answers"] = differing;
    state.counters["queries_without_results"] = empty;
    state.counters["rss_before_mib"] = double(rssBefore) / double(1 << 20);
    state.counters["rss_after_mib"] = double(rssAfter) / double(1 << 20);
    state.counters["peak_rss_mib"] = double(platform::PeakResidentBytes()) / double(1 << 20);
    state.counters["churn_s"] = churnSeconds;
    state.counters["changes_per_s"] = churnSeconds > 0 ? double(written) / churnSeconds : 0;
    state.counters["name_mean_units"] = profile.meanUnits;
    state.counters["names_with_capitals_pct"] = profile.capitals;
    state.counters["names_non_ascii_pct"] = profile.nonAscii;
    state.SetIterationTime(Seconds(Clock::now() - start));
  }
}
// Arguments: entries, changes. The second is a quick look at the same mix.
BENCHMARK(BM_ChurnSoak)
    ->Args({1'000'000, 5'000'000})
    ->Args({100'000, 500'000})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace zw

BENCHMARK_MAIN();
