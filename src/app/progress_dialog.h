// The modeless dialog that shows an indexing run's progress, with its owner
// record. The main window opens and closes it; the run's progress callable
// reads `dialog` and `userCancelled` on the indexing thread.
#pragma once

#include <windows.h>

#include <atomic>

namespace zw {

struct ProgressWindow {
  HINSTANCE instance = nullptr;
  HWND owner = nullptr;
  // Cleared by the dialog itself when it is destroyed, so that nobody posts
  // to (or destroys) a handle that may already name another window.
  std::atomic<HWND> dialog{nullptr};
  HWND textControl = nullptr;
  HWND progressBar = nullptr;
  std::atomic<bool> userCancelled{false};
};

// The dialog procedure of dialog 200; lParam of WM_INITDIALOG is the record.
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                    LPARAM lParam) noexcept;

}  // namespace zw
