#include "view/cell_text.h"

#include <algorithm>

#include "engine/file_index.h"
#include "platform/local_time.h"
#include "view/decimal.h"
#include "view/shown_text.h"
#include "view/size_text.h"

namespace zw::view {

namespace {

size_t CopyCut(std::u16string_view text, char16_t* out, size_t capacity) {
  const size_t n = std::min(text.size(), capacity - 1);
  std::copy_n(text.data(), n, out);
  out[n] = 0;
  return n;
}

}  // namespace

std::u16string_view FolderOf(std::u16string_view path) {
  const size_t slash = path.rfind(u'\\');
  if (slash == std::u16string_view::npos || slash == 0) return path;
  return path.substr(0, slash);
}

size_t FormatDateText(uint64_t filetime, char16_t* out, size_t capacity) {
  if (capacity == 0) return 0;
  out[0] = 0;
  platform::CalendarTime t;
  if (!platform::ToLocalCalendarTime(filetime, t)) return 0;
  // "%04d-%02d-%02d %02d:%02d"
  char16_t text[5 * kDecimalCapacity + 4];
  size_t n = WriteDecimal(uint64_t(t.year), 4, text);
  const struct {
    char16_t separator;
    int value;
  } rest[] = {{u'-', t.month}, {u'-', t.day}, {u' ', t.hour}, {u':', t.minute}};
  for (const auto& part : rest) {
    text[n++] = part.separator;
    n += WriteDecimal(uint64_t(part.value), 2, text + n);
  }
  return CopyCut({text, n}, out, capacity);
}

bool CellText(const FileIndex& index, uint32_t entryNumber, uint32_t column, char16_t* out,
              size_t capacity) {
  const EntryReadView hold(index.entries);
  return CellText(hold, entryNumber, column, out, capacity);
}

bool CellText(const EntryAccess& hold, uint32_t entryNumber, uint32_t column, char16_t* out,
              size_t capacity) {
  if (capacity == 0) return false;
  const std::optional<EntryRef> e = LookupEntry(hold, entryNumber);
  if (!e) return false;
  // Kept per thread: a warm list draws its rows without allocating.
  thread_local std::u16string scratch;
  thread_local std::u16string text;
  switch (column) {
    case kColumnName:
      e->name().AssignTo(scratch);
      CopyCut(Shown(scratch, text), out, capacity);
      break;
    case kColumnFolder:
      e->PathInto(scratch);
      CopyCut(Shown(FolderOf(scratch), text), out, capacity);
      break;
    case kColumnSize:
      if (e->isFolder()) {
        CopyCut(u"<DIR>", out, capacity);
      } else {
        FormatSize(e->size(), out, capacity);
      }
      break;
    case kColumnDate:
      FormatDateText(e->modificationTime(), out, capacity);
      break;
    default:
      out[0] = 0;
      break;
  }
  return true;
}

}  // namespace zw::view
