// Whole indexing runs over images bound as drives: order, counts, failures,
// stopping, the finished index's invariants, and searches during a run.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <future>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/file_index.h"
#include "engine/index_drive.h"
#include "engine/run_indexing.h"
#include "platform/drive_table.h"
#include "platform/registry.h"
#include "search/name_index.h"
#include "search/result_set.h"
#include "search/type_filter.h"
#include "settings/settings.h"
#include "support/entry_views.h"
#include "support/memory_registry.h"
#include "support/scripted_drives.h"
#include "support/test_paths.h"
#include "support/wait.h"

namespace zw {
namespace {

// Every case runs on generated volumes bound as drives: builds without the
// generator (Windows, the TSan preset) have none of them.
#if !defined(_WIN32) && defined(ZW_MKIMAGE)

// What the window hands a run: the stored FastSearch option.
IndexRunOptions StoredOptions(DriveIndexer indexer = {}) {
  IndexRunOptions options;
  options.fastSearch = ReadFlag(kFastSearch, kDefaultFastSearch);
  options.indexer = std::move(indexer);
  return options;
}

struct Image {
  std::string path;
  uint64_t entries = 0;  // what IndexDrive appends for it alone
};

// Three generated volumes; the middle one is big enough that its scan
// reports progress part-way (every 10,000 records), which the stop test uses.
class IndexingRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::string dir = test::ScratchDir("indexing_images");
    const struct { int seed, count; } specs[] = {{11, 300}, {12, 12000}, {13, 500}};
    for (const auto& s : specs) {
      Image image;
      image.path = dir + "/seed" + std::to_string(s.seed) + ".img";
      const std::string command = std::string(ZW_MKIMAGE) + " --seed " + std::to_string(s.seed) +
                                  " --count " + std::to_string(s.count) + " --out " + image.path +
                                  " --force --quiet > /dev/null 2>&1";
      ASSERT_EQ(std::system(command.c_str()), 0) << command;
      images_.push_back(image);
    }
    std::ofstream(dir + "/zeros.img", std::ios::binary) << std::string(1 << 20, '\0');
    zeros_ = dir + "/zeros.img";
  }

  void SetUp() override {
    ASSERT_EQ(images_.size(), 3u) << "the generator failed (its message is above)";
    platform::UseMemoryRegistry(true);
    platform::ClearDriveTable();
    Bind(u'D', images_[0].path);
    Bind(u'E', images_[1].path);
    Bind(u'F', images_[2].path);
    for (Image& image : images_) {
      if (image.entries) continue;
      // The count of one drive alone, indexed the same way.
      FileIndex alone;
      ASSERT_TRUE(IndexDrive(alone, char16_t(u'D' + (&image - images_.data()))));
      image.entries = test::Read(alone).entries().size();
      ASSERT_GT(image.entries, 0u);
    }
  }
  void TearDown() override {
    platform::ClearDriveTable();
    platform::UseMemoryRegistry(false);
  }

  static void Bind(char16_t letter, const std::string& path) {
    platform::DriveBinding b;
    b.letter = letter;
    b.source = path;
    platform::BindDrive(b);
  }

  struct Record {
    std::mutex mutex;
    std::vector<std::pair<char16_t, uint64_t>> done;
    std::vector<char16_t> progressDrives;
    bool completed = false, success = false, indexingAtComplete = true;
    uint64_t total = 0;
  };

  // Runs to the end on indexThread and waits for it.
  static void Run(FileIndex& index, const std::set<char16_t>& drives, Record& r,
                  std::function<void(char16_t, uint64_t, uint64_t)> onProgress = {},
                  IndexRunOptions options = StoredOptions()) {
    IndexingCallbacks cb;
    cb.progress = [&r, onProgress](char16_t d, uint64_t done, uint64_t expected) {
      {
        std::scoped_lock lock(r.mutex);
        if (r.progressDrives.empty() || r.progressDrives.back() != d) r.progressDrives.push_back(d);
      }
      EXPECT_LE(done, expected);
      if (onProgress) onProgress(d, done, expected);
    };
    cb.driveDone = [&r](char16_t d, uint64_t n) {
      std::scoped_lock lock(r.mutex);
      r.done.emplace_back(d, n);
    };
    cb.complete = [&r, &index](bool ok, uint64_t n) {
      std::scoped_lock lock(r.mutex);
      r.completed = true;
      r.success = ok;
      r.total = n;
      r.indexingAtComplete = index.indexing.load();
    };
    ASSERT_TRUE(StartIndexRun(index, drives, std::move(cb), std::move(options)));
    JoinIndexThread(index);
  }

