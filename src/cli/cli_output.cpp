#include "cli/cli_output.h"

#include "index/entry_store.h"
#include "index/file_entry.h"
#include "platform/local_time.h"
#include "view/cell_text.h"
#include "view/shown_text.h"
#include "view/size_text.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace zw::cli {

bool IsTerminal(FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

namespace {
constexpr size_t kBufferBytes = size_t(1) << 20;
}  // namespace

Output::Output(std::FILE* stream) : stream_(stream) {
  buffer_.reserve(kBufferBytes);
}

void Output::MakeRoom(size_t bytes) {
  if (buffer_.size() + bytes > kBufferBytes) Flush();
}

void Output::Write(std::string_view utf8) {
  if (broken_) return;
  MakeRoom(utf8.size());
  buffer_.append(utf8);
}

void Output::Write(std::u16string_view utf16) {
  if (broken_) return;
  MakeRoom(utf16.size() * 3);
  AppendUtf8(buffer_, utf16);
}

void Output::WriteShown(std::u16string_view utf16) {
  Write(view::Shown(utf16, shown_));
}

void Output::Write(char c) {
  if (broken_) return;
  MakeRoom(1);
  buffer_ += c;
}

void Output::WriteNumber(uint64_t value) {
  char digits[24];
  int n = std::snprintf(digits, sizeof digits, "%llu", static_cast<unsigned long long>(value));
  Write(std::string_view(digits, size_t(n)));
}

void Output::Flush() {
  if (!broken_ && !buffer_.empty()) {
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), stream_) != buffer_.size()) broken_ = true;
  }
  buffer_.clear();
  if (!broken_ && std::fflush(stream_) != 0) broken_ = true;
}

std::string FormatLocalTime(uint64_t filetime) {
  // Times before 1970 are not believed: a zero or garbage stamp shows empty.
  constexpr uint64_t kUnixEpoch = 116444736000000000ull;
  if (filetime < kUnixEpoch) return {};
  platform::CalendarTime t;
  if (!platform::ToLocalCalendarTime(filetime, t)) return {};
  char text[40];
  const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", t.year, t.month, t.day,
                              t.hour, t.minute);
  if (n <= 0) return {};
  return std::string(text, size_t(n));
}

void WriteEntryColumns(Output& out, const EntryRef& e, std::u16string_view path, bool exactSize) {
  thread_local std::u16string name;  // no allocation a row once warm
  e.name().AssignTo(name);
  out.WriteShown(name);
  out.Write('\t');
  out.WriteShown(view::FolderOf(path));
  out.Write('\t');
  if (e.isFolder()) {
    out.Write(std::string_view("<DIR>"));
  } else if (exactSize) {
    out.WriteNumber(e.size());
  } else {
    out.Write(view::FormatSize(e.size()));
  }
  out.Write('\t');
  out.Write(FormatLocalTime(e.modificationTime()));
  out.Write('\n');
}

}  // namespace zw::cli
