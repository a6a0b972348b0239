// search TEXT...: the window's search pipeline on the command line. Each text
// is parsed, searched by the Searcher on its worker, filtered by type and
// sorted exactly as the window does when the search is done, then printed.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/utf.h"
#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/index_volumes.h"
#include "cli/search_names.h"
#include "engine/file_index.h"
#include "platform/process_memory.h"
#include "search/name_index.h"
#include "search/query.h"
#include "search/result_set.h"
#include "search/searcher.h"
#include "search/type_filter.h"
#include "settings/settings.h"
#include "volumes/drive_info.h"

namespace zw::cli {

namespace {

constexpr const char* kQueryLanguage =
    "TEXT is matched against the names of files and folders (not their folders),\n"
    "as in the window's search box:\n"
    "  report     names that contain report      (report.txt, Old Reports)\n"
    "  rep*       names that begin with rep      (Repairs, rep.txt)\n"
    "  *port      names that end with port       (Export, report)\n"
    "  *.txt      names with the extension txt   (notes.txt, A.TXT)\n"
    "  rep*.txt   names that begin with rep and have the extension txt\n"
    "Only ASCII letters match in either case: a finds A, but é does not find É.\n"
    "Hangul matches as it is shown, whether a name was stored as syllables or as\n"
    "jamo (as a Mac writes it); with --initials 1, leading consonants alone find\n"
    "the syllables they begin: ㅂㄱㅅ finds 보고서.txt, ㅎㅇㄹ*.pdf finds 회의록.pdf.\n"
    "A * elsewhere is an ordinary character, and blanks at either end are ignored.\n"
    "\"\" lists every entry that passes --type; * alone (or only blanks) finds nothing.\n"
    "Several TEXTs run one search each, in the order given; each one's results\n"
    "follow a line \"# TEXT\" when standard output is a terminal (see --headers).\n"
    "Entries that sort alike follow in path order, then by drive; --desc reverses\n"
    "the whole order.";

struct SearchOptions {
  std::vector<std::string> texts;
  // The "# TEXT" line before each search's rows: unset, only on a terminal.
  std::optional<bool> headers;
  TypeFilterState filter;
  SortSpec sort{kDefaultSortColumn, kDefaultSortDescending != 0, kDefaultFoldersFirst != 0};
  bool longFormat = false;
  bool countOnly = false;
  bool fastSearch = kDefaultFastSearch != 0;
  bool parallel = kDefaultParallelSearch != 0;
  bool progressive = kDefaultProgressiveSearch != 0;
  bool initials = kDefaultInitialConsonantSearch != 0;
};

// The four columns of the result list, or the full path alone.
void WriteRow(Output& out, EntryRef e, std::u16string& path, bool longFormat) {
  e.PathInto(path);
  if (longFormat) {
    WriteEntryColumns(out, e, path, /*exactSize=*/false);
  } else {
    out.WriteShown(path);
    out.Write('\n');
  }
}

// Waits for the done callback of one search.
struct Completion {
  std::mutex mutex;
  std::condition_variable cv;
  bool done = false;
  uint64_t count = 0;

  SearchCallback OnDone() {
    return [this](uint64_t n) {
      std::lock_guard hold(mutex);
      done = true;
      count = n;
      cv.notify_all();
    };
  }
  uint64_t Wait() {
    std::unique_lock hold(mutex);
    cv.wait(hold, [&] { return done; });
    return count;
  }
};

uint64_t MicrosecondsSince(std::chrono::steady_clock::time_point t) {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t)
          .count());
}

