#include "cli/browse/session.h"

#include <curses.h>

#include <algorithm>

#include "base/records.h"
#include "engine/file_index.h"
#include "search/query.h"

namespace zw::cli::browse {

namespace {

constexpr uint32_t Ctrl(char c) {
  return uint32_t(c) & 0x1F;
}

}  // namespace

Session::Session(FileIndex& index, Mailbox& mailbox, const SessionOptions& options)
    : index_(index),
      mailbox_(mailbox),
      searcher_(options.parallel, options.progressive),
      filter_(options.filter),
      sort_(options.sort),
      initials_(options.initials) {}

uint64_t Session::EntryCount() const {
  const EntryReadView hold(index_.entries);
  return hold.entries().size();
}

Outcome Session::OnKey(Key key) {
  const uint32_t c = key.code;
  if (key.function) {
    switch (c) {
      case KEY_UP:
        Move(-1);
        return Outcome::Continue;
      case KEY_DOWN:
        Move(1);
        return Outcome::Continue;
      case KEY_PPAGE:
        Move(-int64_t(pageRows_));
        return Outcome::Continue;
      case KEY_NPAGE:
        Move(int64_t(pageRows_));
        return Outcome::Continue;
      case KEY_HOME:
        if (listFocus_) {
          MoveTo(0);
        } else {
          line_.Home();
        }
        return Outcome::Continue;
      case KEY_END:
        if (listFocus_) {
          MoveTo(rowCount_ == 0 ? 0 : size_t(rowCount_ - 1));
        } else {
          line_.End();
        }
        return Outcome::Continue;
      case KEY_LEFT:
        listFocus_ = false;
        line_.Left();
        return Outcome::Continue;
      case KEY_RIGHT:
        listFocus_ = false;
        line_.Right();
        return Outcome::Continue;
      case KEY_BACKSPACE:
        listFocus_ = false;
        searchDue_ |= line_.Backspace();
        return Outcome::Continue;
      case KEY_DC:
        listFocus_ = false;
        searchDue_ |= line_.DeleteForward();
        return Outcome::Continue;
      case KEY_ENTER:
        return SelectedEntry() ? Outcome::Chosen : Outcome::Continue;
      default:
        break;
    }
    if (c == uint32_t(KEY_F(2))) {
      filter_.category = TypeCategory((int(filter_.category) + 1) % kTypeCategoryCount);
      searchDue_ = true;
    } else if (c == uint32_t(KEY_F(3))) {
      sort_.sortColumn = (sort_.sortColumn + 1) % kColumnCount;
      Resort();
    } else if (c == uint32_t(KEY_F(4))) {
      sort_.sortDescending = !sort_.sortDescending;
      Resort();
    }
    return Outcome::Continue;
  }
  switch (c) {
    case Ctrl('C'):
      return Outcome::Interrupted;
    case 27:  // Esc
      return Outcome::Cancelled;
    case '\r':
    case '\n':
      return SelectedEntry() ? Outcome::Chosen : Outcome::Continue;
    case Ctrl('T'):
      return OnKey({true, uint32_t(KEY_F(2))});
    case Ctrl('S'):
      return OnKey({true, uint32_t(KEY_F(3))});
    case Ctrl('R'):
      return OnKey({true, uint32_t(KEY_F(4))});
    case Ctrl('N'):
      return OnKey({true, uint32_t(KEY_DOWN)});
    case Ctrl('P'):
      return OnKey({true, uint32_t(KEY_UP)});
    case Ctrl('A'):
      listFocus_ = false;
      line_.Home();
      return Outcome::Continue;
    case Ctrl('E'):
      listFocus_ = false;
      line_.End();
      return Outcome::Continue;
    case 0x7F:
    case Ctrl('H'):
      return OnKey({true, uint32_t(KEY_BACKSPACE)});
    case Ctrl('U'):
      listFocus_ = false;
      searchDue_ |= line_.Clear();
      return Outcome::Continue;
    case Ctrl('W'):
      listFocus_ = false;
      searchDue_ |= line_.DeleteWordBefore();
      return Outcome::Continue;
    default:
      if (line_.Insert(char32_t(c))) {
        listFocus_ = false;
        searchDue_ = true;
      }
      return Outcome::Continue;
  }
}

void Session::SearchIfDue() {
  if (searchDue_) Research();
}

void Session::Research() {
  searchDue_ = false;
  searchFailed_ = false;
  ++searchNumber_;
  searchedEntries_ = EntryCount();
  const std::u16string text = line_.Utf16();
  if (searchedEntries_ == 0 || text.empty()) {
    // No search: every entry that passes the filter, as the window lists it.
    results_.Clear();
    searchInFlight_ = false;
    if (searchedEntries_ != 0 && AppendAllPassing(results_, index_.entries, filter_) != 0)
      SortResults(results_, sort_, index_.nameIndex);
    rowCount_ = results_.Count();
    selected_ = top_ = 0;
    return;
  }
  searchInFlight_ = true;
  searcher_.SetNameIndex(&index_.nameIndex);
  Mailbox* mailbox = &mailbox_;
  const uint64_t number = searchNumber_;
  searcher_.StartSearch(ParseQuery(text, initials_), &results_, nullptr,
                        [mailbox, number](uint64_t count) { mailbox->SearchDone(number, count); });
}

void Session::OnSearchDone(uint64_t number, uint64_t count) {
  if (number != searchNumber_ || !searchInFlight_) return;  // overtaken
  searchInFlight_ = false;
  selected_ = top_ = 0;
  if (count == kSearchFailed) {
    searchFailed_ = true;
    results_.Clear();
  } else {
    // Under "all" the filter keeps every named entry, and a search finds no
    // other: a pass over every result saved on the keystroke that finds most.
    if (filter_.hasDriveChecks || (filter_.category != TypeCategory::All &&
                                   filter_.category != TypeCategory::NoSelection))
      FilterResults(results_, index_.entries, filter_);
    SortResults(results_, sort_, index_.nameIndex);
  }
  rowCount_ = results_.Count();
}

void Session::OnReports(const Reports& reports) {
  if (reports.searchDone) OnSearchDone(reports.searchDone->number, reports.searchDone->count);
  if (reports.progress) progress_ = reports.progress;
  // A drive done is searchable: the list shows what the line finds there too.
  if (!reports.drivesDone.empty() || reports.runComplete) {
    if (EntryCount() != searchedEntries_) searchDue_ = true;
    progress_.reset();
  }
  if (reports.runComplete) indexing_ = false;
}

void Session::Resort() {
  selected_ = top_ = 0;
  // A search on its way is sorted the new way when it arrives.
  if (searchInFlight_ || rowCount_ == 0) return;
  SortResults(results_, sort_, index_.nameIndex);
}

void Session::Move(int64_t delta) {
  listFocus_ = true;
  if (rowCount_ == 0) return;
  const int64_t last = int64_t(rowCount_) - 1;
  MoveTo(size_t(std::clamp(int64_t(selected_) + delta, int64_t(0), last)));
}

void Session::MoveTo(size_t row) {
  listFocus_ = true;
  selected_ = rowCount_ == 0 ? 0 : std::min<size_t>(row, size_t(rowCount_ - 1));
  SetPageRows(pageRows_);
}

void Session::SetPageRows(size_t rows) {
  pageRows_ = std::max<size_t>(rows, 1);
  if (selected_ < top_) top_ = selected_;
  if (selected_ >= top_ + pageRows_) top_ = selected_ - pageRows_ + 1;
}

const std::vector<uint32_t>& Session::VisibleRows() {
  if (searchInFlight_) return visible_;
  visible_.clear();
  for (size_t row = top_; row < rowCount_ && row < top_ + pageRows_; ++row) {
    const uint32_t n = results_.At(row);
    if (n == kNoEntry) break;
    visible_.push_back(n);
  }
  return visible_;
}

std::optional<uint32_t> Session::SelectedEntry() {
  const std::vector<uint32_t>& rows = VisibleRows();
  if (selected_ < top_ || selected_ - top_ >= rows.size()) return std::nullopt;
  return rows[selected_ - top_];
}

}  // namespace zw::cli::browse
