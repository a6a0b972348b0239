// Names and paths from disk as they may be shown: on a terminal, in a list
// cell or the status line. Anyone can name a file, and the program runs
// elevated, so no name may move the cursor, set a terminal's title, start a
// new line, reorder what follows it, or pass for another name.
//
// What cannot be shown as it is comes out as {U+XXXX}, the UTF-16 code unit
// in four upper-case hex digits:
//  - control characters (U+0000-001F, U+007F-009F);
//  - bidirectional controls, line and paragraph separators and invisible
//    format characters (U+00AD, U+034F, U+061C, U+180E, U+200B-200F,
//    U+2028-202E, U+2060-206F, U+3164, U+FEFF, U+FFA0, U+FFF9-FFFB); U+200C
//    and U+200D stay when both neighbours are non-ASCII (Persian, emoji);
//  - surrogates without their other half;
//  - the spaces (of any width) and dots that end a name or any component of
//    a path, which Win32 would strip: "C:\Program Files " shows as
//    "C:\Program Files{U+0020}";
//  - the "{" of a "{U+" that is part of a name, so that the notation stays
//    unambiguous.
// Everything else (Hangul, CJK, accents, emoji, inner spaces) is unchanged.
#pragma once

#include <string>
#include <string_view>

namespace zw::view {

// True when `text` shows as it is: one scan, no allocation.
bool ShowsAsIs(std::u16string_view text);

// Appends the shown form of `text` to `out`.
void AppendShown(std::u16string& out, std::u16string_view text);

// `text` itself when it shows as it is, else its shown form, made in
// `scratch`: only names that need it cost an allocation.
std::u16string_view Shown(std::u16string_view text, std::u16string& scratch);

}  // namespace zw::view
