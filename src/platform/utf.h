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

}  // namespace zw
