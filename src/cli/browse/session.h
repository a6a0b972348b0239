// What browse shows and how keys change it: the search line, the results of
// the core's searcher (filtered and sorted as the window and `search` do),
// the selection, and the indexing run's progress. No terminal here: the
// loop feeds it keys and reports, the drawing reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/browse/line_editor.h"
#include "cli/browse/wakeup.h"
#include "search/result_set.h"
#include "search/searcher.h"
#include "search/type_filter.h"

namespace zw {
struct FileIndex;
}

namespace zw::cli::browse {

// A key as curses delivers it: a character, or a function key (KEY_*).
struct Key {
  bool function = false;
  uint32_t code = 0;
};

enum class Outcome {
  Continue,
  Chosen,           // Enter on a row
  Cancelled,        // Esc
  Interrupted,      // Ctrl+C
  NothingToSearch,  // no drive could be indexed
};

struct SessionOptions {
  TypeFilterState filter;
  SortSpec sort;
  bool initials = true;
  bool parallel = false;
  bool progressive = true;
};

class Session {
 public:
  Session(FileIndex& index, Mailbox& mailbox, const SessionOptions& options);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // A key changes the line, the filter, the sort or the selection. A changed
  // line or filter makes a search due, which SearchIfDue starts: keys read
  // together start one search.
  Outcome OnKey(Key key);
  void SearchIfDue();
  // The workers' reports, as the loop took them from the mailbox.
  void OnReports(const Reports& reports);
  // Once the run has ended: what went wrong with the drives, for the status
  // line.
  void SetProblems(std::vector<std::string> problems) { problems_ = std::move(problems); }

  // The list shows `rows` rows: Page Up/Down move by that, and the list
  // scrolls to keep the selection in view.
  void SetPageRows(size_t rows);
  // The entry numbers of the rows in view, from the first shown. While a
  // search runs, the rows shown before it.
  const std::vector<uint32_t>& VisibleRows();
  size_t Top() const { return top_; }
  size_t Selected() const { return selected_; }
  // The entry on the selected row, when there is one.
  std::optional<uint32_t> SelectedEntry();

  const LineEditor& Line() const { return line_; }
  const TypeFilterState& Filter() const { return filter_; }
  const SortSpec& Sort() const { return sort_; }
  uint64_t RowCount() const { return rowCount_; }
  bool Searching() const { return searchInFlight_; }
  bool SearchFailed() const { return searchFailed_; }
  bool Indexing() const { return indexing_; }
  const std::optional<Reports::Progress>& Progress() const { return progress_; }
  const std::vector<std::string>& Problems() const { return problems_; }

 private:
  void Research();
  void OnSearchDone(uint64_t number, uint64_t count);
  void Resort();
  void Move(int64_t delta);
  void MoveTo(size_t row);
  uint64_t EntryCount() const;

  FileIndex& index_;
  Mailbox& mailbox_;
  ResultSet results_;  // before the searcher, which must end first
  Searcher searcher_;
  LineEditor line_;
  TypeFilterState filter_;
  SortSpec sort_;
  bool initials_;

  bool searchDue_ = true;
  bool searchInFlight_ = false;
  bool searchFailed_ = false;
  uint64_t searchNumber_ = 0;
  uint64_t searchedEntries_ = 0;  // entries in the index when the last search began
  uint64_t rowCount_ = 0;

  size_t selected_ = 0;
  size_t top_ = 0;
  size_t pageRows_ = 1;
  bool listFocus_ = false;  // Home and End move the selection, not the cursor
  std::vector<uint32_t> visible_;

  bool indexing_ = true;
  std::optional<Reports::Progress> progress_;
  std::vector<std::string> problems_;
};

}  // namespace zw::cli::browse
