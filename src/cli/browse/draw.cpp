#include "cli/browse/draw.h"

#include <curses.h>

#include <algorithm>

#include "base/utf.h"
#include "cli/browse/row_layout.h"
#include "cli/browse/session.h"
#include "cli/browse/text_width.h"
#include "cli/cli_context.h"
#include "cli/cli_output.h"
#include "cli/search_names.h"
#include "cli/volume_problem.h"
#include "engine/file_index.h"
#include "view/cell_text.h"
#include "view/shown_text.h"
#include "view/size_text.h"

namespace zw::cli::browse {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char32_t), "curses takes code points as wchar_t");

constexpr std::u32string_view kPrompt = U"> ";
constexpr std::u32string_view kKeysHelp =
    U"F2 type  F3 sort  F4 reverse  Enter print path  Esc quit";

// `text` at (y, x), cut to `width` columns; right-aligned when `right`.
void Put(WINDOW* w, int y, int x, int width, std::u32string_view text, bool right = false) {
  if (width <= 0) return;
  const std::u32string cut = FitText(text, width);
  if (right) x += width - TextWidth(cut);
  mvwaddnwstr(w, y, x, reinterpret_cast<const wchar_t*>(cut.data()), int(cut.size()));
}

std::u32string FromAscii(std::string_view text) {
  return ToUtf32(FromUtf8(text));
}

// The four cells of one row, as `search --long` writes them.
struct RowTexts {
  std::u16string name, path, scratch;
  std::u32string cells[kColumnCount];

  void Fill(EntryRef e) {
    for (std::u32string& c : cells) c.clear();
    e.name().AssignTo(name);
    AppendForTerminal(cells[kColumnName], view::Shown(name, scratch));
    e.PathInto(path);
    AppendForTerminal(cells[kColumnFolder], view::Shown(view::FolderOf(path), scratch));
    if (e.isFolder()) {
      cells[kColumnSize] = U"<DIR>";
    } else {
      char16_t size[view::kSizeTextCapacity];
      const size_t n = view::FormatSize(e.size(), size, std::size(size));
      AppendUtf32(cells[kColumnSize], {size, n});
    }
    cells[kColumnDate] = FromAscii(FormatLocalTime(e.modificationTime()));
  }
};

void DrawSearchLine(WINDOW* w, const Session& session, int width, int& cursorX) {
  wmove(w, 0, 0);
  wclrtoeol(w);
  wattron(w, A_BOLD);
  Put(w, 0, 0, width, kPrompt);
  wattroff(w, A_BOLD);
  const int room = width - TextWidth(kPrompt);
  const std::u32string& text = session.Line().Text();
  const LineSlice slice = SliceAroundCursor(text, session.Line().Cursor(), room);
  Put(w, 0, TextWidth(kPrompt), room,
      std::u32string_view(text).substr(slice.first, slice.last - slice.first));
  cursorX = std::min(width - 1, TextWidth(kPrompt) + slice.cursorColumn);
}

void DrawHeads(WINDOW* w, const RowLayout& layout, int y) {
  static constexpr std::u32string_view kHeads[kColumnCount] = {U"Name", U"Folder", U"Size",
                                                               U"Modified"};
  wmove(w, y, 0);
  wclrtoeol(w);
  wattron(w, A_BOLD | A_UNDERLINE);
  for (uint32_t c = 0; c < kColumnCount; ++c) {
    const ColumnSpan& span = layout.columns[c];
    Put(w, y, span.x, span.width, kHeads[c], c == kColumnSize);
  }
  wattroff(w, A_BOLD | A_UNDERLINE);
}

void DrawRows(WINDOW* w, Session& session, const FileIndex& index, const RowLayout& layout,
              int firstY, int rows, int width) {
  session.SetPageRows(size_t(rows));
  const std::vector<uint32_t> shown = session.VisibleRows();  // before the entries' lock
  thread_local RowTexts texts;
  const EntryReadView hold(index.entries);
  for (int i = 0; i < rows; ++i) {
    const int y = firstY + i;
    wmove(w, y, 0);
    wclrtoeol(w);
    if (size_t(i) >= shown.size()) continue;
    const std::optional<EntryRef> e = LookupEntry(hold, shown[size_t(i)]);
    if (!e) continue;
    texts.Fill(*e);
    const bool selected = session.Top() + size_t(i) == session.Selected();
    if (selected) {
      wattron(w, A_REVERSE);
      mvwhline(w, y, 0, ' ', width);
    }
    for (uint32_t c = 0; c < kColumnCount; ++c) {
      const ColumnSpan& span = layout.columns[c];
      Put(w, y, span.x, span.width, texts.cells[c], c == kColumnSize);
    }
    if (selected) wattroff(w, A_REVERSE);
  }
}

}  // namespace

std::string StatusText(const Session& session) {
  std::string text;
  if (session.SearchFailed()) {
    text = "search failed: out of memory";
  } else {
    text = GroupedNumber(session.RowCount()) + (session.RowCount() == 1 ? " result" : " results");
    if (session.Searching()) text += " (searching...)";
  }
  const int category = int(session.Filter().category);
  text += "  type: ";
  text += category >= 0 && size_t(category) < TypeNames().size() ? TypeNames()[size_t(category)]
                                                                 : "all";
  const SortSpec& sort = session.Sort();
  text += "  sort: ";
  text += SortColumnNames()[std::min<size_t>(sort.sortColumn, SortColumnNames().size() - 1)];
  if (sort.sortDescending) text += " desc";
  if (const auto& p = session.Progress()) {
    text += "  indexing " + DriveName(p->drive) + " " + std::to_string(p->done) + " of " +
            std::to_string(p->expected) + " records";
  } else if (session.Indexing()) {
    text += "  indexing...";
  }
  if (!session.Problems().empty()) text += "  " + session.Problems().front();
  return text;
}

void Draw(WINDOW* w, Session& session, const FileIndex& index) {
  int height = 0;
  int width = 0;
  getmaxyx(w, height, width);
  if (height <= 0 || width <= 0) return;
  int cursorX = 0;
  DrawSearchLine(w, session, width, cursorX);
  const RowLayout layout = FitColumns(width);
  if (height >= 3) {
    DrawHeads(w, layout, 1);
    DrawRows(w, session, index, layout, 2, std::max(0, height - 3), width);
  }
  if (height >= 2) {
    const int y = height - 1;
    wattron(w, A_REVERSE);
    mvwhline(w, y, 0, ' ', width);
    const std::u32string status = FromAscii(StatusText(session));
    Put(w, y, 0, width, status);
    const int helpX = width - TextWidth(kKeysHelp);
    if (helpX >= TextWidth(status) + 4) Put(w, y, helpX, TextWidth(kKeysHelp), kKeysHelp);
    wattroff(w, A_REVERSE);
  }
  wmove(w, 0, cursorX);
  wnoutrefresh(w);
  doupdate();
}

}  // namespace zw::cli::browse
