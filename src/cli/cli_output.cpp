#include "cli/cli_output.h"

#include <ctime>

#include "index/file_entry.h"
#include "volumes/drive_info.h"

namespace zw::cli {

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
  // FILETIME counts 100 ns steps from 1601; time_t counts seconds from 1970.
  constexpr uint64_t kEpochDelta = 11644473600ull;
  if (filetime == 0) return {};
  const uint64_t seconds = filetime / 10000000ull;
  if (seconds < kEpochDelta) return {};
  const std::time_t t = static_cast<std::time_t>(seconds - kEpochDelta);
  std::tm local{};
#ifdef _WIN32
  if (localtime_s(&local, &t) != 0) return {};
#else
  if (localtime_r(&t, &local) == nullptr) return {};
#endif
  char text[40];
  const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", local.tm_year + 1900,
                              local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
  if (n <= 0) return {};
  return std::string(text, size_t(n));
}

std::u16string_view FolderOf(std::u16string_view path) {
  const size_t slash = path.rfind(u'\\');
  if (slash == std::u16string_view::npos || slash == 0) return path;
  return path.substr(0, slash);
}

void WriteEntryColumns(Output& out, const FileEntry& e, bool exactSize) {
  out.Write(e.name);
  out.Write('\t');
  out.Write(FolderOf(e.path));
  out.Write('\t');
  if (e.isFolder) {
    out.Write(std::string_view("<DIR>"));
  } else if (exactSize) {
    out.WriteNumber(e.size);
  } else {
    out.Write(FormatSize(e.size));
  }
  out.Write('\t');
  out.Write(FormatLocalTime(e.modificationTime));
  out.Write('\n');
}

}  // namespace zw::cli
