#include "view/status_text.h"

#include "view/decimal.h"
#include "view/shown_text.h"

namespace zw::view {

namespace {

// drive, ":", text, count, tail
std::u16string DriveCountText(char16_t drive, std::u16string_view text, uint64_t count,
                              std::u16string_view tail) {
  std::u16string out(1, drive);
  out += u':';
  out += text;
  AppendDecimal(out, count);
  out += tail;
  return out;
}

}  // namespace

std::u16string ScanProgressText(char16_t drive, uint64_t records) {
  return DriveCountText(drive, u" 1회성 스캔 중... ", records, u"개 레코드");
}

std::u16string DriveIndexedText(char16_t drive, uint64_t entries) {
  return DriveCountText(drive, u" 완료 - 총 ", entries, u"개 항목");
}

std::u16string IndexingDoneText(uint64_t entries) {
  std::u16string out = u"인덱싱 완료: ";
  AppendDecimal(out, entries);
  out += u"개 항목 - 목록 준비 중...";
  return out;
}

std::u16string ItemCountText(uint64_t items) {
  std::u16string out;
  AppendDecimal(out, items);
  out += u"개 항목";
  return out;
}

std::u16string OpenFailedText(std::u16string_view path) {
  std::u16string out = u"열 수 없습니다: ";
  AppendShown(out, path);
  constexpr size_t kRoom = kStatusTextCapacity - 1;
  if (out.size() <= kRoom) return out;
  size_t cut = kRoom - 1;  // room for the mark
  // Every "{U+" of a shown text begins an escape of eight units.
  for (size_t back = 1; back < 8 && back <= cut; ++back) {
    const size_t at = cut - back;
    if (out.compare(at, 3, u"{U+") == 0 && at + 8 > cut) {
      cut = at;
      break;
    }
  }
  if (cut > 0 && out[cut - 1] >= 0xD800 && out[cut - 1] <= 0xDBFF) --cut;
  out.resize(cut);
  out += u'…';
  return out;
}

std::u16string DialogProgressText(char16_t drive, uint64_t records) {
  return DriveCountText(drive, u" 드라이브 스캔 중... ", records, u"개 레코드");
}

}  // namespace zw::view
