#include "app/progress_dialog.h"

#include <string>

#include "app/app_ids.h"
#include "platform/win32/win32_text.h"
#include "view/status_text.h"

namespace zw {

namespace {

void SetItemText(const ProgressWindow& record, int item, std::u16string_view text) {
  const std::u16string terminated(text);
  ::SetDlgItemTextW(record.dialog.load(), item, platform::AsWide(terminated.c_str()));
}

INT_PTR Handle(ProgressWindow& record, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      // Closing is a request to stop; the run's end closes the dialog.
      record.userCancelled = true;
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) != IDC_PROGRESS_CANCEL) return FALSE;
      record.userCancelled = true;
      SetItemText(record, IDC_PROGRESS_TEXT, view::kDialogCancelling);
      ::EnableWindow(::GetDlgItem(record.dialog.load(), IDC_PROGRESS_CANCEL), FALSE);
      return TRUE;
    case app::WM_APP_PROGRESS_TEXT:
      SetItemText(record, IDC_PROGRESS_TEXT,
                  view::DialogProgressText(char16_t(LOWORD(wParam)), uint64_t(lParam)));
      ::UpdateWindow(record.dialog.load());
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                    LPARAM lParam) noexcept {
  try {
    if (message == WM_INITDIALOG) {
      auto* record = reinterpret_cast<ProgressWindow*>(lParam);
      ::SetWindowLongPtrW(dialog, GWLP_USERDATA, LONG_PTR(record));
      if (record != nullptr) record->dialog = dialog;
      return TRUE;
    }
    auto* record = reinterpret_cast<ProgressWindow*>(::GetWindowLongPtrW(dialog, GWLP_USERDATA));
    if (record == nullptr) return FALSE;
    if (message == WM_NCDESTROY) {
      ::SetWindowLongPtrW(dialog, GWLP_USERDATA, 0);
      record->dialog = nullptr;
      return FALSE;
    }
    return Handle(*record, message, wParam, lParam);
  } catch (...) {
    return FALSE;  // a text that could not be built is not shown
  }
}

}  // namespace zw
