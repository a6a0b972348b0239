// The modal dialog in which the user ticks the drives to index. It has no
// resource: its template is built in memory and its controls are made, at
// the window's DPI, when it opens.
#pragma once

#include <windows.h>

#include <set>

namespace zw {

inline constexpr wchar_t kDriveDialogTitle[] = L"인덱싱할 드라이브 선택";
inline constexpr int kDriveListId = 2001;
inline constexpr int kSelectAllId = 2002;
inline constexpr int kSelectNoneId = 2003;

// Shows the dialog over `owner`, ticked from `drives` (every NTFS drive when
// it is empty). After OK: true, `drives` holds the chosen NTFS drives, and
// the choice is stored. After cancel or close: false, nothing changed.
bool SelectDrives(HINSTANCE instance, HWND owner, std::set<char16_t>& drives);

}  // namespace zw
