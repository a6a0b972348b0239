// The one top-level window: its controls, fonts and icons, the search engine
// and the result set it shows, the indexing runs it starts and the options
// it keeps. Everything here runs on the user-interface thread; workers reach
// the window only by posting the messages of app_ids.h.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "app/app_ids.h"
#include "app/win32_owners.h"
#include "index/run_indexing.h"
#include "search/result_set.h"
#include "search/searcher.h"
#include "search/type_filter.h"
#include "view/icon_choice.h"
#include "view/list_changes.h"
#include "volumes/progress_dialog_win32.h"

namespace zw {
class ChangeNotifierThread;
}

namespace zw::app {

// The module every resource and window comes from; set first thing.
HINSTANCE AppInstance();
void SetAppInstance(HINSTANCE instance);

// What a double click starts (ShellExecuteW with the verb "open").
using ShellOpen =
    std::function<void(HWND owner, const std::wstring& file, const std::wstring& parameters)>;
void OpenWithShell(HWND owner, const std::wstring& file, const std::wstring& parameters);

class MainWindow {
 public:
  MainWindow();
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  bool Create(int showCommand);
  HWND Window() const { return hwnd; }

  // Replaceable before Create, so that tests can feed runs and record what
  // a double click would start. An empty indexer reads each drive's volume.
  DriveIndexer driveIndexer;
  ShellOpen shellOpen = OpenWithShell;

  // For tests: the engine whose `running` flag the change rules consult.
  Searcher* SearchEngine() const { return searcher.get(); }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam,
                                     LPARAM lParam) noexcept;
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  // Creation and layout (main_window.cpp).
  void OnCreate();
  void Layout();
  void OnDestroy();
  void ForgetDestroyedWindows();

  // Messages and commands (window_messages.cpp).
  LRESULT OnCommand(WPARAM wParam, LPARAM lParam);
  void OnSearchDone(WPARAM wParam);
  void OnDriveIndexed(WPARAM wParam, LPARAM lParam);
  void OnListReady(WPARAM wParam, LPARAM lParam);
  void OnIndexChanged();
  void SweepRows();
  void StopSweep();
  // Empties the list for whatever fills it next; whatever was on its way
  // (a search's completion, a sweep) no longer applies. Returns the result
  // set's new generation.
  uint64_t RenewResults();
  void SearchFromWindow();
  void ShowAllEntries();
  void ResortResults();
  void SetResultCount(uint64_t count);
  void UpdateSortMenu();
  void SetStatus(std::u16string_view text);
  void SearchSoon();
  bool SearchTextEmpty() const;
  TypeFilterState FilterState() const;
  SortSpec CurrentSort() const;
  void SortByColumn(uint32_t column);
  void SortDescending(bool descending);
  void ToggleFoldersFirst();

  // Indexing control (indexing_control.cpp).
  void OnStartup();
  void ChooseDrives();
  void StartIndexing(const std::set<char16_t>& drives);
  void OnIndexingDone(WPARAM wParam, LPARAM lParam);
  void StartListBuilder();
  void JoinListBuilder();
  void RebuildDriveChecks();
  void OnDriveCheckChanged();
  void ShowProgressWindow();
  void CloseProgressWindow();
  void StartLiveUpdateForThisRun();
  bool IsCurrentRun(WPARAM wParam) const;

  // The result list (result_list.cpp) and its icons (icons.cpp).
  LRESULT OnNotify(const NMHDR& header);
  void FillDisplayInfo(NMLVDISPINFOW& info);
  void OnColumnClick(int column);
  void OpenEntry(const NMITEMACTIVATE& activation);
  uint32_t RowEntry(int row) const;
  void InitIcons();
  std::optional<int> IconForEntry(uint32_t entryNumber);  // nothing: no such entry
  int ShellIconIndex(const std::wstring& pseudoName, DWORD attributes);

  HWND hwnd = nullptr;
  HWND searchEdit = nullptr;  // the controls below die with hwnd
  HWND typeCombo = nullptr;
  HWND resultList = nullptr;
  HWND statusBar = nullptr;
  OwnedFont uiFont;
  OwnedFont searchFont;
  std::unordered_map<std::u16string, int> extensionIcons;
  int folderIcon = 0;
  int fileIcon = 0;
  bool fastIcons = true;
  std::array<int, view::kIconClassCount> classIcons{};
  // Declared before the searcher: its workers are joined before it goes.
  std::unique_ptr<ResultSet> results;
  std::unique_ptr<Searcher> searcher;
  uint32_t sortColumn = 0;
  bool sortDescending = false;
  bool foldersFirst = true;
  bool searchDebounce = true;
  std::vector<OwnedWindow> driveChecks;
  std::set<char16_t> checkedDrives;
  OwnedWindow driveButton;
  int driveButtonWidth = 0;  // fits its text
  uint64_t knownEntryCount = 0;
  // Shared with the run's progress callable, which reads it on the
  // indexing thread.
  std::shared_ptr<ProgressWindow> progress;
  wchar_t titleText[100] = {};
  wchar_t classNameText[100] = {};

  WindowTimer searchTimer{IDT_SEARCH};
  WindowTimer sweepTimer{IDT_ROW_SWEEP};
  view::RowSweep rowSweep;
  uint32_t runNumber = 0;     // of the latest run started
  uint32_t searchNumber = 0;  // of the latest search started
  bool searchAgainWhenDone = false;
  std::thread listBuilder;
  std::unique_ptr<ChangeNotifierThread> changeNotifier;
  view::IconChoice iconChoice;  // reused per cell, to spare allocations
};

}  // namespace zw::app
