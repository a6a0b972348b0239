// Conversions between the core's UTF-16 text and UTF-8 for terminals and
// POSIX paths. Unpaired surrogates become U+FFFD, never dropped.
#pragma once

#include <string>
#include <string_view>

namespace zw {

std::string ToUtf8(std::u16string_view text);
// Appends without a temporary: output of a million paths goes through here.
void AppendUtf8(std::string& out, std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// Decodes the sequence at text[i] (i < text.size()) and moves `i` past what
// it read. False for a malformed sequence (overlong, a surrogate, past
// U+10FFFF, cut short); `i` then stands at the first byte that does not
// continue it, where decoding can pick up again.
bool NextCodePoint(std::string_view text, size_t& i, char32_t& cp);
// One code point as one unit or a surrogate pair.
void AppendUtf16(std::u16string& out, char32_t cp);

}  // namespace zw
