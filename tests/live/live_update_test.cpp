#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <numeric>

#include "live/live_update.h"
#include "live/usn_monitor.h"
#include "live_test_support.h"
#include "platform/drive_table.h"
#include "search/name_index.h"
#include "search/result_set.h"
#include "search/search_support.h"
#include "support/alloc_failure.h"
#include "support/test_paths.h"

namespace zw {
namespace {

using test::AddEntry;
using test::Ref;

// Drive W: a small indexed tree, with changes applied straight to it.
//   W:\Work (100) holding a.txt (101) and Sub (102) holding deep.txt (103)
//   W:\Other (110)
class LiveUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    work = AddEntry(index, u'W', 100, 5, u"W:\\Work", true);
    a = AddEntry(index, u'W', 101, 100, u"W:\\Work\\a.txt");
    sub = AddEntry(index, u'W', 102, 100, u"W:\\Work\\Sub", true);
    deep = AddEntry(index, u'W', 103, 102, u"W:\\Work\\Sub\\deep.txt");
    other = AddEntry(index, u'W', 110, 5, u"W:\\Other", true);
    index.changedCallback = [this] { ++changes; };
    RebuildIds();
  }
  // What StartLiveUpdate does before it starts the threads.
  void RebuildIds() {
    monitor.SetDeviceFactory({});
    StartLiveUpdate(index, monitor);  // no drives: the monitor stays idle
    ASSERT_FALSE(monitor.IsRunning());
  }
  FileEntry E(uint32_t n) const { return test::Read(index).entries().at(n); }
  uint32_t Find(char16_t drive, uint64_t ref) {
    return FindEntryByRef(EntryWriter(index.entries), monitor, drive, ref);
  }

  FileIndex index;
  UsnMonitor monitor{platform::UsnJournalFactory{}};
  int changes = 0;
  uint32_t work = 0, a = 0, sub = 0, deep = 0, other = 0;
};

TEST_F(LiveUpdateTest, CreatedFileGetsItsPathFromAnIndexedParentOrTheRoot) {
  const size_t before = test::Read(index).entries().size();
  OnFileCreated(index, monitor, u'W', Ref(200), Ref(100, 9), u"Report.TXT", false);
  ASSERT_EQ(test::Read(index).entries().size(), before + 1);
  const FileEntry& e = test::Read(index).entries().back();
  EXPECT_EQ(e.id, before);
  EXPECT_EQ(e.path, u"W:\\Work\\Report.TXT");
  EXPECT_EQ(e.lowerName, u"report.txt");
  EXPECT_EQ(e.extension, u"TXT");
  EXPECT_EQ(e.lowerExtension, u"txt");
  EXPECT_EQ(e.recordNumber, 200u);
  EXPECT_EQ(e.parentRecordNumber, 100u);
  EXPECT_EQ(e.attributes, 0u);
  EXPECT_EQ(Find(u'W', Ref(200, 0)), before);    // 0: not known
  EXPECT_EQ(Find(u'W', Ref(200, 1)), kNoEntry);  // another file in that record
  EXPECT_EQ(changes, 1);

  // Parent not indexed (the root, or a folder we never saw).
  OnFileCreated(index, monitor, u'D', Ref(201), Ref(77), u"x.txt", false);
  EXPECT_EQ(test::Read(index).entries().back().Value().path, u"D:\\x.txt");
  // A new folder: no extension; what is created inside it lands below it.
  OnFileCreated(index, monitor, u'W', Ref(202), Ref(100), u"backup.2024", true);
  EXPECT_EQ(test::Read(index).entries().back().Value().extension, u"");
  OnFileCreated(index, monitor, u'W', Ref(203), Ref(202), u"Ä.bc", false);
  EXPECT_EQ(test::Read(index).entries().back().Value().path, u"W:\\Work\\backup.2024\\Ä.bc");
  EXPECT_EQ(test::Read(index).entries().back().Value().lowerName, u"Ä.bc");  // only ASCII folds
}