  static void ExpectConsistent(const FileIndex& index) {
    const EntryReadView hold(index.entries);
    const EntryStore& entries = hold.entries();
    for (size_t n = 0; n < entries.size(); ++n) {
      const FileEntry& e = entries[n];
      ASSERT_EQ(e.id, n);
      ASSERT_TRUE(e.drive >= u'D' && e.drive <= u'F') << n;
      ASSERT_EQ(e.path.substr(0, 3), (std::u16string{e.drive, u':', u'\\'}));
      ASSERT_NE(e.path[3], u'$') << n;
    }
    // Entries of one drive lie together, drives ascending.
    for (size_t n = 1; n < entries.size(); ++n)
      ASSERT_LE(entries[n - 1].Value().drive, entries[n].Value().drive);
    EXPECT_EQ(index.nameIndex.Tables(hold).nameOrder.size(), entries.size());
    EXPECT_TRUE(index.nameIndex.Attached(hold));
  }

  static inline std::vector<Image> images_;
  static inline std::string zeros_;
};

TEST_F(IndexingRun, DrivesInAscendingOrderWithRunningTotals) {
  FileIndex index;
  Record r;
  Run(index, {u'F', u'D'}, r);
  const uint64_t d = images_[0].entries, f = images_[2].entries;
  ASSERT_EQ(r.done.size(), 2u);
  EXPECT_EQ(r.done[0], std::make_pair(u'D', d));
  EXPECT_EQ(r.done[1], std::make_pair(u'F', d + f));
  EXPECT_EQ(r.progressDrives, (std::vector<char16_t>{u'D', u'F'}));
  EXPECT_TRUE(r.completed);
  EXPECT_TRUE(r.success);
  EXPECT_EQ(r.total, d + f);
  EXPECT_FALSE(r.indexingAtComplete);  // the receiver already sees a ready index
  EXPECT_FALSE(index.indexing.load());
  ExpectConsistent(index);
  EXPECT_TRUE(index.nameIndex.Tables(test::Read(index)).ngramEnabled);  // FastSearch absent: on

  // A second run replaces the whole contents rather than adding to them.
  Record again;
  Run(index, {u'F'}, again);
  EXPECT_EQ(test::Read(index).entries().size(), f);
  ExpectConsistent(index);
}

TEST_F(IndexingRun, UnreadableDrivesAreSkippedAndTheRunFails) {
  Bind(u'G', zeros_);  // not NTFS
  Bind(u'H', test::ScratchDir("indexing_missing") + "/nothing-here.img");
  FileIndex index;
  Record r;
  Run(index, {u'D', u'G', u'H', u'Z'}, r);  // Z: no volume at all
  ASSERT_EQ(r.done.size(), 1u);
  EXPECT_EQ(r.done[0].first, u'D');
  EXPECT_TRUE(r.completed);
  EXPECT_FALSE(r.success);
  EXPECT_EQ(r.total, images_[0].entries);
  EXPECT_EQ(test::Read(index).entries().size(), images_[0].entries);
}

