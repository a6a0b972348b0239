// Real change-journal streams written by Windows, served as the file system
// serves them, through the monitor's own read path and the command line.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "live/usn_monitor.h"
#include "live_test_support.h"
#include "ntfs/record.h"
#include "support/test_paths.h"

#ifndef _WIN32
#include "../cli/cli_runner.h"
#endif

namespace zw {
namespace {

using namespace platform;

std::string UsnFile(const std::string& name) {
  return test::TestDataDir() + "/ntfs-real/usn/" + name;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every change a stream yields, read through the monitor's read path.
std::vector<UsnChange> Replay(const std::shared_ptr<ScriptedJournal>& journal, char16_t letter,
                              size_t* reads = nullptr) {
  std::vector<UsnChange> changes;
  UsnMonitor monitor([journal](char16_t) { return ScriptedJournal::Open(journal); });
  monitor.SetChangeHandler([&](const UsnChange& c) { changes.push_back(c); });
  int64_t start = 0;
  UsnJournalDevice* device = monitor.OpenUsnJournal(letter, start);
  EXPECT_NE(device, nullptr);
  if (device == nullptr) return changes;
  UsnJournalInfo info;
  device->Query(info);
  std::vector<uint8_t> buffer(UsnMonitor::kBufferSize);
  while (monitor.ReadOnce(letter, *device, start, info.journalId, buffer) ==
         UsnMonitor::ReadResult::Records) {
  }
  if (reads) *reads = monitor.Stats().reads.load();
  EXPECT_EQ(monitor.Stats().damagedRecords.load(), 0u);
  return changes;
}

TEST(SavedStream, ServesEveryVersion2RecordPastZerosAndPagePadding) {
  struct Case {
    const char* file;
    size_t records;
    int64_t firstUsn;
  };
  for (const Case& c :
       {Case{"plaso-UsnJrnl.raw", 19, 0}, Case{"go-ntfs-usn-sample.bin", 208, 312568880},
        Case{"ntfs-samples-ntfs-20h1.extracted.J", 188, 0}}) {
    SCOPED_TRACE(c.file);
    std::string error;
    SavedStreamStats stats;
    auto journal = LoadSavedUsnStream(UsnFile(c.file), false, error, &stats);
    ASSERT_TRUE(journal) << error;
    EXPECT_EQ(stats.records, c.records);
    EXPECT_EQ(stats.damaged, 0u);
    EXPECT_EQ(journal->FirstUsn(), c.firstUsn);
    // Not replaying: a monitor starts at the end and sees nothing.
    EXPECT_TRUE(Replay(journal, u'C').empty());
  }
}

TEST(SavedStream, ASparsePrefixAndATruncatedTailAreSkipped) {
  auto bytes = ReadAll(UsnFile("plaso-UsnJrnl.raw"));
  ASSERT_FALSE(bytes.empty());
  std::vector<uint8_t> sparse(8192, 0);  // the part of the journal already freed
  sparse.insert(sparse.end(), bytes.begin(), bytes.end());
  sparse.insert(sparse.end(), bytes.begin(), bytes.begin() + 37);  // cut mid-record
  SavedStreamStats plain, stats;
  ASSERT_TRUE(ParseSavedUsnStream(bytes, true, &plain));
  auto journal = ParseSavedUsnStream(sparse, true, &stats);
  EXPECT_EQ(stats.records, 19u);
  EXPECT_GE(stats.zeroBytes, plain.zeroBytes + 8192u);  // the cut record holds zeros too
  EXPECT_GT(stats.damaged, plain.damaged);
  EXPECT_EQ(Replay(journal, u'C').size(), 5u);
  // Nothing readable at all: an empty journal, not a failure.
  EXPECT_EQ(ParseSavedUsnStream(std::vector<uint8_t>(100, 0xFF), true, &stats)->RecordCount(), 0u);
  std::string error;
  EXPECT_FALSE(LoadSavedUsnStream(test::BinaryDir() + "/no/such/stream", true, error));
  EXPECT_FALSE(error.empty());
}

TEST(SavedStream, ReplayYieldsTheChangesOfTheDutchSample) {
  std::string error;
  auto journal = LoadSavedUsnStream(UsnFile("plaso-UsnJrnl.raw"), true, error);
  ASSERT_TRUE(journal);
  size_t reads = 0;
  const auto changes = Replay(journal, u'E', &reads);
  ASSERT_EQ(changes.size(), 5u);
  EXPECT_EQ(changes[0].kind, UsnChangeKind::Created);
  EXPECT_EQ(changes[0].name, u"Nieuw - Tekstdocument.txt");
  EXPECT_EQ(changes[0].fileRef, 0x000100000000001Eull);
  EXPECT_EQ(changes[0].parentRef, 0x0005000000000005ull);
  EXPECT_EQ(changes[1].kind, UsnChangeKind::Renamed);
  EXPECT_EQ(changes[1].name, u"first.txt");
  EXPECT_EQ(changes[0].drive, u'E');
  EXPECT_EQ(reads, 2u);  // one with records, one empty
}

// Names and parents of one MFT record, read with the NTFS layer's own helpers.
std::multimap<std::u16string, uint64_t> NamesOf(std::vector<uint8_t> record, uint16_t& sequence) {
  std::multimap<std::u16string, uint64_t> names;
  sequence = 0;
  if (ntfs::ApplyFixups(record.data(), record.size()) != ntfs::FixupResult::Ok) return names;
  ntfs::Bytes bytes{record.data(), record.size()};
  if (ntfs::RecordSignature(bytes) != ntfs::kFileSignature) return names;
  sequence = bytes.U16(0x10);
  ntfs::AttributeWalker walker(bytes);
  ntfs::Attribute a;
  while (walker.Next(a)) {
    if (a.Type() != ntfs::kAttrFileName || a.NonResident()) continue;
    const ntfs::Bytes v = a.Value();
    std::u16string name(v.U8(0x40), u'\0');
    for (size_t i = 0; i < name.size(); ++i) name[i] = char16_t(v.U16(0x42 + 2 * i));
    names.emplace(name, v.U64(0));
  }
  return names;
}

TEST(SavedStream, ReferencesOfThe20H1StreamResolveAgainstItsMft) {
  std::string error;
  auto journal = LoadSavedUsnStream(UsnFile("ntfs-samples-ntfs-20h1.extracted.J"), true, error);
  ASSERT_TRUE(journal);
  const auto changes = Replay(journal, u'C');
  ASSERT_EQ(changes.size(), 60u);
  const auto mft =
      ReadAll(test::TestDataDir() + "/ntfs-real/mft/ntfs-samples-ntfs-20h1.extracted.mft");
  ASSERT_EQ(mft.size() % 1024, 0u);
  // The last change of each file that still lives in its record must name it.
  std::map<uint64_t, UsnChange> last;
  for (const UsnChange& c : changes) last[c.fileRef] = c;
  size_t checked = 0;
  for (const auto& [ref, c] : last) {
    const uint64_t record = ref & kRecordNumberMask;
    ASSERT_LT(record * 1024, mft.size()) << record;
    uint16_t sequence = 0;
    const auto names = NamesOf(
        {mft.begin() + long(record * 1024), mft.begin() + long(record * 1024 + 1024)}, sequence);
    if (c.kind == UsnChangeKind::Deleted || sequence != uint16_t(ref >> 48)) continue;
    auto [from, to] = names.equal_range(c.name);
    ASSERT_NE(from, to) << ToUtf8(c.name) << " in record " << record;
    EXPECT_EQ(from->second, c.parentRef) << ToUtf8(c.name);
    ++checked;
  }
  EXPECT_GT(checked, 10u);
}

#ifndef _WIN32
constexpr const char* kJournalHeader = "Change\tDrive\tFile\tParent\tFolder\tName\tUSN\tTime (UTC)";

TEST(JournalCommand, PrintsAHeaderAndOneTabSeparatedLinePerChange) {
  auto r = test::RunCli({"journal", UsnFile("plaso-UsnJrnl.raw"), "--drive", "e"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto lines = r.OutLines();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], kJournalHeader);
  EXPECT_EQ(lines[1],
            "Created\tE\t000100000000001E\t0005000000000005\t0\tNieuw - Tekstdocument.txt\t112\t"
            "2015-11-30T21:15:27.2187500Z");
  EXPECT_EQ(lines[2],
            "Renamed\tE\t000100000000001E\t0005000000000005\t0\tfirst.txt\t416\t"
            "2015-11-30T21:15:35.8906250Z");
  EXPECT_TRUE(r.err.empty());

  r = test::RunCli({"--debug", "journal", UsnFile("ntfs-samples-ntfs-20h1.extracted.J")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.OutLines().size(), 61u);
  EXPECT_EQ(r.OutLines()[1],
            "Created\tC\t000100000000002B\t0001000000000024\t1\tSPP\t72\t"
            "2020-07-25T12:25:52.3989637Z");
  EXPECT_NE(r.err.find("USN C: reason=0x80000100 name=SPP\n"), std::string::npos) << r.err;
}

// The journal of a bound volume is its own $Extend\$UsnJrnl:$J, read raw:
// the same changes as the stream extracted from it with The Sleuth Kit.
TEST(JournalCommand, ReadsTheJournalOfABoundVolume) {
  const std::string disk = test::RealImagePath(test::RealImage::Windows20H1);
  if (disk.empty()) GTEST_SKIP() << test::RealImageProblem(test::RealImage::Windows20H1);
  const auto fromVolume = test::RunCli({"--drive", "D=" + disk + ":1", "journal"});
  ASSERT_EQ(fromVolume.status, 0) << fromVolume.err;
  const auto fromFile =
      test::RunCli({"journal", UsnFile("ntfs-samples-ntfs-20h1.extracted.J"), "--drive", "D"});
  EXPECT_EQ(fromVolume.out, fromFile.out);
  EXPECT_EQ(fromVolume.OutLines().size(), 61u);

  const std::string charlie = test::CharlieImage();
  ASSERT_FALSE(charlie.empty());
  auto r = test::RunCli({"--drive", "D=" + charlie, "journal"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("has no change journal"), std::string::npos) << r.err;
  // Several bound and none named: which one is asked, not guessed.
  r = test::RunCli({"--drive", "D=" + disk + ":1", "--drive", "E=" + charlie, "journal"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("several drives are bound (D:, E:)"), std::string::npos) << r.err;
  r = test::RunCli(
      {"--drive", "D=" + disk + ":1", "--drive", "E=" + charlie, "journal", "--drive", "d"});
  EXPECT_EQ(r.out, fromFile.out);
}

TEST(JournalCommand, WhatIsNoJournalStreamIsAnError) {
  auto r = test::RunCli({"journal"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("no FILE"), std::string::npos);
  r = test::RunCli({"journal", test::BinaryDir() + "/missing.J"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("cannot open"), std::string::npos);
  r = test::RunCli({"journal", UsnFile("plaso-UsnJrnl.raw"), "--drive", "77"});
  EXPECT_EQ(r.status, 2);

  const std::string dir = test::ScratchDir("journal-junk");
  const std::string charlie = test::CharlieImage();
  ASSERT_FALSE(charlie.empty());
  std::string head = test::ReadFile(charlie).substr(0, 65536);
  test::WriteFile(dir + "/volume.img", head);  // a volume cut short is still one
  // A whole disk is told apart before it is read whole (this one is 64 GiB).
  std::string disk = test::RealImagePath(test::RealImage::Windows20H1);
  if (disk.empty()) disk = test::WithMbr(charlie, 1, "journal-disk.img");
  test::WriteFile(dir + "/junk.J", std::string(5000, '\x7f'));
  test::WriteFile(dir + "/zeros.J", std::string(8192, '\0'));
  test::WriteFile(dir + "/empty.J", "");
  struct Case {
    std::string path;
    std::string says;
  };
  for (const Case& c :
       {Case{dir, "is a directory"}, Case{dir + "/empty.J", "is empty"},
        Case{"/dev/null", "is a character device"}, Case{dir + "/volume.img", "is an NTFS volume"},
        Case{disk, "partition 1 is NTFS, to read its journal: zanderwyn --drive D=" + disk + ":1"},
        Case{dir + "/junk.J", "holds no change-journal records (5,000 bytes"},
        Case{dir + "/zeros.J", "holds only zeros"}}) {
    r = test::RunCli({"journal", c.path});
    EXPECT_EQ(r.status, 2) << c.path;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << c.path;
  }
}
#endif

}  // namespace
}  // namespace zw