TEST_F(LiveUpdateTest, CreatedFileTakesSizeAndTimesFromTheFileSystem) {
#ifdef _WIN32
  GTEST_SKIP() << "drive mount points resolve paths only on POSIX";
#endif
  const std::string dir = test::ScratchDir("live-attributes");
  for (const char* name : {"/new.bin", "/dot.", "/space "})
    std::ofstream(dir + name, std::ios::binary) << std::string(1234, 'x');
  platform::DriveBinding binding;
  binding.letter = u'V';
  binding.source = dir;
  binding.mountPoint = dir;
  platform::BindDrive(binding);
  // Win32 would read "dot" and "space" for these: never asked, so a scanned
  // entry keeps the MFT's size and a new one has none.
  const uint32_t dot = AddEntry(index, u'V', 302, 5, u"V:\\dot.");
  EntryWriteView(index.entries).store().SetSize(dot, 7);
  RebuildIds();
  OnFileModified(index, monitor, u'V', Ref(302));
  OnFileCreated(index, monitor, u'V', Ref(302), Ref(5), u"dot.", false);  // replayed
  EXPECT_EQ(E(dot).size, 7u);
  OnFileCreated(index, monitor, u'V', Ref(303), Ref(5), u"space ", false);
  EXPECT_EQ(test::Read(index).entries().back().Value().size, 0u);
  OnFileCreated(index, monitor, u'V', Ref(300), Ref(5), u"new.bin", false);
  OnFileCreated(index, monitor, u'V', Ref(301), Ref(5), u"gone.bin", false);
  platform::UnbindDrive(u'V');
  const FileEntry made = E(uint32_t(test::Read(index).entries().size() - 2));
  EXPECT_EQ(made.size, 1234u);
  EXPECT_NE(made.modificationTime, 0u);
  EXPECT_NE(made.creationTime, 0u);
  // Already gone again: still added, with zeros.
  EXPECT_EQ(test::Read(index).entries().back().Value().path, u"V:\\gone.bin");
  EXPECT_EQ(test::Read(index).entries().back().Value().size, 0u);
}

TEST_F(LiveUpdateTest, RecycleBinFilesAreNeverAddedAndRenamingIntoTheBinDeletes) {
  const size_t before = test::Read(index).entries().size();
  OnFileCreated(index, monitor, u'W', Ref(210), Ref(100), u"$RXYZ.doc", false);
  OnFileCreated(index, monitor, u'W', Ref(211), Ref(100), u"$IXYZ.doc", false);
  EXPECT_EQ(test::Read(index).entries().size(), before);
  EXPECT_EQ(changes, 0);

  OnFileRenamed(index, monitor, u'W', Ref(101), Ref(100), u"$IXYZ.doc");
  EXPECT_EQ(E(a).name, u"$IXYZ.doc");  // $I is only a name here
  OnFileRenamed(index, monitor, u'W', Ref(101), Ref(100), u"$RXYZ.doc");
  EXPECT_EQ(E(a).name, u"");
  EXPECT_EQ(E(a).path, u"");
  EXPECT_EQ(Find(u'W', Ref(101)), kNoEntry);
  EXPECT_EQ(changes, 2);
}

