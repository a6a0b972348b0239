// browse: search as you type on a terminal. The volumes are indexed once,
// each drive searchable as soon as it is done, while the view is already up;
// Enter prints the chosen entry's path on standard output, which stays free
// for it because the view is drawn on the controlling terminal.
#include <CLI/CLI.hpp>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cli/browse/chosen_path.h"
#include "cli/browse/held_stderr.h"
#include "cli/browse/loop.h"
#include "cli/browse/session.h"
#include "cli/browse/terminal.h"
#include "cli/browse/wakeup.h"
#include "cli/commands.h"
#include "cli/index_volumes.h"
#include "engine/file_index.h"
#include "platform/drive_table.h"
#include "platform/process_memory.h"
#include "settings/settings.h"

namespace zw::cli {

namespace {

using browse::Outcome;

constexpr const char* kKeys =
    "Type to search, as search TEXT does; the list follows each key.\n"
    "  Up/Down, Page Up/Down       move the selection (then Home/End too)\n"
    "  Left/Right, Home/End        move the cursor in the search line\n"
    "  Backspace, Ctrl+U, Ctrl+W   delete a character, the line, a word\n"
    "  F2 or Ctrl+T                the next type filter (all, folders, files, ...)\n"
    "  F3 or Ctrl+S                the next sort column (name, path, size, date)\n"
    "  F4 or Ctrl+R                reverse the order\n"
    "  Enter                       print the selected entry's path and leave\n"
    "  Esc, Ctrl+C                 leave and print nothing\n"
    "The path is printed as list prints it, or under the drive's mount point\n"
    "when it is mounted here. Exit status: 0 after Enter, 1 after Esc, 130 after\n"
    "Ctrl+C, 2 without a terminal (use search in scripts).";

// The chosen entry's line, read under the entries' lock.
std::string ChosenLine(const FileIndex& index, uint32_t entry) {
  const EntryReadView hold(index.entries);
  const std::optional<EntryRef> e = LookupEntry(hold, entry);
  if (!e) return {};
  std::u16string path;
  e->PathInto(path);
  std::string mountPoint;
  if (const auto binding = platform::FindDriveBinding(e->drive())) mountPoint = binding->mountPoint;
  return browse::ChosenPathLine(path, e->pathCut(), mountPoint);
}

int RunBrowse(CliContext& context) {
  if (const std::string problem = browse::TerminalProblem(); !problem.empty()) {
    PrintError("browse: " + problem +
               "; it needs one to type in (in scripts, use zanderwyn search TEXT)");
    return kExitBadInput;
  }
  IndexingFigures figures;
  if (context.stats) figures.residentBefore = platform::ResidentBytes();
  if (!ChooseDrives(context)) return kExitBadInput;

  browse::Wakeup wakeup;
  browse::Mailbox mailbox(wakeup);
  DriveResults results;
  FileIndex index;
  std::vector<std::string> problems;
  bool reported = false;
  auto report = [&] {
    if (reported) return;
    RequestStop(index);  // nothing when the run has ended
    JoinIndexThread(index);
    problems = DriveProblems(context, results, figures);
    reported = true;
  };

  Outcome outcome = Outcome::Cancelled;
  std::optional<uint32_t> chosen;
  {
    std::string error;
    browse::HeldStderr heldStderr;
    std::unique_ptr<browse::Terminal> terminal = browse::Terminal::Open(wakeup, error);
    if (!terminal) {
      heldStderr.Release();
      PrintError("browse: " + error);
      return kExitBadInput;
    }
    IndexingCallbacks callbacks;
    callbacks.progress = [&mailbox](char16_t drive, uint64_t done, uint64_t expected) {
      mailbox.Progress(drive, done, expected);
    };
    callbacks.driveDone = [&mailbox](char16_t drive, uint64_t) { mailbox.DriveDone(drive); };
    callbacks.complete = [&mailbox](bool, uint64_t) { mailbox.RunComplete(); };
    StartDriveIndexing(context, index, results, std::move(callbacks), /*nameIndex=*/true);

    browse::SessionOptions options;
    options.sort =
        SortSpec{kDefaultSortColumn, kDefaultSortDescending != 0, kDefaultFoldersFirst != 0};
    options.initials = kDefaultInitialConsonantSearch != 0;
    options.parallel = kDefaultParallelSearch != 0;
    options.progressive = kDefaultProgressiveSearch != 0;
    browse::Session session(index, mailbox, options);
    browse::Loop loop(*terminal, session, mailbox, wakeup, index, [&] {
      report();
      session.SetProblems(problems);
      // Nothing to search at all: leave and say why rather than show an
      // empty list.
      return !(EntryReadView(index.entries).entries().empty() && !problems.empty());
    });
    outcome = loop.Run();
    if (outcome == Outcome::Chosen) chosen = session.SelectedEntry();
    terminal.reset();  // the screen is given back before anything is printed
    report();          // waits for a name index build the stop cannot cut short
    heldStderr.Release();
  }
  for (const std::string& problem : problems) PrintError(problem);
  if (context.stats) {
    figures.entries = EntryReadView(index.entries).entries().size();
    PrintIndexingStats(context, figures, index);
  }
  switch (outcome) {
    case Outcome::Chosen:
      if (chosen) context.out.Write(ChosenLine(index, *chosen));
      return kExitOk;
    case Outcome::Interrupted:
      return kExitInterrupted;
    case Outcome::NothingToSearch:
      return kExitBadInput;
    default:
      return kExitFailure;
  }
}

}  // namespace

Command AddBrowseCommand(CLI::App& parser) {
  CLI::App* browse =
      parser.add_subcommand("browse",
                            "search as you type on the terminal; Enter prints the chosen path\n"
                            "(the default command on a terminal)");
  browse->footer(kKeys);
  return {browse, [](CliContext& context) { return RunBrowse(context); }};
}

}  // namespace zw::cli