TEST_F(IndexingRun, StopDuringSecondDriveKeepsWhatWasRead) {
  FileIndex index;
  Record r;
  Run(index, {u'D', u'E', u'F'}, r, [&index](char16_t d, uint64_t done, uint64_t expected) {
    if (d == u'E' && done >= 10000 && done < expected) RequestStop(index);
  });
  const uint64_t d = images_[0].entries;
  ASSERT_EQ(r.done.size(), 2u);
  EXPECT_EQ(r.done[0], std::make_pair(u'D', d));
  EXPECT_EQ(r.done[1].first, u'E');
  const uint64_t partial = r.done[1].second - d;
  EXPECT_GT(partial, 0u);
  EXPECT_LT(partial, images_[1].entries);
  EXPECT_EQ(r.progressDrives, (std::vector<char16_t>{u'D', u'E'}));  // F never started
  EXPECT_TRUE(r.completed);
  EXPECT_FALSE(r.success);
  EXPECT_EQ(test::Read(index).entries().size(), d + partial);
  ExpectConsistent(index);
  for (size_t n = d; n < test::Read(index).entries().size(); ++n)
    EXPECT_EQ(test::Read(index).entries()[n].Value().drive, u'E');
}

TEST_F(IndexingRun, FastSearchOffBuildsNoNgrams) {
  ASSERT_TRUE(WriteDword(kFastSearch, 0));
  FileIndex index;
  Record r;
  Run(index, {u'D'}, r);
  EXPECT_FALSE(index.nameIndex.Tables(test::Read(index)).ngramEnabled);
  EXPECT_EQ(index.nameIndex.Tables(test::Read(index)).unigramLists.Bytes(), PostingTable().Bytes());
  EXPECT_EQ(index.nameIndex.Tables(test::Read(index)).trigramLists.Bytes(), PostingTable().Bytes());

  ASSERT_TRUE(WriteDword(kFastSearch, 7));  // any non-zero value is on
  Record again;
  Run(index, {u'D'}, again);
  EXPECT_TRUE(index.nameIndex.Tables(test::Read(index)).ngramEnabled);
  EXPECT_GT(index.nameIndex.Tables(test::Read(index)).trigramLists.Bytes(), PostingTable().Bytes());
}

// A run without the name index must not leave the previous run's name index
// describing entries that are gone.
TEST_F(IndexingRun, EntriesOnlyRunLeavesNoNameIndex) {
  FileIndex index;
  Record first;
  Run(index, {u'D', u'F'}, first);
  ASSERT_FALSE(index.nameIndex.Tables(test::Read(index)).nameOrder.empty());

  IndexRunOptions entriesOnly = StoredOptions();
  entriesOnly.nameIndex = false;
  Record r;
  Run(index, {u'D', u'F'}, r, {}, std::move(entriesOnly));
  const uint64_t d = images_[0].entries, f = images_[2].entries;
  ASSERT_EQ(r.done.size(), 2u);
  EXPECT_EQ(r.done[0], std::make_pair(u'D', d));
  EXPECT_EQ(r.done[1], std::make_pair(u'F', d + f));
  EXPECT_TRUE(r.success);
  EXPECT_EQ(test::Read(index).entries().size(), d + f);
  EXPECT_TRUE(index.nameIndex.Tables(test::Read(index)).nameOrder.empty());
  EXPECT_EQ(index.nameIndex.Tables(test::Read(index)).trigramLists.Bytes(), PostingTable().Bytes());
}

// Storing the choice is the window's, after its dialog: a run writes nothing.
TEST_F(IndexingRun, StartLeavesTheStoredSelectionAndEmptySelectionStartsNothing) {
  FileIndex index;
  EXPECT_FALSE(StartIndexRun(index, {}, {}));
  EXPECT_FALSE(index.indexing.load());
  ASSERT_TRUE(StartIndexRun(index, {u'F', u'D'}, {}));
  JoinIndexThread(index);
  EXPECT_TRUE(LoadSelectedDrives().empty());
  EXPECT_EQ(test::Read(index).entries().size(), images_[0].entries + images_[2].entries);
}

TEST_F(IndexingRun, WaitingOnTheIndexingThreadFromItselfFails) {
  FileIndex index;
  std::atomic<int> deadlocks{0};
  IndexingCallbacks cb;
  cb.driveDone = [&](char16_t, uint64_t) {
    try {
      JoinIndexThread(index);
    } catch (const std::system_error& e) {
      if (e.code() == std::errc::resource_deadlock_would_occur) ++deadlocks;
    }
  };
  ASSERT_TRUE(StartIndexRun(index, {u'D'}, std::move(cb), StoredOptions()));
  JoinIndexThread(index);
  EXPECT_EQ(deadlocks.load(), 1);
}