TEST_F(LiveUpdateTest, DeleteLeavesATombstoneAndUnknownFilesAreIgnored) {
  const size_t before = test::Read(index).entries().size();
  OnFileDeleted(index, monitor, u'W', Ref(101, 8));
  EXPECT_EQ(test::Read(index).entries().size(), before);
  EXPECT_EQ(E(a).name, u"");
  EXPECT_EQ(E(a).lowerName, u"");
  EXPECT_EQ(E(a).path, u"");
  EXPECT_EQ(E(a).recordNumber, 101u);  // the rest stays
  EXPECT_EQ(Find(u'W', Ref(101)), kNoEntry);
  EXPECT_EQ(changes, 1);
  // Unknown files, another drive, an already deleted one: no notification.
  OnFileDeleted(index, monitor, u'W', Ref(999));
  OnFileDeleted(index, monitor, u'X', Ref(101));
  OnFileDeleted(index, monitor, u'W', Ref(101));
  OnFileRenamed(index, monitor, u'W', Ref(999), Ref(77), u"new.txt");  // within left-out folders
  OnFileModified(index, monitor, u'W', Ref(999));
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(test::Read(index).entries().size(), before);  // a rename adds nothing

  // A tombstone comes back into the id map at the next start; modifying it
  // reads nothing but still notifies.
  RebuildIds();
  EXPECT_EQ(Find(u'W', Ref(101)), a);
  OnFileModified(index, monitor, u'W', Ref(101));
  EXPECT_EQ(changes, 2);
}

TEST_F(LiveUpdateTest, RenameInPlaceKeepsTheFolderAndRederivesNames) {
  OnFileRenamed(index, monitor, u'W', Ref(101), Ref(100), u"b.TXT");
  EXPECT_EQ(E(a).name, u"b.TXT");
  EXPECT_EQ(E(a).lowerName, u"b.txt");
  EXPECT_EQ(E(a).extension, u"TXT");
  EXPECT_EQ(E(a).lowerExtension, u"txt");
  EXPECT_EQ(E(a).path, u"W:\\Work\\b.TXT");
  EXPECT_EQ(E(a).recordNumber, 101u);
  EXPECT_EQ(Find(u'W', Ref(101)), a);
  // Parent not indexed and unchanged: the folder part we had stays.
  const uint32_t lone = AddEntry(index, u'W', 120, 119, u"W:\\Hidden\\x.txt");
  RebuildIds();
  OnFileRenamed(index, monitor, u'W', Ref(120), Ref(119), u"y.txt");
  EXPECT_EQ(E(lone).path, u"W:\\Hidden\\y.txt");
}

TEST_F(LiveUpdateTest, MovedFileFollowsItsNewParent) {
  OnFileRenamed(index, monitor, u'W', Ref(103), Ref(110), u"deep.txt");
  EXPECT_EQ(E(deep).path, u"W:\\Other\\deep.txt");
  EXPECT_EQ(E(deep).parentRecordNumber, 110u);
  // Moved to the root (never an entry).
  OnFileRenamed(index, monitor, u'W', Ref(103), Ref(5, 5), u"top.txt");
  EXPECT_EQ(E(deep).path, u"W:\\top.txt");
  EXPECT_EQ(E(deep).parentRecordNumber, 5u);
}

TEST_F(LiveUpdateTest, RenamingOrMovingAFolderRewritesEverythingBelowIt) {
  OnFileRenamed(index, monitor, u'W', Ref(100), Ref(5), u"Job");
  EXPECT_EQ(E(work).path, u"W:\\Job");
  EXPECT_EQ(E(a).path, u"W:\\Job\\a.txt");
  EXPECT_EQ(E(sub).path, u"W:\\Job\\Sub");
  EXPECT_EQ(E(deep).path, u"W:\\Job\\Sub\\deep.txt");
  EXPECT_EQ(E(other).path, u"W:\\Other");
  // A file created after the rename lands under the new path, and a move of
  // the inner folder carries its file along.
  OnFileRenamed(index, monitor, u'W', Ref(102), Ref(110), u"Sub");
  EXPECT_EQ(E(deep).path, u"W:\\Other\\Sub\\deep.txt");
  EXPECT_EQ(E(a).path, u"W:\\Job\\a.txt");
  // A sibling whose name only starts like the folder is not below it.
  const uint32_t twin = AddEntry(index, u'W', 130, 5, u"W:\\Other2\\z.txt");
  RebuildIds();
  OnFileRenamed(index, monitor, u'W', Ref(110), Ref(5), u"Else");
  EXPECT_EQ(E(deep).path, u"W:\\Else\\Sub\\deep.txt");
  EXPECT_EQ(E(twin).path, u"W:\\Other2\\z.txt");
}

