// Conversions between the core's UTF-16 text and UTF-8 for terminals and
// POSIX paths. Unpaired surrogates become U+FFFD, never dropped.
#pragma once

#include <string>
#include <string_view>

namespace zw {

std::string ToUtf8(std::u16string_view text);
// Appends without a temporary: output of a million paths goes through here.
void AppendUtf8(std::string& out, std::u16string_view text);
// Malformed sequences become U+FFFD, one for each DecodeUtf8At step.
std::u16string FromUtf8(std::string_view text);

// One step of decoding at text[i] (i < text.size()): `length` bytes make the
// code point. When they are malformed (overlong, a surrogate, past U+10FFFF,
// cut short, a stray byte), `ok` is false and `length` covers the lead byte
// and the continuation bytes after it, where decoding picks up again. For
// text that must be refused rather than repaired, such as a settings file.
struct Utf8Step {
  char32_t codePoint = 0;
  size_t length = 1;
  bool ok = false;
};
Utf8Step DecodeUtf8At(std::string_view text, size_t i) noexcept;
// Appends one code point (at most U+10FFFF) as one unit or a surrogate pair.
void AppendUtf16(std::u16string& out, char32_t codePoint);

}  // namespace zw