// It can neither wait for its own run nor leave it running on a freed index.
TEST_F(IndexingRun, DestroyingTheIndexFromItsOwnThreadEndsTheProcess) {
  ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
  EXPECT_DEATH(
      {
        auto* index = new FileIndex;
        std::atomic<bool> survived{false};
        DriveIndexer indexer = [&](FileIndex& self, char16_t) -> bool {
          delete &self;
          survived = true;
          return false;
        };
        if (StartIndexRun(*index, {u'D'}, {}, StoredOptions(indexer))) {
          while (!survived.load()) std::this_thread::yield();
        }
        std::_Exit(0);
      },
      "");
}

// Searches while a run goes on see only appended drives, never a half-built
// name index, and never crash (run under the TSan preset too).
TEST_F(IndexingRun, SearchesDuringARunSeeOnlyFinishedDrives) {
  FileIndex index;
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> looks{0};
  std::atomic<int> faults{0};
  std::thread reader([&] {
    while (!stop.load()) {
      const EntryReadView hold(index.entries);
      if (!index.nameIndex.Attached(hold)) continue;
      const EntryStore* entries = &hold.entries();
      uint64_t seen = 0;
      for (uint32_t n : index.nameIndex.Tables(hold).nameOrder) {
        if (n >= entries->size() || (*entries)[n].id() != n || (*entries)[n].drive() == 0) ++faults;
        ++seen;
      }
      if (seen) ++looks;
    }
  });
  Record r;
  Run(index, {u'D', u'E', u'F'}, r);
  stop = true;
  reader.join();
  EXPECT_EQ(faults.load(), 0);
  EXPECT_TRUE(r.success);
  ExpectConsistent(index);
}

#endif  // ZW_MKIMAGE

// A drive announced as done is searchable, listable and readable while the
// next one is still being scanned; that one shows nothing yet.
TEST(IndexingRunScripted, FinishedDrivesAreReadableWhileTheNextIsScanned) {
  platform::UseMemoryRegistry(true);
  FileIndex index;
  std::promise<void> scanning, checked;
  std::shared_future<void> proceed = checked.get_future().share();
  test::ScriptedDrives script;
  script.files[u'D'] = {{10, 5, u"report.txt"}, {11, 5, u"Photos", true}};
  script.files[u'E'] = {{20, 5, u"report-e.txt"}};
  script.whileScanning[u'E'] = [&] {
    scanning.set_value();
    proceed.wait_for(test::kWaitLimit);  // bounded: a failed check above must not hang the join
  };
  IndexRunOptions options;
  options.indexer = script.Indexer();
  options.journalFactory = nullptr;
  ASSERT_TRUE(StartIndexRun(index, {u'D', u'E'}, {}, std::move(options)));
  ASSERT_EQ(scanning.get_future().wait_for(test::kWaitLimit), std::future_status::ready)
      << "the second drive's scan never started";
  EXPECT_TRUE(index.indexing.load());
  {
    const EntryReadView hold(index.entries);
    const std::optional<EntryRef> e = LookupEntry(hold, 0);
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->path(), u"D:\\report.txt");
    TypeFilterState documents;
    documents.category = TypeCategory::Documents;
    EXPECT_TRUE(TypeFilter(hold, 0, documents));
    EXPECT_FALSE(LookupEntry(hold, 2).has_value());  // E is not there yet
  }
  EXPECT_EQ(AllPassing(index.entries, {}), (std::vector<uint32_t>{0, 1}));
  ResultSet results;
  results.Replace(RunQuery(index.nameIndex, ParseQuery(u"*o*")));
  SortResults(results, {0, false, true}, index.nameIndex);
  EXPECT_EQ(results.Snapshot(), (std::vector<uint32_t>{1, 0}));  // the folder first
  checked.set_value();
  JoinIndexThread(index);
  EXPECT_EQ(RunQuery(index.nameIndex, ParseQuery(u"report")).size(), 2u);
  platform::UseMemoryRegistry(false);
}

}  // namespace
}  // namespace zw
