// UTF-16 to UTF-8 for file names in messages and the manifest.
#pragma once

#include <string>

namespace zw::gen {

// Unpaired surrogates become U+FFFD rather than vanishing.
std::string ToUtf8(const std::u16string& s);

}  // namespace zw::gen
