// Terminal output of the command line: UTF-8 from the core's UTF-16 text,
// written through one large buffer so that a million lines cost little more
// than the bytes themselves.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "base/utf.h"

namespace zw {
class EntryRef;
}

namespace zw::cli {

// Whether `stream` goes to a terminal (not a file or a pipe).
bool IsTerminal(FILE* stream);

class Output {
 public:
  explicit Output(std::FILE* stream);
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  ~Output() { Flush(); }

  void Write(std::string_view utf8);
  // Unpaired surrogates come out as U+FFFD.
  void Write(std::u16string_view utf16);
  // A name or path from disk, as view/shown_text.h shows it.
  void WriteShown(std::u16string_view utf16);
  void Write(char c);
  void WriteNumber(uint64_t value);
  void Flush();
  // True once a write failed (for example, the reader of a pipe went away);
  // later writes are dropped.
  bool Broken() const { return broken_; }

 private:
  void MakeRoom(size_t bytes);

  std::FILE* stream_;
  std::string buffer_;
  std::u16string shown_;  // scratch for names that need escaping
  bool broken_ = false;
};

// Appends `text` to `out` as UTF-8, with U+FFFD for unpaired surrogates.
using zw::AppendUtf8;

// "2024-03-01 14:05" in local time, or empty for a time that cannot be shown.
std::string FormatLocalTime(uint64_t filetime);

// The four columns of the result list, tab-separated, and a newline: name,
// folder, size ("<DIR>" for a folder; in bytes when `exactSize`, else as the
// window shows it) and date. `path` is the entry's path, built by the caller.
void WriteEntryColumns(Output& out, const EntryRef& e, std::u16string_view path, bool exactSize);

}  // namespace zw::cli
