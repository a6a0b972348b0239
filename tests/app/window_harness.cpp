#include "app/window_harness.h"

#include <future>
#include <shared_mutex>

#include "app/app_ids.h"
#include "app/drive_select_dialog.h"
#include "app/message_loop.h"
#include "app/wide_text.h"
#include "engine/file_index.h"
#include "index/build_paths.h"
#include "platform/registry.h"
#include "settings/settings.h"
#include "support/built_paths.h"
#include "support/entry_builder.h"
#include "view/status_text.h"

namespace zw::app::test {

namespace {

constexpr DWORD kWaitMs = 30000;

// Settle's marker goes to a window of its own, so that it is seen even when
// a nested loop (a modal dialog) is the one that dispatches it.
bool g_markerSeen = false;

LRESULT CALLBACK MarkerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) {
    g_markerSeen = true;
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

HWND MarkerWindow() {
  static HWND window = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = MarkerProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ZwTestMarker";
    ::RegisterClassW(&wc);
    return ::CreateWindowW(L"ZwTestMarker", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                           nullptr);
  }();
  return window;
}

HACCEL Accelerators() {
  static HACCEL table =
      ::LoadAcceleratorsW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_ZANDERWYN));
  return table;
}

// One message if there is one; false when the queue is empty.
bool PumpOne() {
  MSG message;
  if (!::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return false;
  if (message.message == WM_QUIT) return true;  // a window closed: not ours to end on
  DispatchWithAccelerators(message, Accelerators());
  return true;
}

std::map<UINT_PTR, DialogWatch*>& Watches() {
  static std::map<UINT_PTR, DialogWatch*> watches;
  return watches;
}

}  // namespace

