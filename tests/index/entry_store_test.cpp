#include "index/entry_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "index/build_paths.h"
#include "index/path_builder.h"
#include "support/alloc_failure.h"
#include "support/built_paths.h"
#include "support/entry_builder.h"

namespace zw {
namespace {

FileEntry Entry(uint64_t record, uint64_t parent, std::u16string name, bool folder = false) {
  FileEntry e;
  e.recordNumber = record;
  e.parentRecordNumber = parent;
  e.name = std::move(name);
  e.isFolder = folder;
  e.size = 1;
  return e;
}

// Built paths of awkward trees (loops, orphans, a repeated record, children
// before parents) come back unchanged, and so does every other field.
TEST(EntryStore, KeepsWhatBuildPathsMade) {
  std::vector<FileEntry> v = {
      Entry(60, 61, u"child-first.txt"), Entry(61, 5, u"Late", true),
      Entry(70, 71, u"A", true),         Entry(71, 70, u"B", true),
      Entry(72, 70, u"in-loop.txt"),     Entry(80, 999, u"orphan.TXT"),
      Entry(90, 5, u"Dup", true),        Entry(90, 5, u"Dup2", true),
      Entry(91, 90, u"under-dup"),       Entry(92, 5, u"README"),
      Entry(93, 5, u".profile"),         Entry(94, 5, u"notes."),
      Entry(95, 5, u"\u00C4BC.Tar.GZ"),
  };
  test::BuildPathsAndNames(u'D', v);
  const std::vector<FileEntry> expected = v;
  EntryStore store;
  store.AppendValues(v, u'D');
  ASSERT_EQ(store.size(), expected.size());
  PathBuilder paths(store);
  std::u16string built;
  for (uint32_t n = 0; n < store.size(); ++n) {
    const FileEntry got = store[n].Value();
    const FileEntry& want = expected[n];
    EXPECT_EQ(got.path, want.path) << n;
    paths.PathInto(n, built);
    EXPECT_EQ(built, want.path) << n;
    EXPECT_EQ(got.name, want.name) << n;
    EXPECT_EQ(got.lowerName, want.lowerName) << n;
    EXPECT_EQ(got.extension, want.extension) << n;
    EXPECT_EQ(got.lowerExtension, want.lowerExtension) << n;
    EXPECT_EQ(got.parentRecordNumber, want.parentRecordNumber) << n;
    EXPECT_EQ(got.recordNumber, want.recordNumber) << n;
    EXPECT_EQ(got.isFolder, want.isFolder) << n;
    EXPECT_EQ(got.drive, u'D') << n;
  }
}

// A store spliced behind another keeps its links, names and kept paths.
TEST(EntryStore, SpliceRenumbersLinksAndKeptPaths) {
  std::vector<FileEntry> d = {Entry(40, 5, u"Top", true), Entry(41, 40, u"a.txt")};
  std::vector<FileEntry> e = {Entry(50, 5, u"Other", true), Entry(51, 50, u"b.txt"),
                              Entry(52, 53, u"c"), Entry(53, 52, u"d")};
  test::BuildPathsAndNames(u'D', d);
  test::BuildPathsAndNames(u'E', e);
  const std::u16string loopPath = e[3].path;
  EntryStore all, second;
  all.AppendValues(d, u'D');
  second.AppendValues(e, u'E');
  all.Splice(std::move(second));
  ASSERT_EQ(all.size(), 6u);
  EXPECT_EQ(all[1].path(), u"D:\\Top\\a.txt");
  EXPECT_EQ(all[3].path(), u"E:\\Other\\b.txt");
  EXPECT_EQ(all[3].parentRecordNumber(), 50u);
  EXPECT_EQ(all[5].path(), loopPath);
}

// Out of memory at any point of a splice, both stores stay as they were:
// no record may point at a name chunk or kept path that did not arrive.
TEST(EntryStore, ASpliceThatRunsOutOfMemoryChangesNothing) {
  std::vector<FileEntry> d = {Entry(40, 5, u"Top", true), Entry(41, 40, u"a.txt"),
                              Entry(42, 99, u"orphan")};
  std::vector<FileEntry> e = {Entry(50, 5, u"Other", true), Entry(51, 50, u"B.txt"),
                              Entry(52, 53, u"c"), Entry(53, 52, u"d"), Entry(54, 98, u"o")};
  test::BuildPathsAndNames(u'D', d);
  test::BuildPathsAndNames(u'E', e);
  EntryStore first, second;
  first.AppendValues(d, u'D');
  second.AppendValues(e, u'E');
  auto values = [](const EntryStore& s) {
    std::vector<std::u16string> out;
    for (const EntryRef r : s) {
      out.push_back(r.path() + u'|' + r.lowerName().str() + u'|' + std::u16string(1, r.drive()) +
                    u'|' + std::u16string(1, char16_t(u'0' + r.parentRecordNumber() % 64)));
    }
    return out;
  };
  EntryStore target = first, source = second;
  const size_t attempts =
      test::ForEachAllocationFailure([&] { target.Splice(std::move(source)); },
                                     [&](size_t k) {
                                       EXPECT_EQ(values(target), values(first)) << k;
                                       EXPECT_EQ(values(source), values(second)) << k;
                                       target = first;
                                       source = second;
                                     });
  EXPECT_GT(attempts, 0u);
  std::vector<std::u16string> both = values(first);
  for (const std::u16string& v : values(second)) both.push_back(v);
  EXPECT_EQ(values(target), both);
  EXPECT_TRUE(source.empty());
}

// Renaming a folder moves the paths below it, those kept whole included; a
// deleted entry reads as empty but keeps its extension.
TEST(EntryStore, RenameMovesDescendantsAndDeleteIsAFlag) {
  std::vector<FileEntry> v = {Entry(40, 5, u"Work", true), Entry(41, 40, u"Sub", true),
                              Entry(42, 41, u"deep.txt")};
  test::BuildPathsAndNames(u'W', v);
  EntryStore store;
  store.AppendValues(v, u'W');
  FileEntry kept = Entry(43, 40, u"kept.txt");
  kept.drive = u'W';
  kept.path = u"W:\\Work\\odd\\kept.txt";  // no walk gives this
  test::AppendEntry(store, kept);
  EXPECT_TRUE(store.HasKeptPath(3));
  const std::u16string old = store[0].path();
  store.SetName(0, u"Done");
  store.SetParentAndPath(0, 5, kNoEntry, u"W:\\Done");
  store.ReplaceKeptPrefix(u'W', old, u"W:\\Done");
  EXPECT_EQ(store[2].path(), u"W:\\Done\\Sub\\deep.txt");
  EXPECT_EQ(store[3].path(), u"W:\\Done\\odd\\kept.txt");
  EXPECT_EQ(store.Below(0, u"W:\\Done"), (std::vector<uint32_t>{1, 2, 3}));
  store.MarkDeleted(2);
  EXPECT_EQ(store[2].name(), u"");
  EXPECT_EQ(store[2].path(), u"");
  EXPECT_EQ(store[2].lowerExtension(), u"txt");
  EXPECT_EQ(store.Below(0, u"W:\\Done"), (std::vector<uint32_t>{1, 3}));
}

// Moving a folder below its own descendant (a journal replayed out of order)
// must not make the walk go round: the path is kept instead.
TEST(EntryStore, MoveBelowItsOwnDescendantKeepsThePath) {
  std::vector<FileEntry> v = {Entry(40, 5, u"A", true), Entry(41, 40, u"B", true)};
  test::BuildPathsAndNames(u'W', v);
  EntryStore store;
  store.AppendValues(v, u'W');
  store.SetParentAndPath(0, 41, 1, u"W:\\A\\B\\A");
  EXPECT_EQ(store[0].path(), u"W:\\A\\B\\A");
  EXPECT_EQ(store[0].parentRecordNumber(), 41u);
  EXPECT_EQ(store[1].path(), u"W:\\A\\B\\A\\B");
}

}  // namespace
}  // namespace zw
