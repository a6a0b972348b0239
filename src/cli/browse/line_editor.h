// The search line as the user edits it: code points and a cursor among them.
#pragma once

#include <cstddef>
#include <string>

namespace zw::cli::browse {

class LineEditor {
 public:
  // Each returns whether the text changed (a search is due).
  // Control characters (a pasted tab or line break) are not inserted.
  bool Insert(char32_t c);
  bool Backspace();
  bool DeleteForward();
  // Ctrl+U: the whole line.
  bool Clear();
  // Ctrl+W: the blanks before the cursor, then the word before them.
  bool DeleteWordBefore();

  void Left();
  void Right();
  void Home() { cursor_ = 0; }
  void End() { cursor_ = text_.size(); }

  const std::u32string& Text() const { return text_; }
  size_t Cursor() const { return cursor_; }
  std::u16string Utf16() const;

 private:
  std::u32string text_;
  size_t cursor_ = 0;
};

}  // namespace zw::cli::browse