void Pump(DWORD ms) {
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < ms) {
    if (!PumpOne()) ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

bool PumpUntil(const std::function<bool()>& done, DWORD limitMs) {
  const DWORD start = ::GetTickCount();
  while (!done()) {
    if (::GetTickCount() - start > limitMs) return false;
    if (!PumpOne()) ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  return true;
}

void Settle() {
  g_markerSeen = false;
  ::PostMessageW(MarkerWindow(), WM_APP, 0, 0);
  EXPECT_TRUE(PumpUntil([] { return g_markerSeen; })) << "waited for the queue to settle";
}

DialogWatch::DialogWatch(std::wstring title, std::function<void(HWND)> answer, int limit)
    : title_(std::move(title)), answer_(std::move(answer)), limit_(limit) {
  timer_ = ::SetTimer(nullptr, 0, 20, OnTimer);
  Watches()[timer_] = this;
}

DialogWatch::~DialogWatch() {
  ::KillTimer(nullptr, timer_);
  Watches().erase(timer_);
}

void CALLBACK DialogWatch::OnTimer(HWND, UINT, UINT_PTR id, DWORD) noexcept {
  const auto it = Watches().find(id);
  if (it == Watches().end()) return;
  DialogWatch& self = *it->second;
  if (self.seen_ >= self.limit_) return;
  HWND dialog = ::FindWindowW(L"#32770", self.title_.c_str());
  if (dialog == nullptr || dialog == self.answered_ || !::IsWindowVisible(dialog)) return;
  DWORD process = 0;
  if (::GetWindowThreadProcessId(dialog, &process) != ::GetCurrentThreadId()) return;
  self.answered_ = dialog;
  ++self.seen_;
  if (self.answer_) self.answer_(dialog);
}

MessageRecorder* g_recorder = nullptr;

MessageRecorder::MessageRecorder(UINT message) : message_(message) {
  g_recorder = this;
  hook_.Reset(::SetWindowsHookExW(WH_GETMESSAGE, OnMessage, nullptr, ::GetCurrentThreadId()));
}

MessageRecorder::~MessageRecorder() {
  hook_.Reset();
  g_recorder = nullptr;
}

LRESULT CALLBACK MessageRecorder::OnMessage(int code, WPARAM wParam, LPARAM lParam) noexcept {
  const MSG& m = *reinterpret_cast<const MSG*>(lParam);
  if (code == HC_ACTION && wParam == PM_REMOVE && g_recorder && m.message == g_recorder->message_)
    g_recorder->seen_.push_back(m);
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

std::map<std::wstring, bool> DriveRows(HWND dialog) {
  HWND list = ::GetDlgItem(dialog, kDriveListId);
  std::map<std::wstring, bool> rows;
  const int count = int(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t text[16] = {};
    ListView_GetItemText(list, i, 0, text, 16);
    rows[text] = ListView_GetCheckState(list, i) == 1;
  }
  return rows;
}

std::wstring DescribeRows(HWND dialog) {
  HWND list = ::GetDlgItem(dialog, kDriveListId);
  std::wstring text;
  const int count = int(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t root[16] = {};
    wchar_t fileSystem[64] = {};
    ListView_GetItemText(list, i, 0, root, 16);
    ListView_GetItemText(list, i, 2, fileSystem, 64);
    text += std::wstring(root) + L" " + fileSystem +
            (ListView_GetCheckState(list, i) == 1 ? L" ticked; " : L" unticked; ");
  }
  return text;
}

void SetDriveRow(HWND dialog, const std::wstring& root, bool checked) {
  HWND list = ::GetDlgItem(dialog, kDriveListId);
  const int count = int(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t text[16] = {};
    ListView_GetItemText(list, i, 0, text, 16);
    if (root == text) ListView_SetCheckState(list, i, checked ? TRUE : FALSE);
  }
}

void Click(HWND dialog, int id) {
  ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void FakeDrives::Add(char16_t letter, std::vector<FakeFile> files) {
  files_[letter] = std::move(files);
}

void FakeDrives::Gate(char16_t letter) {
  std::lock_guard hold(mutex_);
  gated_.insert(letter);
  open_ = false;
}

void FakeDrives::Release() {
  {
    std::lock_guard hold(mutex_);
    open_ = true;
  }
  released_.notify_all();
}

DriveIndexer FakeDrives::Indexer() {
  return [this](FileIndex& index, char16_t letter) { return Index(index, letter); };
}

bool FakeDrives::Index(FileIndex& index, char16_t letter) {
  const auto it = files_.find(letter);
  if (it == files_.end()) return false;
  if (index.progressCallback) index.progressCallback(letter, 123456, 0);
  {
    std::unique_lock hold(mutex_);
    if (gated_.count(letter)) {
      waiting_ = true;
      // As a scan does: report now and then, stop when asked to.
      while (!open_ && !index.stopRequested.load()) {
        released_.wait_for(hold, std::chrono::milliseconds(20));
        if (index.progressCallback) index.progressCallback(letter, 123456, 0);
      }
      waiting_ = false;
      if (index.stopRequested.load()) return false;
    }
  }
  const EntryWriteView view(index.entries);
  EntryStore& store = view.store();
  for (const FakeFile& f : it->second) {
    FileEntry e;
    e.id = uint32_t(store.size());
    e.recordNumber = 100 + e.id;
    e.parentRecordNumber = 5;
    e.drive = letter;
    e.path = f.path;
    e.name = f.name.empty() ? f.path.substr(f.path.rfind(u'\\') + 1) : f.name;
    e.isFolder = f.folder;
    e.size = f.size;
    e.modificationTime = f.modified;
    SetDerivedNameFields(e);
    zw::test::AppendEntry(store, std::move(e));
  }
  return true;
}

SlowWrite::SlowWrite(FileIndex& index, DWORD ms, std::function<void(EntryStore&)> write) {
  thread_ =
      std::thread([this, &index, ms, write = std::move(write), go = go_.get_future()]() mutable {
        go.wait();
        const EntryWriteView view(index.entries);
        if (write) write(view.store());
        held_.set_value();
        ::Sleep(ms);
      });
}

void SlowWrite::Begin() {
  if (begun_) return;
  begun_ = true;
  std::future<void> held = held_.get_future();
  go_.set_value();
  held.wait();
}

SlowWrite::~SlowWrite() {
  Begin();
  thread_.join();
}

namespace {
FileEntry LiveEntry(const EntryStore& store, const FakeFile& file) {
  FileEntry e;
  e.id = uint32_t(store.size());
  e.drive = file.path[0];
  e.path = file.path;
  e.name = file.path.substr(file.path.rfind(u'\\') + 1);
  e.isFolder = file.folder;
  SetDerivedNameFields(e);
  return e;
}
}  // namespace

uint32_t AppendLiveLocked(EntryStore& store, const FakeFile& file) {
  zw::test::AppendEntry(store, LiveEntry(store, file));
  return uint32_t(store.size() - 1);
}

uint32_t AppendLive(FileIndex& index, const FakeFile& file) {
  const EntryWriteView view(index.entries);
  return AppendLiveLocked(view.store(), file);
}

void DeleteLive(FileIndex& index, uint32_t entryNumber) {
  const EntryWriteView view(index.entries);
  view.store().at(entryNumber);  // throws past the end, as before
  view.store().MarkDeleted(entryNumber);
}

void SetSetting(std::u16string_view name, uint32_t value) {
  ASSERT_TRUE(WriteDword(name, value));
}

void WindowTest::SetUp() {
  // Usually absent already; what is left of one is in the way of the next test.
  static_cast<void>(platform::DeleteRegistryTree(kSettingsKeyPath));
  SetAppInstance(::GetModuleHandleW(nullptr));
}

void WindowTest::TearDown() {
  Close();
  static_cast<void>(platform::DeleteRegistryTree(kSettingsKeyPath));  // as in SetUp
}

void WindowTest::Close() {
  startupWatch_.reset();
  window_.reset();
  Settle();
  MSG quit;
  while (::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

void WindowTest::Open(std::function<void(HWND)> answer) {
  if (!answer) answer = [](HWND dialog) { Click(dialog, IDOK); };
  startupWatch_ = std::make_unique<DialogWatch>(kDriveDialogTitle, std::move(answer), 1);
  window_ = std::make_unique<MainWindow>();
  if (!fake_.Empty()) window_->driveIndexer = fake_.Indexer();
  window_->shellOpen = [this](view::OpenAction action, const std::wstring& path) {
    opened_.emplace_back(action, path);
    return ShellResult::kDone;
  };
  ASSERT_TRUE(window_->Create(SW_SHOWNORMAL));
  ASSERT_PUMP_UNTIL(startupWatch_->Seen() == 1, "the drive dialog at start");
}

void WindowTest::OpenIndexed(const std::set<char16_t>& drives) {
  ASSERT_TRUE(SaveSelectedDrives(drives));
  ASSERT_TRUE(WriteDword(kFirstRunComplete, 1));
  Open();
  WaitForList();
}

void WindowTest::ChooseDrives(const std::map<std::wstring, bool>& ticks) {
  std::map<std::wstring, bool> answered;
  std::wstring seen;
  DialogWatch watch(
      kDriveDialogTitle,
      [&](HWND dialog) {
        for (const auto& [root, ticked] : ticks) SetDriveRow(dialog, root, ticked);
        answered = DriveRows(dialog);
        seen = DescribeRows(dialog);
        Click(dialog, IDOK);
      },
      1);
  Command(IDM_SELECT_DRIVES);  // returns once the dialog has ended and a run is under way
  ASSERT_EQ(watch.Seen(), 1) << "the drive dialog, answered by this choice";
  for (const auto& [root, ticked] : ticks) {
    ASSERT_TRUE(answered.count(root) && answered[root] == ticked)
        << "row " << root.c_str() << " as OK was pressed: " << seen.c_str();
  }
  // Nothing has been pumped since the run began, so its status still shows.
  ASSERT_EQ(Status(), view::kStatusIndexing)
      << "a run started by the choice; rows at OK: " << seen.c_str();
}

void WindowTest::WaitForList() {
  // The progress dialog closes at the end of the run; the list follows.
  ASSERT_PUMP_UNTIL(FindDialog(L"인덱싱 중...") == nullptr &&
                        Status().find(u"개 항목") != std::u16string::npos &&
                        Status().find(u"인덱싱") == std::u16string::npos,
                    "the list after the run");
  Settle();
}

std::u16string WindowTest::Status() const {
  wchar_t text[256] = {};
  ::SendMessageW(Control(IDC_STATUS_BAR), SB_GETTEXTW, 0, LPARAM(text));
  return FromWide(text);
}

int WindowTest::Rows() const {
  return int(::SendMessageW(Control(IDC_RESULT_LIST), LVM_GETITEMCOUNT, 0, 0));
}

std::u16string WindowTest::Cell(int row, int column) const {
  wchar_t text[1100] = {};
  ListView_GetItemText(Control(IDC_RESULT_LIST), row, column, text, 1100);
  return FromWide(text);
}

std::vector<std::u16string> WindowTest::Column(int column) const {
  std::vector<std::u16string> cells;
  for (int row = 0; row < Rows(); ++row) cells.push_back(Cell(row, column));
  return cells;
}

int WindowTest::Image(int row) const {
  LVITEMW item{};
  item.mask = LVIF_IMAGE;
  item.iItem = row;
  item.iImage = -1;
  ::SendMessageW(Control(IDC_RESULT_LIST), LVM_GETITEMW, 0, LPARAM(&item));
  return item.iImage;
}

void WindowTest::Type(std::u16string_view text) {
  const std::wstring wide = ToWide(text);
  HWND edit = Control(IDC_SEARCH_EDIT);
  ::SendMessageW(edit, WM_SETTEXT, 0, LPARAM(L""));
  for (wchar_t c : wide) ::SendMessageW(edit, WM_CHAR, WPARAM(c), 1);
  if (wide.empty()) Command(IDC_SEARCH_EDIT, EN_CHANGE);
}

void WindowTest::Command(int id, int code) {
  ::SendMessageW(Main(), WM_COMMAND, MAKEWPARAM(id, code), LPARAM(::GetDlgItem(Main(), id)));
}

void WindowTest::Key(UINT key, bool control, bool shift) {
  ::RedrawWindow(Main(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  BYTE keys[256];
  ::GetKeyboardState(keys);
  keys[VK_CONTROL] = control ? 0x80 : 0;
  keys[VK_SHIFT] = shift ? 0x80 : 0;
  ::SetKeyboardState(keys);
  const LPARAM scan = LPARAM(::MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
  const bool system = key == VK_F10;
  HWND target = ::GetFocus();
  // Apart: a menu the key opens runs its own loop until it is answered.
  ::PostMessageW(target, system ? WM_SYSKEYDOWN : WM_KEYDOWN, key, 1 | scan);
  Settle();
  ::PostMessageW(target, system ? WM_SYSKEYUP : WM_KEYUP, key, 1 | scan | 0xC0000000);
  Settle();
  keys[VK_CONTROL] = keys[VK_SHIFT] = 0;
  ::SetKeyboardState(keys);
}

void WindowTest::Notify(UINT code, int item, int subItem) {
  NMITEMACTIVATE n{};  // starts with an NMHDR and the NMLISTVIEW fields
  n.hdr.hwndFrom = Control(IDC_RESULT_LIST);
  n.hdr.idFrom = IDC_RESULT_LIST;
  n.hdr.code = code;
  n.iItem = item;
  n.iSubItem = subItem;
  ::SendMessageW(Main(), WM_NOTIFY, IDC_RESULT_LIST, LPARAM(&n));
}

RECT WindowTest::ChildRect(HWND child) const {
  RECT r{};
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(nullptr, Main(), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

bool WindowTest::MenuChecked(UINT id) const {
  return (::GetMenuState(::GetMenu(Main()), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

HWND WindowTest::FindDialog(const wchar_t* title) const {
  HWND dialog = ::FindWindowW(L"#32770", title);
  return dialog != nullptr && ::IsWindowVisible(dialog) ? dialog : nullptr;
}

}  // namespace zw::app::test
