#include "cli/browse/line_editor.h"

#include "base/utf.h"

namespace zw::cli::browse {

namespace {

bool IsBlank(char32_t c) {
  return c == U' ' || c == U'\t' || c == U'\u3000';
}

}  // namespace

bool LineEditor::Insert(char32_t c) {
  if (c < 0x20 || (c >= 0x7F && c < 0xA0) || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
    return false;
  text_.insert(cursor_++, 1, c);
  return true;
}

bool LineEditor::Backspace() {
  if (cursor_ == 0) return false;
  text_.erase(--cursor_, 1);
  return true;
}

bool LineEditor::DeleteForward() {
  if (cursor_ >= text_.size()) return false;
  text_.erase(cursor_, 1);
  return true;
}

bool LineEditor::Clear() {
  const bool changed = !text_.empty();
  text_.clear();
  cursor_ = 0;
  return changed;
}

bool LineEditor::DeleteWordBefore() {
  size_t start = cursor_;
  while (start > 0 && IsBlank(text_[start - 1])) --start;
  while (start > 0 && !IsBlank(text_[start - 1])) --start;
  if (start == cursor_) return false;
  text_.erase(start, cursor_ - start);
  cursor_ = start;
  return true;
}

void LineEditor::Left() {
  if (cursor_ > 0) --cursor_;
}

void LineEditor::Right() {
  if (cursor_ < text_.size()) ++cursor_;
}

std::u16string LineEditor::Utf16() const {
  std::u16string out;
  out.reserve(text_.size());
  for (char32_t c : text_) AppendUtf16(out, c);
  return out;
}

}  // namespace zw::cli::browse
