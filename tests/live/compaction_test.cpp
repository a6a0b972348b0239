// Compaction while the journals are followed: the entries deletes and
// renames left behind are given back, and nothing that holds an entry number
// (id map, name index, result set, a running search) ends up naming another
// file.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <map>
#include <thread>
#include <tuple>

#include "live/live_update.h"
#include "live/usn_monitor.h"
#include "live_test_support.h"
#include "search/name_index.h"
#include "search/result_set.h"
#include "search/search_support.h"
#include "search/searcher.h"

namespace zw {
namespace {

using test::Ref;

// What makes a file itself, without its entry number.
using FileKey = std::pair<char16_t, uint64_t>;
using FileFacts = std::tuple<std::u16string, std::u16string, uint64_t, uint16_t, uint64_t, uint64_t,
                             uint64_t, uint32_t, bool>;

FileFacts FactsOf(const FileEntry& e) {
  return {e.name,    e.path,         e.parentRecordNumber, e.sequenceNumber,
          e.size,    e.creationTime, e.modificationTime,   e.attributes,
          e.isFolder};
}

// Drive D: folders with files, changed through the live update only, so that
// every kind of entry a compaction keeps or drops is there.
class Compaction : public ::testing::Test {
 protected:
  void SetUp() override {
    for (uint64_t f = 0; f < kFolders; ++f) {
      test::AddEntry(index, u'D', 100 + f, 5, u"D:\\f" + Num(f), true);
    }
    RebuildNameIndex(index, false);   // contains searches scan, in chunks
    StartLiveUpdate(index, monitor);  // no drives: the id map only
  }

  static std::u16string Num(uint64_t n) { return FromUtf8(std::to_string(n)); }
  uint32_t Next() {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    return uint32_t(seed >> 33);
  }
  uint64_t Folder() { return 100 + Next() % kFolders; }
  void Create() {
    const uint64_t record = nextRecord++;
    OnFileCreated(index, monitor, u'D', Ref(record), Ref(Folder()), u"n" + Num(record) + u".txt",
                  false);
    files.push_back(record);
  }
  uint64_t AnyFile() { return files[Next() % files.size()]; }
  void Delete() {
    const size_t at = Next() % files.size();
    OnFileDeleted(index, monitor, u'D', Ref(files[at]));
    files[at] = files.back();
    files.pop_back();
  }
  void Rename() {
    const uint64_t record = AnyFile();
    OnFileRenamed(index, monitor, u'D', Ref(record), Ref(Folder()), u"r" + Num(Next() % 1000));
  }

  std::map<FileKey, FileFacts> LiveFiles() const {
    std::map<FileKey, FileFacts> out;
    const EntryReadView hold(index.entries);
    for (const EntryRef e : hold.entries()) {
      if (!e.isDeleted()) out[{e.drive(), e.recordNumber()}] = FactsOf(e.Value());
    }
    return out;
  }
  std::vector<FileKey> Found(const std::u16string& text) const {
    std::vector<FileKey> out;
    const std::vector<uint32_t> found = RunQuery(index.nameIndex, ParseQuery(text));
    const EntryReadView hold(index.entries);
    for (uint32_t n : found)
      out.emplace_back(hold.entries()[n].drive(), hold.entries()[n].recordNumber());
    return out;
  }

