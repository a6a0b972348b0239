// Every number through which the window, its resources, its dialogs and its
// workers meet: resource ids, control ids, menu commands, the timer and the
// messages the workers post. The resource compiler reads this file too, so
// everything it needs is a plain #define.
#pragma once

// Strings, menu, accelerators and icons.
#define IDS_APP_TITLE 103  // window title
#define IDC_ZANDERWYN 109  // class name string, menu and accelerator table
#define IDI_ZANDERWYN 107  // class icon
#define IDI_SMALL 108      // small icon
#define IDI_ABOUT 128      // the about box's icon

// Dialogs.
#define IDD_ABOUTBOX 103
#define IDD_PROGRESS 200
#define IDC_PROGRESS_TEXT 201
#define IDC_PROGRESS_BAR 202
#define IDC_PROGRESS_CANCEL 203

// Menu commands.
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_SELECT_DRIVES 106
#define IDM_SORT_NAME 110
#define IDM_SORT_SIZE 111
#define IDM_SORT_DATE 112
#define IDM_SORT_PATH 113
#define IDM_SORT_ASCENDING 120
#define IDM_SORT_DESCENDING 121
#define IDM_FOLDERS_FIRST 122
#define IDM_INITIAL_CONSONANTS 130
// The result row's context menu.
#define IDM_ROW_OPEN 140
#define IDM_ROW_SHOW_IN_FOLDER 141
#define IDM_ROW_COPY_PATH 142

// Controls of the main window.
#define IDC_SEARCH_EDIT 1001
#define IDC_TYPE_COMBO 1002
#define IDC_RESULT_LIST 1003
#define IDC_STATUS_BAR 1004
#define IDC_DRIVE_BUTTON 1005
#define IDC_DRIVE_CHECK_FIRST 1100
#define IDC_DRIVE_CHECK_LAST 1125

#define IDT_SEARCH 2001
#define IDT_ROW_SWEEP 2002  // drops rows of deleted entries, a slice at a time

#ifndef RC_INVOKED
#include <cstdint>

namespace zw::app {

// Posted, never sent. To the main window:
inline constexpr unsigned WM_APP_INDEXING_DONE = 0x400 + 1;
inline constexpr unsigned WM_APP_SEARCH_PROGRESS = 0x400 + 2;
inline constexpr unsigned WM_APP_SEARCH_DONE = 0x400 + 3;
inline constexpr unsigned WM_APP_DRIVE_INDEXED = 0x400 + 4;
inline constexpr unsigned WM_APP_SCAN_PROGRESS = 0x400 + 5;
inline constexpr unsigned WM_APP_LIST_READY = 0x400 + 6;
inline constexpr unsigned WM_APP_INDEX_CHANGED = 0x400 + 7;
inline constexpr unsigned WM_APP_STARTUP = 0x400 + 10;
// To the progress dialog: wParam drive letter, lParam records read.
inline constexpr unsigned WM_APP_PROGRESS_TEXT = 0x400 + 100;

inline constexpr unsigned kSearchDebounceMs = 100;

// The messages of an indexing run carry the run's number above their own
// low bits, so that those of a run stopped and replaced can be told apart:
// WM_APP_INDEXING_DONE  wParam = run << 16 | success (0 or 1)
// WM_APP_DRIVE_INDEXED, WM_APP_SCAN_PROGRESS  wParam = run << 16 | drive letter
// WM_APP_LIST_READY  wParam = run << 16 | 1 when the list was delivered, 0
//   when a search had taken the result set over first
// Likewise a search's messages carry the search's number in wParam.
inline constexpr uint64_t MakeRunParam(uint32_t run, uint16_t low) {
  return uint64_t(run) << 16 | low;
}
inline constexpr uint32_t RunOfParam(uint64_t wParam) {
  return uint32_t(wParam >> 16);
}
inline constexpr uint16_t LowOfParam(uint64_t wParam) {
  return uint16_t(wParam & 0xFFFF);
}

}  // namespace zw::app
#endif