int RunSearch(CliContext& context, const SearchOptions& o) {
  if (o.texts.empty()) {
    PrintError("search: no search text given (see zanderwyn search --help)");
    return kExitBadInput;
  }

  FileIndex index;
  const IndexingFigures figures = IndexDrives(context, index, /*nameIndex=*/false);
  if (context.stats) PrintIndexingStats(context, figures, index);

  // The name index the window would have after its indexing run, built once
  // with this command's own choice of n-grams.
  const auto rebuildStart = std::chrono::steady_clock::now();
  size_t indexBytes = 0;
  RebuildNameIndex(index, o.fastSearch);
  size_t count = 0;
  {
    const EntryReadView hold(index.entries);
    indexBytes = NameIndexBytes(index.nameIndex, hold);
    count = hold.entries().size();
  }
  if (context.stats) {
    PrintStat("name-index", MicrosecondsSince(rebuildStart) / 1000, "ms");
    PrintStat("name-index-bytes", count == 0 ? 0 : indexBytes / count);
    // What the entries and the name index keep, as the system counts it.
    const uint64_t resident = platform::ResidentBytes();
    PrintStat("resident-bytes-per-entry",
              count == 0 || resident < figures.residentBefore
                  ? 0
                  : (resident - figures.residentBefore + count / 2) / count);
  }

  Searcher searcher(o.parallel, o.progressive);
  ResultSet results;
  Output& out = context.out;
  const bool headers = o.headers.value_or(IsTerminal(stdout));
  for (const std::string& text : o.texts) {
    if (out.Broken()) break;
    const auto start = std::chrono::steady_clock::now();
    const std::u16string text16 = FromUtf8(text);
    uint64_t queryMicros = 0;
    if (text16.empty()) {
      // No search: every entry that passes the filter, as the window lists it.
      results.Clear();
      std::vector<uint32_t> all = AllPassing(index.entries, o.filter);
      results.Append(all);
      queryMicros = MicrosecondsSince(start);
    } else {
      Completion completion;
      searcher.SetNameIndex(&index.nameIndex);
      searcher.StartSearch(ParseQuery(text16, o.initials), &results, nullptr, completion.OnDone());
      if (completion.Wait() == kSearchFailed) {
        out.Flush();
        PrintError("search: the search for \"" + text + "\" failed: out of memory");
        searcher.StopAll();
        return kExitFailure;
      }
      queryMicros = MicrosecondsSince(start);
      FilterResults(results, index.entries, o.filter);
    }
    SortResults(results, o.sort, index.nameIndex);
    const uint64_t sortMicros = MicrosecondsSince(start) - queryMicros;

    if (o.texts.size() > 1 && headers) {
      out.Write(std::string_view("# "));
      out.Write(std::string_view(text));
      out.Write('\n');
    }
    const std::vector<uint32_t> rows = results.Snapshot();
    if (o.countOnly) {
      out.WriteNumber(rows.size());
      out.Write('\n');
    } else {
      const EntryReadView hold(index.entries);
      std::u16string path;
      for (uint32_t n : rows) {
        if (out.Broken()) break;
        if (const auto e = LookupEntry(hold, n)) WriteRow(out, *e, path, o.longFormat);
      }
    }
    out.Flush();
    if (!text16.empty() && MatchesNothing(ParseQuery(text16))) {
      PrintError("search: \"" + text +
                 "\" finds nothing: it holds only * and blanks (\"\" lists everything)");
    }
    if (context.stats) {
      PrintStat("query", queryMicros, "us");
      PrintStat("sort", sortMicros, "us");
    }
  }
  searcher.StopAll();
  return kExitOk;
}

}  // namespace

Command AddSearchCommand(CLI::App& parser) {
  CLI::App* search = parser.add_subcommand(
      "search", "find by name as the window does, filtered and sorted as it shows them");
  auto o = std::make_shared<SearchOptions>();
  search->footer(kQueryLanguage);
  search
      ->add_option("TEXT", o->texts,
                   "what to search for, as typed into the window (see below;\n"
                   "\"\": everything)")
      ->type_name("");
  search
      ->add_option_function<std::string>(
          "--type",
          [o](const std::string& v) {
            o->filter.category = ParseTypeCategory(v).value_or(TypeCategory::All);
          },
          "the type filter: all, folders, files, documents, images,\n"
          "videos, music, programs or archives (or its number, 0 to 8)")
      ->type_name("NAME")
      ->check(CLI::Validator(
          [](std::string& v) -> std::string {
            if (ParseTypeCategory(v)) return {};
            std::string names;
            for (const std::string& n : TypeNames()) names += (names.empty() ? "" : ", ") + n;
            return "takes " + names + " or a number from 0 to 8, not '" + v + "'";
          },
          "", ""));
  static const std::vector<std::string>& kColumns = SortColumnNames();
  search
      ->add_option_function<std::string>(
          "--sort",
          [o](const std::string& v) {
            o->sort.sortColumn =
                uint32_t(std::find(kColumns.begin(), kColumns.end(), v) - kColumns.begin());
          },
          "the column to sort by")
      ->type_name("name|path|size|date")
      ->check(OneOf(kColumns));
  search->add_flag("--desc", o->sort.sortDescending, "sort in descending order");
  search->add_flag_callback(
      "--no-folders-first", [o] { o->sort.foldersFirst = false; },
      "mix folders with files instead of listing them first");
  search->add_flag("--long,-l", o->longFormat, "the name, folder, size and date columns");
  search->add_flag("--count", o->countOnly, "print only the number of results");
  search->add_flag_callback(
      "--headers", [o] { o->headers = true; },
      "write the \"# TEXT\" line before each search's results even when\n"
      "standard output is not a terminal");
  search->add_flag_callback(
      "--no-headers", [o] { o->headers = false; },
      "never write the \"# TEXT\" lines, not even on a terminal");
  const std::pair<const char*, bool SearchOptions::*> switches[] = {
      {"--fast-search", &SearchOptions::fastSearch},
      {"--parallel", &SearchOptions::parallel},
      {"--progressive", &SearchOptions::progressive},
      {"--initials", &SearchOptions::initials},
  };
  for (const auto& [name, member] : switches) {
    search
        ->add_option_function<std::string>(
            name, [o, member = member](const std::string& v) { (*o).*member = v == "1"; },
            std::string(member == &SearchOptions::initials
                            ? "the window's InitialConsonantSearch"
                            : "the window's setting of the same name") +
                " (default " + ((*o).*member ? "1" : "0") + ")")
        ->type_name("0|1")
        ->check(OneOf({"0", "1"}));
  }
  return {search, [o](CliContext& context) { return RunSearch(context, *o); }};
}

}  // namespace zw::cli