TEST_F(LiveUpdateTest, DeletingOrRecyclingAFolderEmptiesEverythingBelowIt) {
  OnFileRenamed(index, monitor, u'W', Ref(102), Ref(5), u"$R0A1B2C");
  EXPECT_EQ(E(sub).path, u"");
  EXPECT_EQ(E(deep).path, u"");
  EXPECT_EQ(E(deep).name, u"");
  EXPECT_EQ(Find(u'W', Ref(103)), kNoEntry);
  EXPECT_EQ(E(a).path, u"W:\\Work\\a.txt");
  OnFileDeleted(index, monitor, u'W', Ref(100));
  EXPECT_EQ(E(a).path, u"");
  EXPECT_EQ(E(other).path, u"W:\\Other");
  EXPECT_EQ(changes, 2);
}

TEST_F(LiveUpdateTest, ARecordCreatedAgainReplacesTheEntryThatHeldIt) {
  const size_t before = test::Read(index).entries().size();
  OnFileCreated(index, monitor, u'W', Ref(101, 9), Ref(110), u"reused.txt", false);
  EXPECT_EQ(E(a).path, u"");  // not shown twice
  EXPECT_EQ(test::Read(index).entries().size(), before + 1);
  EXPECT_EQ(Find(u'W', Ref(101, 9)), before);
}

// Folder 300 (sequence 4) was deleted unseen, and NTFS gave its record to a
// new file (sequence 5): that file's changes never reach the folder's entry.
TEST_F(LiveUpdateTest, ChangesToAReusedRecordAreTheNewFilesNotTheOldEntrys) {
  OnFileCreated(index, monitor, u'W', Ref(300, 4), Ref(100), u"Old", true);
  const uint32_t old = Find(u'W', Ref(300, 4));
  OnFileDeleted(index, monitor, u'W', Ref(300, 6));
  EXPECT_EQ(E(old).path, u"W:\\Work\\Old");
  ApplyChange(index, monitor,
              {UsnChangeKind::Renamed, u'W', Ref(300, 5), Ref(110), u"new.txt", false});
  EXPECT_EQ(test::Read(index).entries().RawName(old), u"Old");
  EXPECT_EQ(E(old).parentRecordNumber, 100u);
  EXPECT_TRUE(E(old).isFolder);
  const uint32_t fresh = Find(u'W', Ref(300, 5));
  ASSERT_NE(fresh, kNoEntry);
  EXPECT_EQ(E(fresh).path, u"W:\\Other\\new.txt");
  EXPECT_FALSE(E(fresh).isFolder);
  EXPECT_EQ(Find(u'W', Ref(300, 4)), kNoEntry);
  // Reused again and first heard of through a modification.
  ApplyChange(index, monitor,
              {UsnChangeKind::Modified, u'W', Ref(300, 7), Ref(100), u"m.txt", false});
  ASSERT_NE(Find(u'W', Ref(300, 7)), kNoEntry);
  EXPECT_EQ(E(Find(u'W', Ref(300, 7))).path, u"W:\\Work\\m.txt");
  EXPECT_EQ(E(fresh).path, u"");
}

// Out of memory at any point, a create that replaces an entry whose delete
// was missed leaves the new entry with its key and the old one gone, or
// neither: an entry no key leads to could never be deleted or renamed.
TEST_F(LiveUpdateTest, ACreateThatRunsOutOfMemoryAddsItsEntryAndKeyOrNeither) {
  const size_t before = test::Read(index).entries().size();
  auto check = [&](size_t k) {
    const uint32_t found = Find(u'W', Ref(101, 4));  // the old entry knows no sequence
    if (test::Read(index).entries().size() == before) {
      EXPECT_EQ(found, a) << k;
      EXPECT_EQ(E(a).path, u"W:\\Work\\a.txt") << k;
    } else {
      ASSERT_EQ(test::Read(index).entries().size(), before + 1) << k;
      EXPECT_EQ(found, before) << k;
      EXPECT_EQ(E(a).path, u"") << k;
    }
  };
  test::ForEachAllocationFailure(
      [&] { OnFileCreated(index, monitor, u'W', Ref(101, 4), Ref(110), u"b.txt", false); }, check);
  check(0);
  EXPECT_EQ(E(uint32_t(before)).path, u"W:\\Other\\b.txt");
}

