#include <gtest/gtest.h>

#include "live/usn_change.h"
#include "live_test_support.h"

namespace zw {
namespace {

using namespace platform;
using test::Record;
using test::Ref;

constexpr uint32_t kCreate = kUsnReasonFileCreate | kUsnReasonClose;

RecordVerdict Decode(const std::vector<uint8_t>& r, UsnChange& c, char16_t letter = u'C') {
  return DecodeUsnRecord(letter, r.data(), r.size(), c);
}

std::optional<UsnChangeKind> KindOf(uint32_t reason, std::u16string_view name = u"a.txt") {
  UsnChange c;
  if (Decode(Record(Ref(40), Ref(5), reason, name), c) != RecordVerdict::Change) return {};
  return c.kind;
}

TEST(UsnRecord, DecodesEveryFieldFromTheV2Layout) {
  UsnChange c;
  const auto r = Record(Ref(0x123456789A, 7), Ref(5, 5), kCreate, u"보고서.txt", true);
  ASSERT_EQ(Decode(r, c, u'D'), RecordVerdict::Change);
  EXPECT_EQ(c.kind, UsnChangeKind::Created);
  EXPECT_EQ(c.drive, u'D');
  EXPECT_EQ(c.fileRef, Ref(0x123456789A, 7));  // all 64 bits kept
  EXPECT_EQ(c.parentRef, Ref(5, 5));
  EXPECT_EQ(c.name, u"보고서.txt");
  EXPECT_TRUE(c.isDirectory);
}

TEST(UsnRecord, KindFollowsPrecedenceAndNeedsTheCloseBit) {
  EXPECT_EQ(KindOf(kUsnReasonFileCreate | kUsnReasonFileDelete | kUsnReasonClose),
            UsnChangeKind::Deleted);
  EXPECT_EQ(KindOf(kCreate | kUsnReasonRenameNewName | kUsnReasonDataExtend),
            UsnChangeKind::Created);
  EXPECT_EQ(KindOf(kUsnReasonRenameNewName | kUsnReasonDataExtend | kUsnReasonClose),
            UsnChangeKind::Renamed);
  EXPECT_EQ(KindOf(kUsnReasonBasicInfoChange | kUsnReasonClose), UsnChangeKind::Modified);
  EXPECT_EQ(KindOf(kUsnReasonDataTruncation | kUsnReasonClose), UsnChangeKind::Modified);
  EXPECT_EQ(KindOf(kUsnReasonDataExtend | kUsnReasonClose), UsnChangeKind::Modified);
  // Overwritten in place, or an old name: nothing the index shows changes.
  EXPECT_FALSE(KindOf(kUsnReasonDataOverwrite | kUsnReasonClose));
  EXPECT_FALSE(KindOf(kUsnReasonRenameOldName | kUsnReasonClose));
  // Only the closing record of a sequence counts.
  EXPECT_FALSE(KindOf(kUsnReasonFileCreate));
  EXPECT_FALSE(KindOf(kUsnReasonFileDelete | kUsnReasonFileCreate));
}

TEST(UsnRecord, CreateFiltersDropTransientAndRecycleBinFilesOnly) {
  for (const char16_t* name :
       {u"report.db-journal", u"a.db-wal", u"a.db-shm", u"$IABC123.txt", u"$RABC123.txt", u"$R"}) {
    EXPECT_FALSE(KindOf(kCreate, name)) << ToUtf8(name);
  }
  // At the length limits, in another case, or just "$": a real file.
  for (const char16_t* name :
       {u"-journal", u"-wal", u"-shm", u"$iabc.txt", u"$rabc.txt", u"$", u"x-JOURNAL", u"a$R"}) {
    EXPECT_EQ(KindOf(kCreate, name), UsnChangeKind::Created) << ToUtf8(name);
  }
  // Without the create bit nothing is filtered.
  EXPECT_EQ(KindOf(kUsnReasonFileDelete | kUsnReasonClose, u"x.db-journal"),
            UsnChangeKind::Deleted);
  EXPECT_EQ(KindOf(kUsnReasonRenameNewName | kUsnReasonClose, u"$RXYZ.doc"),
            UsnChangeKind::Renamed);
}

TEST(UsnRecord, LengthsThatDoNotFitAreDamageNotChanges) {
  UsnChange c;
  auto r = Record(Ref(40), Ref(5), kCreate, u"abc.txt");
  // Shorter than the header, or longer than what is there.
  EXPECT_EQ(DecodeUsnRecord(u'C', r.data(), 59, c), RecordVerdict::Damaged);
  EXPECT_EQ(DecodeUsnRecord(u'C', r.data(), r.size() - 8, c), RecordVerdict::Damaged);
  EXPECT_EQ(DecodeUsnRecord(u'C', nullptr, 64, c), RecordVerdict::Damaged);
  // A name length that runs past the record.
  auto longName = r;
  longName[56] = 0xFE;
  EXPECT_EQ(Decode(longName, c), RecordVerdict::Damaged);
  auto oddName = r;
  oddName[56] = 3;
  EXPECT_EQ(Decode(oddName, c), RecordVerdict::Damaged);
  // Exactly 60 bytes with no name is sound.
  auto bare = Record(Ref(40), Ref(5), kCreate, u"");
  bare.resize(60);
  bare[0] = 60;
  ASSERT_EQ(Decode(bare, c), RecordVerdict::Change);
  EXPECT_EQ(c.name, u"");
}

TEST(UsnRecord, WritesTheDebugLineForCreatesDeletesAndRenamesOnly) {
  test::DebugCapture capture;
  UsnChange c;
  Decode(Record(Ref(40), Ref(5), kCreate, u"a.db-wal"), c, u'E');
  Decode(Record(Ref(40), Ref(5), kUsnReasonBasicInfoChange | kUsnReasonClose, u"b.txt"), c);
  Decode(Record(Ref(40), Ref(5), kUsnReasonFileDelete, u"c.txt"), c);  // not closing
  Decode(Record(Ref(40), Ref(5), kUsnReasonRenameNewName | kUsnReasonClose, u"d.txt"), c);
  const auto lines = capture.Lines();
  // Filtered records are still reported.
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], u"USN E: reason=0x80000100 name=a.db-wal\n");
  EXPECT_EQ(lines[1], u"USN C: reason=0x80002000 name=d.txt\n");
}

}  // namespace
}  // namespace zw
