#include "app/drive_select_dialog.h"

#include <windows.h>

#include <commctrl.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/dpi.h"
#include "app/win32_owners.h"
#include "platform/win32/win32_text.h"
#include "settings/settings.h"
#include "view/layout.h"
#include "view/size_text.h"
#include "volumes/drive_info.h"

namespace zw {

namespace {

using platform::AsWide;

struct DriveSelectDialog {
  HINSTANCE instance = nullptr;
  HWND owner = nullptr;
  HWND listView = nullptr;
  std::vector<DriveInfo> driveRows;
  std::set<char16_t> chosen;
  std::set<char16_t> preset;
  bool accepted = false;
  app::OwnedFont font;  // outlives the dialog's controls: freed after it has ended
};

constexpr int kClientWidth = 520;
constexpr int kClientHeight = 420;
constexpr int kButtonWidth = 90;
constexpr int kButtonHeight = 28;

struct ColumnSpec {
  const wchar_t* header;
  int width;
};
constexpr ColumnSpec kColumns[] = {{L"드라이브", 70},
                                   {L"레이블", 100},
                                   {L"파일시스템", 80},
                                   {L"전체 크기", 80},
                                   {L"여유 공간", 80}};

std::wstring Wide(std::u16string_view text) {
  return std::wstring(AsWide(text.data()), text.size());
}

std::wstring RootOf(char16_t letter) {
  return std::wstring{wchar_t(letter), L':', L'\\'};
}

void SetCheck(HWND list, int row, bool checked) {
  ListView_SetCheckState(list, row, checked ? TRUE : FALSE);
}

// The in-memory template: no controls, no font (WM_SETFONT gives one).
struct alignas(32) DialogTemplateBuffer {
  unsigned char bytes[4096] = {};
};

void BuildTemplate(DialogTemplateBuffer& buffer) {
  auto put16 = [&](size_t offset, uint16_t v) { std::memcpy(buffer.bytes + offset, &v, 2); };
  const uint32_t style =
      0x80C80880;  // WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CENTER | DS_MODALFRAME
  std::memcpy(buffer.bytes, &style, 4);
  put16(14, 280);
  put16(16, 220);
  // Menu and class at 18 and 20 stay 0; the title follows, at most 13 units.
  size_t offset = 22;
  for (size_t i = 0; i < 13 && kDriveDialogTitle[i] != 0; ++i, offset += 2)
    put16(offset, uint16_t(kDriveDialogTitle[i]));
}

HWND Child(const DriveSelectDialog& self, HWND dialog, const wchar_t* cls, const wchar_t* text,
           DWORD style, DWORD exStyle, int id, int x, int y, int w, int h) {
  HWND child = ::CreateWindowExW(exStyle, cls, text, style, x, y, w, h, dialog,
                                 reinterpret_cast<HMENU>(INT_PTR(id)), self.instance, nullptr);
  return child;
}

void FillRows(const DriveSelectDialog& self) {
  for (size_t i = 0; i < self.driveRows.size(); ++i) {
    const DriveInfo& d = self.driveRows[i];
    std::wstring root = RootOf(d.letter);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = int(i);
    item.pszText = root.data();
    const int row = int(::SendMessageW(self.listView, LVM_INSERTITEMW, 0, LPARAM(&item)));
    if (row < 0) continue;
    const std::wstring cells[4] = {Wide(d.label), Wide(d.fileSystem),
                                   Wide(view::FormatSize(d.totalBytes)),
                                   Wide(view::FormatSize(d.freeBytes))};
    for (int sub = 1; sub <= 4; ++sub) {
      std::wstring text = cells[sub - 1];
      LVITEMW cell{};
      cell.iSubItem = sub;
      cell.pszText = text.data();
      ::SendMessageW(self.listView, LVM_SETITEMTEXTW, WPARAM(row), LPARAM(&cell));
    }
    if (d.isNtfs) SetCheck(self.listView, row, self.preset.empty() || self.preset.count(d.letter));
  }
}

void OnInitDialog(DriveSelectDialog& self, HWND dialog) {
  const UINT dpi = app::DpiForWindow(dialog);
  auto s = [dpi](int v) { return view::ScaleForDpi(v, dpi); };
  const int W = s(kClientWidth);
  const int H = s(kClientHeight);

  RECT frame{0, 0, W, H};
  ::AdjustWindowRectEx(&frame, DWORD(::GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                       DWORD(::GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
  const int frameWidth = frame.right - frame.left;
  const int frameHeight = frame.bottom - frame.top;
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  ::SetWindowPos(dialog, nullptr, work.left + (work.right - work.left - frameWidth) / 2,
                 work.top + (work.bottom - work.top - frameHeight) / 2, frameWidth, frameHeight,
                 SWP_NOZORDER);

  constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
  constexpr DWORD kButton = kChild | WS_TABSTOP;
  HWND heading = Child(self, dialog, L"STATIC", L"인덱싱할 NTFS 드라이브를 선택하세요:", kChild, 0,
                       -1, s(10), s(10), W - s(20), s(20));
  self.font.Reset(::CreateFontW(s(14), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                DEFAULT_PITCH, L"Segoe UI"));
  self.listView = Child(self, dialog, WC_LISTVIEWW, L"", 0x50010009, WS_EX_CLIENTEDGE, kDriveListId,
                        s(10), s(35), W - s(20), H - s(110));
  ::SendMessageW(self.listView, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, 0x10025);
  for (int c = 0; c < 5; ++c) {
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM | LVCF_FMT;
    column.fmt = LVCFMT_LEFT;
    column.cx = s(kColumns[c].width);
    column.pszText = const_cast<wchar_t*>(kColumns[c].header);
    column.iSubItem = c;
    ::SendMessageW(self.listView, LVM_INSERTCOLUMNW, WPARAM(c), LPARAM(&column));
  }
  FillRows(self);

  const int buttonY = H - s(65);
  const int bw = s(kButtonWidth);
  const int bh = s(kButtonHeight);
  HWND controls[] = {
      heading,
      Child(self, dialog, L"BUTTON", L"전체 선택", kButton, 0, kSelectAllId, s(10), buttonY, bw,
            bh),
      Child(self, dialog, L"BUTTON", L"선택 해제", kButton, 0, kSelectNoneId, s(10 + 10 + 90),
            buttonY, bw, bh),
      Child(self, dialog, L"BUTTON", L"확인", kButton | BS_DEFPUSHBUTTON, 0, IDOK,
            W - 2 * s(kButtonWidth) - s(10) - s(10), buttonY, bw, bh),
      Child(self, dialog, L"BUTTON", L"취소", kButton, 0, IDCANCEL, W - s(kButtonWidth) - s(10),
            buttonY, bw, bh),
      Child(self, dialog, L"STATIC", L"* NTFS 드라이브만 인덱싱할 수 있습니다.", kChild, 0, -1,
            s(10), buttonY + s(8) + s(28), W - s(20), s(20)),
  };
  for (HWND control : controls) ::SendMessageW(control, WM_SETFONT, WPARAM(self.font.Get()), TRUE);
}

void Accept(DriveSelectDialog& self, HWND dialog) {
  self.chosen.clear();
  const int rows = int(::SendMessageW(self.listView, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < rows && size_t(i) < self.driveRows.size(); ++i) {
    if (self.driveRows[size_t(i)].isNtfs && ListView_GetCheckState(self.listView, i) != 0)
      self.chosen.insert(self.driveRows[size_t(i)].letter);
  }
  // The choice is used for this session either way; a write that failed has
  // told the debugger, and the next start asks again.
  static_cast<void>(SaveSelectedDrives(self.chosen));
  static_cast<void>(WriteDword(kFirstRunComplete, 1));
  self.accepted = true;
  ::EndDialog(dialog, IDOK);
}

INT_PTR Handle(DriveSelectDialog& self, HWND dialog, UINT message, WPARAM wParam) {
  if (message == WM_CLOSE) {
    self.accepted = false;
    ::EndDialog(dialog, IDCANCEL);
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  switch (LOWORD(wParam)) {
    case kSelectAllId:
      for (size_t i = 0; i < self.driveRows.size(); ++i)
        if (self.driveRows[i].isNtfs) SetCheck(self.listView, int(i), true);
      return TRUE;
    case kSelectNoneId:
      for (size_t i = 0; i < self.driveRows.size(); ++i) SetCheck(self.listView, int(i), false);
      return TRUE;
    case IDOK:
      Accept(self, dialog);
      return TRUE;
    case IDCANCEL:
      self.accepted = false;
      ::EndDialog(dialog, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK DriveDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  try {
    if (message == WM_INITDIALOG) {
      auto* self = reinterpret_cast<DriveSelectDialog*>(lParam);
      ::SetWindowLongPtrW(dialog, GWLP_USERDATA, LONG_PTR(self));
      if (self != nullptr) OnInitDialog(*self, dialog);
      return TRUE;
    }
    auto* self = reinterpret_cast<DriveSelectDialog*>(::GetWindowLongPtrW(dialog, GWLP_USERDATA));
    if (self == nullptr) return FALSE;
    return Handle(*self, dialog, message, wParam);
  } catch (...) {
    // No memory for a row's texts: the dialog stays as far as it got.
    return FALSE;
  }
}

}  // namespace

bool SelectDrives(HINSTANCE instance, HWND owner, std::set<char16_t>& drives) {
  DriveSelectDialog self;
  self.instance = instance;
  self.owner = owner;
  self.preset = drives;
  self.driveRows = ListSelectableDrives();
  auto buffer = std::make_unique<DialogTemplateBuffer>();
  BuildTemplate(*buffer);
  ::DialogBoxIndirectParamW(instance, reinterpret_cast<LPCDLGTEMPLATEW>(buffer->bytes), owner,
                            DriveDialogProc, LPARAM(&self));
  if (!self.accepted) return false;
  drives = self.chosen;
  return true;
}

}  // namespace zw