TEST_F(LiveUpdateTest, NumbersFromAnEarlierRunAreNotApplied) {
  // A new run replaced the entries; the map still holds the old numbers.
  EntryWriteView(index.entries).store().clear();
  AddEntry(index, u'W', 500, 5, u"W:\\fresh.txt");
  OnFileDeleted(index, monitor, u'W', Ref(100));  // old map: 100 -> 0
  OnFileRenamed(index, monitor, u'W', Ref(100), Ref(77), u"x");
  EXPECT_EQ(test::Read(index).entries()[0].Value().path, u"W:\\fresh.txt");
  EXPECT_EQ(changes, 0);
  // While a run is in progress nothing is applied at all.
  index.indexing = true;
  ApplyChange(index, monitor,
              UsnChange{UsnChangeKind::Created, u'W', Ref(600), Ref(5), u"n", false});
  EXPECT_EQ(test::Read(index).entries().size(), 1u);
  index.indexing = false;
}

TEST_F(LiveUpdateTest, ApplyChangeDispatchesEveryKind) {
  const size_t before = test::Read(index).entries().size();
  ApplyChange(index, monitor, {UsnChangeKind::Created, u'W', Ref(220), Ref(100), u"n.txt", false});
  ApplyChange(index, monitor, {UsnChangeKind::Renamed, u'W', Ref(220), Ref(100), u"m.txt", false});
  EXPECT_EQ(test::Read(index).entries().back().Value().path, u"W:\\Work\\m.txt");
  ApplyChange(index, monitor, {UsnChangeKind::Modified, u'W', Ref(220), Ref(100), u"m.txt", false});
  ApplyChange(index, monitor, {UsnChangeKind::Deleted, u'W', Ref(220), Ref(100), u"m.txt", false});
  EXPECT_EQ(test::Read(index).entries().back().Value().name, u"");
  EXPECT_EQ(test::Read(index).entries().size(), before + 1);
  EXPECT_EQ(changes, 4);
}

TEST_F(LiveUpdateTest, CreatedDebugLineCarriesTheWholePath) {
  test::DebugCapture capture;
  std::u16string longName(600, u'n');
  OnFileCreated(index, monitor, u'W', Ref(230), Ref(100), longName, false);
  const std::u16string expected = u"OnFileCreated: id=" +
                                  FromUtf8(std::to_string(test::Read(index).entries().size() - 1)) +
                                  u" path=W:\\Work\\" + longName + u"\n";
  EXPECT_TRUE(capture.Has(expected));
}

// After creates, renames and deletes applied live, every kind of query finds
// what a name index built afresh over the same entries finds, and sorts by
// name and path agree with sorting the texts. The change limit is small, so
// part of the changes is folded in by a rebuild on the way.
class LiveNameIndex : public ::testing::TestWithParam<bool> {};