  static constexpr uint64_t kFolders = 20;
  FileIndex index;
  UsnMonitor monitor{platform::UsnJournalFactory{}};
  std::vector<uint64_t> files;
  uint64_t nextRecord = 1000;
  uint64_t seed = 11;
};

TEST_F(Compaction, EveryHolderOfANumberStillNamesTheSameFile) {
  for (int k = 0; k < 1500; ++k) Create();
  for (int k = 0; k < 600; ++k) Delete();
  for (int k = 0; k < 300; ++k) Rename();
  // A folder deleted with its files, one moved into the recycle bin with
  // its files, and a folder record taken by a new file while its own files
  // are still linked below it (its deletion was missed).
  OnFileDeleted(index, monitor, u'D', Ref(101));
  OnFileRenamed(index, monitor, u'D', Ref(102), Ref(5), u"$RFOLDER", true);
  OnFileCreated(index, monitor, u'D', Ref(103, 4), Ref(5), u"reused.txt", false);

  const std::map<FileKey, FileFacts> before = LiveFiles();
  const std::u16string queries[] = {u"n1", u"*7.txt", u"r5", u"f1*", u"*.txt", u"eu"};
  std::vector<std::vector<FileKey>> answers;
  for (const auto& q : queries) answers.push_back(Found(q));
  std::vector<FileEntry> old;  // by the old numbers
  size_t recycled = 0;
  {
    const EntryReadView hold(index.entries);
    for (const EntryRef e : hold.entries()) {
      old.push_back(e.Value());
      recycled += (hold.entries().Record(e.id()).flags & EntryStore::kRecycled) != 0;
    }
  }
  ASSERT_GT(recycled, 1u);
  ResultSet shown;  // every entry, last first, as a list might show them
  std::vector<uint32_t> rows(old.size());
  for (uint32_t n = 0; n < rows.size(); ++n) rows[n] = uint32_t(rows.size() - 1 - n);
  const uint64_t generation = shown.Clear();
  shown.Replace(rows);
  const uint64_t numbering = shown.Numbering();
  index.renumberedCallback = [&](const std::vector<uint32_t>& oldToNew, uint32_t count) {
    shown.Renumber(oldToNew, count);
  };

  {
    EntryWriter writer(index.entries);
    ASSERT_TRUE(CompactEntries(index, monitor, writer));
  }

  const EntryReadView hold(index.entries);
  const EntryStore& now = hold.entries();
  EXPECT_EQ(now.size(), before.size() + recycled);
  EXPECT_EQ(LiveFiles(), before);
  for (size_t q = 0; q < std::size(queries); ++q) {
    EXPECT_EQ(Found(queries[q]), answers[q]) << ToUtf8(queries[q]);
  }
  // The rows and the id map lead to the same files as before, or to none.
  EXPECT_FALSE(shown.IfCurrent(generation, numbering, [](auto&) {})) << "found before: refused";
  std::vector<uint32_t> rowsNow;
  for (size_t row = 0; row < rows.size(); ++row) {
    const FileEntry& was = old[rows[row]];
    const uint32_t n = shown.At(row);
    if (was.name.empty() && n == kNoEntry) continue;  // deleted and given back
    ASSERT_NE(n, kNoEntry) << ToUtf8(was.path);
    EXPECT_EQ(now[n].recordNumber(), was.recordNumber);
    EXPECT_EQ(now[n].path(), was.path);
  }
  for (const auto& [key, facts] : before) {
    const uint32_t n = FindEntryByRef(hold, monitor, key.first, key.second);
    ASSERT_NE(n, kNoEntry);
    EXPECT_EQ(FactsOf(now[n].Value()), facts);
  }
}

TEST_F(Compaction, BytesPerLiveEntryStayNearAFreshStoresWhileFilesChurn) {
  for (int k = 0; k < 40000; ++k) Create();
  for (int k = 0; k < 60000; ++k) {
    Create();
    Delete();
    if (k % 4 == 0) Rename();
  }
  std::vector<FileEntry> live;
  size_t bytes = 0;
  {
    const EntryReadView hold(index.entries);
    bytes = hold.entries().MemoryBytes();
    for (const EntryRef e : hold.entries()) {
      if (!e.isDeleted()) live.push_back(e.Value());
    }
    EXPECT_LT(hold.entries().size(), 100000u) << "compacted on the way";
  }
  EntryStore fresh;
  const size_t count = live.size();
  fresh.AppendValues(live);
  EXPECT_LE(double(bytes) / double(count), 1.25 * double(fresh.MemoryBytes()) / double(count));
}

// Searches run back to back while another thread churns and compacts: each
// answer holds only entries that match, and every file that stayed.
TEST_F(Compaction, ASearchAcrossACompactionDeliversNoStaleNumber) {
  for (int k = 0; k < 20000; ++k) Create();
  constexpr int kStaying = 50;
  for (uint64_t k = 0; k < kStaying; ++k) {
    OnFileCreated(index, monitor, u'D', Ref(500000 + k), Ref(Folder()), u"k77_" + Num(k), false);
  }
  for (bool parallel : {false, true}) {
    ResultSet results;
    index.renumberedCallback = [&](const std::vector<uint32_t>& oldToNew, uint32_t count) {
      results.Renumber(oldToNew, count);
    };
    std::atomic<bool> stop{false};
    std::thread journal([&] {
      for (int round = 0; !stop.load(); ++round) {
        for (int k = 0; k < 100; ++k) {
          Create();
          Delete();
        }
        EntryWriter writer(index.entries);
        CompactEntries(index, monitor, writer);
      }
    });
    Searcher searcher(parallel, true);
    searcher.SetNameIndex(&index.nameIndex);
    for (int s = 0; s < 40; ++s) {
      // Few names hold "77": a number found before a renumbering names
      // another file, which most likely does not.
      std::promise<void> done;
      searcher.StartSearch(ParseQuery(u"77"), &results, nullptr,
                           [&](uint64_t) { done.set_value(); });
      done.get_future().wait();
      const EntryReadView hold(index.entries);
      int staying = 0;
      for (uint32_t n : results.Snapshot()) {
        if (n == kNoEntry) continue;  // deleted after it was found
        ASSERT_LT(n, hold.entries().size());
        const std::u16string name = hold.entries()[n].name().str();
        if (name.empty()) continue;  // deleted after it was found
        EXPECT_NE(name.find(u"77"), std::u16string::npos) << ToUtf8(name);
        staying += name.starts_with(u"k77_");
      }
      EXPECT_EQ(staying, kStaying);
    }
    stop = true;
    journal.join();
    index.renumberedCallback = nullptr;
  }
}

}  // namespace
}  // namespace zw
