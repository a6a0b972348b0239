// Drives the real main window in this process, as a user would: messages to
// its controls, a pump that runs them (accelerators included), answers for
// its modal dialogs, and readers of what the controls show. Every wait is
// bounded and fails with what it waited for.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <future>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "engine/run_indexing.h"

namespace zw::app::test {

// Runs this thread's messages for `ms` milliseconds.
void Pump(DWORD ms);
// Runs messages until `done`; false when `limitMs` (30 s) pass first.
bool PumpUntil(const std::function<bool()>& done, DWORD limitMs = 30000);
// Runs every message posted before this call.
void Settle();

#define ASSERT_PUMP_UNTIL(condition, what) \
  ASSERT_TRUE(::zw::app::test::PumpUntil([&] { return bool(condition); })) << "waited for " << what
#define EXPECT_PUMP_UNTIL(condition, what) \
  EXPECT_TRUE(::zw::app::test::PumpUntil([&] { return bool(condition); })) << "waited for " << what

// Answers the showings of a dialog with this title on this thread, from a
// timer, while the dialog's own modal loop runs: at most `limit` of them, so
// that a watch made for one showing never answers a later one meant for
// another watch (which of two timers fires first is the scheduler's choice).
class DialogWatch {
 public:
  DialogWatch(std::wstring title, std::function<void(HWND dialog)> answer,
              int limit = std::numeric_limits<int>::max());
  ~DialogWatch();
  DialogWatch(const DialogWatch&) = delete;
  DialogWatch& operator=(const DialogWatch&) = delete;
  int Seen() const { return seen_; }

 private:
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) noexcept;
  std::wstring title_;
  std::function<void(HWND)> answer_;
  UINT_PTR timer_ = 0;
  HWND answered_ = nullptr;
  int seen_ = 0;
  int limit_;
};

// Every message of one number that this thread's queue hands out while it
// lives (a WH_GETMESSAGE hook).
class MessageRecorder {
 public:
  explicit MessageRecorder(UINT message);
  ~MessageRecorder();
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;
  const std::vector<MSG>& Seen() const { return seen_; }

 private:
  static LRESULT CALLBACK OnMessage(int code, WPARAM wParam, LPARAM lParam) noexcept;
  UINT message_;
  OwnedHook hook_;
  std::vector<MSG> seen_;
};

// The drive dialog's rows: root text ("C:\") and check state.
std::map<std::wstring, bool> DriveRows(HWND dialog);
// Every row as the user sees it, for a failure's message: "C:\ NTFS ticked; ".
std::wstring DescribeRows(HWND dialog);

void SetDriveRow(HWND dialog, const std::wstring& root, bool checked);
void Click(HWND dialog, int id);

// A file of a fake drive.
struct FakeFile {
  std::u16string path;  // "C:\Work\a.txt"
  bool folder = false;
  uint64_t size = 0;
  uint64_t modified = 0;
  std::u16string name = {};  // empty: what follows the path's last backslash
};

// Drives whose entries come from the test instead of a volume. A gated
// drive reports progress and then waits for Release (or a stop request)
// before it appends its entries.
class FakeDrives {
 public:
  void Add(char16_t letter, std::vector<FakeFile> files);
  bool Empty() const { return files_.empty(); }
  void Gate(char16_t letter);
  void Release();
  bool Waiting() const { return waiting_.load(); }
  DriveIndexer Indexer();

 private:
  bool Index(FileIndex& index, char16_t letter);
  std::map<char16_t, std::vector<FakeFile>> files_;
  std::set<char16_t> gated_;
  std::mutex mutex_;
  std::condition_variable released_;
  bool open_ = false;
  std::atomic<bool> waiting_{false};
};

// A journal thread's write that holds the index for `ms` milliseconds, so
// that a search running meanwhile is held up in the middle of its scan.
// The thread is ready when this is made; Begin takes the locks, runs
// `write` under them and returns (the hold goes on without the caller).
class SlowWrite {
 public:
  SlowWrite(FileIndex& index, DWORD ms, std::function<void(EntryStore&)> write = nullptr);
  ~SlowWrite();  // waits for the write to end
  void Begin();

 private:
  std::promise<void> go_;
  std::promise<void> held_;
  bool begun_ = false;
  std::thread thread_;
};

// Appends or deletes an entry as the change journal's handler does.
uint32_t AppendLive(FileIndex& index, const FakeFile& file);
uint32_t AppendLiveLocked(EntryStore& store, const FakeFile& file);  // within a write view
void DeleteLive(FileIndex& index, uint32_t entryNumber);

// A fresh registry key for every test; the main window and its readers.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Shows the window; the startup dialog is answered with `answer` (OK).
  void Open(std::function<void(HWND)> answer = nullptr);
  // Open over `drives` (stored as the selection, so the dialog ticks them)
  // and wait until their list is shown.
  void OpenIndexed(const std::set<char16_t>& drives);
  // Chooses drives again from the menu: the dialog's rows are ticked as
  // `ticks` says and read back before OK. Fails unless the rows read as
  // asked and the choice started a run (whose list is then not waited for).
  void ChooseDrives(const std::map<std::wstring, bool>& ticks = {});
  void WaitForList();
  void Close();

  HWND Main() const { return window_->Window(); }
  HWND Control(int id) const { return ::GetDlgItem(Main(), id); }
  std::u16string Status() const;
  int Rows() const;
  std::u16string Cell(int row, int column) const;
  std::vector<std::u16string> Column(int column) const;
  int Image(int row) const;
  void Type(std::u16string_view text);  // replaces the search text, as typing does
  void Command(int id, int code = 0);
  // A key pressed and released where the focus is, once the window is drawn
  // (as the user sees it), with Ctrl or Shift held as asked. F10 comes as a
  // system key.
  void Key(UINT key, bool control = false, bool shift = false);
  void Notify(UINT code, int item, int subItem);
  RECT ChildRect(HWND child) const;
  bool MenuChecked(UINT id) const;
  HWND FindDialog(const wchar_t* title) const;

  FakeDrives fake_;                                                // in use once it has a drive
  std::vector<std::pair<view::OpenAction, std::wstring>> opened_;  // asked of the shell
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<DialogWatch> startupWatch_;
};

void SetSetting(std::u16string_view name, uint32_t value);

}  // namespace zw::app::test