TEST_P(LiveNameIndex, EveryQueryKindFindsWhatAFreshBuildFinds) {
  const bool ngrams = GetParam();
  FileIndex index;
  test::Fill(index, test::RandomItems(3000, 21), ngrams);
  {
    const EntryWriteView hold(index.entries);
    std::vector<FileEntry> values;
    for (const EntryRef e : hold.store()) values.push_back(e.Value());
    for (FileEntry& v : values) v.recordNumber = 100 + v.id;
    hold.store().clear();
    hold.store().AppendValues(values);
  }
  RebuildNameIndex(index, ngrams);
  UsnMonitor monitor{platform::UsnJournalFactory{}};
  StartLiveUpdate(index, monitor);  // no drives: the id map only
  {
    const EntryWriteView hold(index.entries);
    index.nameIndex.Tables(hold).deltaLimit = 100;
  }
  auto sortedBy = [&](uint32_t column, bool byRanks) {
    ResultSet results;
    std::vector<uint32_t> all(test::Read(index).entries().size());
    std::iota(all.begin(), all.end(), 0u);
    results.Replace(all);
    const SortSpec order{column, false, true};
    if (byRanks) {
      SortResults(results, order, index.nameIndex);
    } else {
      const EntryReadView hold(index.entries);
      results.SortResults(order, [&](uint32_t n) { return LookupEntry(hold, n); });
    }
    // Ties too come in one order (by path), so the entries themselves agree.
    return results.Snapshot();
  };
  std::vector<std::u16string> names;
  for (const test::Item& item : test::RandomItems(600, 22)) {
    if (!item.name.empty()) names.push_back(item.name);
  }
  uint64_t seed = 7;
  auto next = [&] {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    return uint32_t(seed >> 33);
  };
  for (uint32_t k = 0; k < 400; ++k) {
    if (k == 300) {  // the rank arrays exist before the last changes
      sortedBy(0, true);
      sortedBy(1, true);
    }
    const std::u16string& name = names[k % names.size()];
    const uint32_t count = uint32_t(test::Read(index).entries().size());
    const uint64_t record = test::Read(index).entries()[next() % count].recordNumber();
    if (k % 3 == 0) {
      OnFileCreated(index, monitor, u'D', Ref(9000 + k), Ref(5), name, next() % 5 == 0);
    } else if (k % 3 == 1) {
      OnFileRenamed(index, monitor, u'D', Ref(record), Ref(5), name);
    } else {
      OnFileDeleted(index, monitor, u'D', Ref(record));
    }
  }
  EXPECT_GT(index.nameIndex.Tables(test::Read(index)).builtCount, 3000u);  // folded in once
  EXPECT_GT(NameIndexDelta(index.nameIndex, test::Read(index)), 0u);

  FileIndex fresh;
  EntryWriteView(fresh.entries).store() = test::Read(index).entries();
  RebuildNameIndex(fresh, ngrams);
  auto namesOf = [](const FileIndex& ix, const std::vector<uint32_t>& ids) {
    std::vector<std::u16string> out;
    const EntryReadView hold(ix.entries);
    for (uint32_t e : ids) out.push_back(hold.entries()[e].Value().lowerName);
    return out;
  };
  for (size_t k = 0; k < names.size(); k += 3) {
    const std::u16string& n = names[k];
    for (const std::u16string& text :
         {n.substr(k % n.size(), 1), n.substr(0, 2), n.substr(k % n.size()), n.substr(0, 1) + u"*",
          u"*" + n.substr(n.size() / 2), n.substr(0, 1) + u"*.b", u"*" + n.substr(0, 1) + u"*.a",
          std::u16string(u"*.b")}) {
      const SearchQuery q = ParseQuery(text);
      std::vector<uint32_t> live = RunQuery(index.nameIndex, q);
      std::vector<uint32_t> built = RunQuery(fresh.nameIndex, q);
      // Equal names may come in either order; everything else is ordered.
      EXPECT_EQ(namesOf(index, live), namesOf(fresh, built)) << ToUtf8(text);
      std::sort(live.begin(), live.end());
      std::sort(built.begin(), built.end());
      EXPECT_EQ(live, built) << ToUtf8(text);
    }
  }
  EXPECT_EQ(sortedBy(0, true), sortedBy(0, false));
  EXPECT_EQ(sortedBy(1, true), sortedBy(1, false));
}

INSTANTIATE_TEST_SUITE_P(Ngrams, LiveNameIndex, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "on" : "off"; });

}  // namespace
}  // namespace zw
