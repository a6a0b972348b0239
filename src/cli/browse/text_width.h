// How many terminal columns a text takes, and how it is cut to fit. Pure, so
// that the layout does not depend on the locale the program happens to run in.
#pragma once

#include <string>
#include <string_view>

namespace zw::cli::browse {

// 2 for East Asian wide and full-width characters (Hangul, CJK, most emoji),
// 0 for combining marks and the vowels and finals of conjoining jamo (they
// join the syllable before them), 1 for the rest.
int CellWidth(char32_t c);
int TextWidth(std::u32string_view text);

// UTF-16 as code points; an unpaired surrogate becomes U+FFFD.
std::u32string ToUtf32(std::u16string_view text);
void AppendUtf32(std::u32string& out, std::u16string_view text);

// What a cell shows for a name or path: conjoining jamo (as a Mac stores
// Hangul) composed into the syllables they spell, which is how they read;
// curses drops a vowel that follows a wide leading consonant.
void AppendForTerminal(std::u32string& out, std::u16string_view text);

// `text` cut to at most `width` columns. A cut text ends with "…", so that
// it never passes for a whole one; a wide character that would straddle
// the edge goes whole.
std::u32string FitText(std::u32string_view text, int width);

}  // namespace zw::cli::browse
