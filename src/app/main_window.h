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
#include "app/control_hook.h"
#include "app/progress_dialog.h"
#include "app/shell_transfer.h"
#include "app/win32_owners.h"
#include "engine/run_indexing.h"
#include "search/result_set.h"
#include "search/searcher.h"
#include "search/type_filter.h"
#include "view/icon_choice.h"
#include "view/list_changes.h"
#include "view/open_command.h"

namespace zw {
class ChangeNotifierThread;
}

namespace zw::app {

// The module every resource and window comes from; set first thing.
HINSTANCE AppInstance();
void SetAppInstance(HINSTANCE instance);

enum class ShellResult : uint8_t {
  kDone,
  kNoUserShell,  // nothing runs as the user here: nothing was started
  kFailed,
};

// What a double click asks of the shell: `action` on the entry at `path`.
using ShellOpen = std::function<ShellResult(view::OpenAction action, const std::wstring& path)>;
// Through the signed-in user's desktop shell, so that what starts runs with
// the user's rights, not this process's elevated ones (shell_open.cpp).
ShellResult OpenWithShell(view::OpenAction action, const std::wstring& path);

// What dragging a row out does with the entry's data object: a drop may
// choose among `effects` only.
using DragOut = std::function<void(IDataObject& data, DWORD effects)>;

class MainWindow {
 public:
  MainWindow();
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  bool Create(int showCommand);
  HWND Window() const { return hwnd; }

  // Replaceable before Create, so that tests can feed runs and record what
  // a double click would ask of the shell. An empty indexer reads each
  // drive's volume.
  DriveIndexer driveIndexer;
  ShellOpen shellOpen = OpenWithShell;
  DragOut dragOut = DragWithMouse;

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
  void OnSearchDone(WPARAM wParam, LPARAM lParam);
  void OnDriveIndexed(WPARAM wParam, LPARAM lParam);
  void OnListReady(WPARAM wParam, LPARAM lParam);
  void OnIndexChanged();
  void SweepRows();
  void StopSweep();
  // Empties the list for whatever fills it next; whatever was on its way
  // (a search's completion, a sweep) no longer applies. Returns the result
  // set's new generation. For a search, the list shown is kept aside, to
  // be shown again should the search fail.
  uint64_t RenewResults(bool forSearch = false);
  void SearchFromWindow();
  void ShowAllEntries();
  void ResortResults();
  void SetResultCount(uint64_t count);
  // What the rows show has changed: they are drawn again.
  void RowsChanged(bool erase = false);
  void UpdateSortMenu();
  void SetStatus(std::u16string_view text);
  void SearchSoon();
  bool SearchTextEmpty() const;
  TypeFilterState FilterState() const;
  SortSpec CurrentSort() const;
  void SortByColumn(uint32_t column);
  void SortDescending(bool descending);
  void ToggleFoldersFirst();
  void ToggleInitialConsonantSearch();

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
  static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  void OnListPress(LPARAM point);
  void OpenEntry(const NMITEMACTIVATE& activation);

  // The keyboard, the row menu, copy and drag (row_actions.cpp; what they
  // share with a double click beside OpenEntry).
  //
  // A row and the entry it held when the user aimed at it.
  struct RowTarget {
    int row = -1;
    uint32_t entry = kNoEntry;
    std::u16string path;
  };
  // The selected row, as long as the rows shown are those drawn last.
  std::optional<RowTarget> SelectedRow() const;
  // What acting on `target` in `column` asks, while the row still holds
  // the same entry with the same path.
  std::optional<view::OpenCommand> CommandForRow(const RowTarget& target, uint32_t column) const;
  static LRESULT CALLBACK SearchEditProc(HWND edit, UINT message, WPARAM wParam,
                                         LPARAM lParam) noexcept;
  // True when the key was the window's, not the control's.
  bool OnSearchEditKey(WPARAM key);
  bool OnListKey(UINT message, WPARAM key);
  void RememberFocus();
  void RestoreFocus();
  void FocusSearchBox(bool selectText = false);
  void SelectRow(int row);
  // Shows the row menu for a right click at `point` (screen), or, for -1,
  // for the selected row.
  void ShowRowMenu(LPARAM point);
  void OnBeginDrag(int row);
  void CopyPath(std::u16string_view path);
  // Opens or shows as `command` says, and tells why when it does not.
  void Perform(const view::OpenCommand& command);
  // Read within `hold`, and looked up in that hold only: the entries may be
  // renumbered between two holds.
  uint32_t RowEntry(const EntryAccess& hold, int row) const;
  void InitIcons();
  std::optional<int> IconOfChoice();  // of iconChoice, as ChooseIcon left it
  int ShellIconIndex(const std::wstring& pseudoName, DWORD attributes);

  ComApartment com;  // first in, last out: the shell is asked through it
  HWND hwnd = nullptr;
  HWND searchEdit = nullptr;  // the controls below die with hwnd
  HWND typeCombo = nullptr;
  HWND resultList = nullptr;
  HWND statusBar = nullptr;
  ControlHook searchEditHook;  // this window's procedures in front of the controls'
  ControlHook listHook;
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
  bool initialConsonantSearch = true;  // ㅂㄱㅅ finds 보고서
  std::vector<OwnedWindow> driveChecks;
  std::set<char16_t> checkedDrives;
  OwnedWindow driveButton;
  int driveButtonWidth = 0;  // fits its text
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
  // The list waits for the latest search: its done message is on its way.
  bool searchInFlight = false;
  // What the list showed before the search in flight is kept in `results`
  // (ClearKeeping), where renumberings reach it.
  std::thread listBuilder;
  std::unique_ptr<ChangeNotifierThread> changeNotifier;
  view::IconChoice iconChoice;  // reused per cell, to spare allocations
  // The row under the cursor when the latest click began: a double click,
  // a right click or a drag acts on that entry only.
  std::optional<RowTarget> pressed;
  // The control that had the focus when the window was last deactivated.
  HWND focusBeforeDeactivation = nullptr;
  // A press on rows not drawn since they changed is bound to nothing: the
  // user saw other rows there. (Input comes before painting.)
  uint64_t rowsVersion = 0;
  uint64_t drawnVersion = 0;
};

}  // namespace zw::app
