// journal FILE [--drive LETTER]: reads a saved $UsnJrnl:$J stream through the
// same open, read and record path the live monitor uses, and prints one line
// per change: kind, drive, file and parent reference (16 hex digits),
// directory flag, name, separated by tabs.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "live/usn_monitor.h"
#include "platform/last_error.h"
#include "platform/usn_journal_scripted.h"

namespace zw::cli {

namespace {

struct JournalOptions {
  std::string file;
  std::string letter;  // empty: the one drive given, else C
};

void WriteHex16(Output& out, uint64_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  char text[16];
  for (int i = 15; i >= 0; --i, value >>= 4) text[i] = kDigits[value & 0xF];
  out.Write(std::string_view(text, 16));
}

int RunJournal(CliContext& context, const JournalOptions& o) {
  if (o.file.empty()) {
    PrintError("journal: no FILE given (see zanderwyn journal --help)");
    return kExitBadInput;
  }
  char16_t letter = u'C';
  if (context.drives.size() == 1) letter = context.drives.front().letter;
  if (!o.letter.empty()) ParseDriveLetter(o.letter, letter);  // checked by the parser

  std::string error;
  platform::SavedStreamStats streamStats;
  auto journal = platform::LoadSavedUsnStream(o.file, /*replay=*/true, error, &streamStats);
  if (!journal) {
    PrintError("journal: " + error);
    return kExitBadInput;
  }

  UsnMonitor monitor([journal](char16_t) { return platform::ScriptedJournal::Open(journal); });
  Output& out = context.out;
  monitor.SetChangeHandler([&out](const UsnChange& c) {
    out.Write(std::string_view(UsnChangeKindName(c.kind)));
    out.Write('\t');
    out.Write(std::u16string_view(&c.drive, 1));
    out.Write('\t');
    WriteHex16(out, c.fileRef);
    out.Write('\t');
    WriteHex16(out, c.parentRef);
    out.Write('\t');
    out.Write(c.isDirectory ? '1' : '0');
    out.Write('\t');
    out.WriteShown(c.name);
    out.Write('\n');
  });

  int64_t startUsn = 0;
  platform::UsnJournalDevice* device = monitor.OpenUsnJournal(letter, startUsn);
  if (device == nullptr) {
    PrintError("journal: cannot open the journal (" +
               platform::ErrorMessage(platform::LastError()) + ")");
    return kExitFailure;
  }
  platform::UsnJournalInfo info;
  if (!device->Query(info)) {
    PrintError("journal: cannot query the journal (" +
               platform::ErrorMessage(platform::LastError()) + ")");
    return kExitFailure;
  }
  std::vector<uint8_t> buffer(UsnMonitor::kBufferSize, 0);
  // Until a read comes back empty: the whole stream, as the monitor would
  // have seen it arrive.
  while (!out.Broken() && monitor.ReadOnce(letter, *device, startUsn, info.journalId, buffer) ==
                              UsnMonitor::ReadResult::Records) {
  }

  if (context.stats) {
    const UsnMonitorStats& s = monitor.Stats();
    PrintStat("stream records", streamStats.records);
    PrintStat("records", s.records.load());
    PrintStat("changes", s.changes.load());
    PrintStat("damaged records", s.damagedRecords.load() + streamStats.damaged);
    PrintStat("other record versions", streamStats.otherVersions);
    PrintStat("reads", s.reads.load());
  }
  return kExitOk;
}

}  // namespace

Command AddJournalCommand(CLI::App& parser) {
  CLI::App* journal = parser.add_subcommand(
      "journal", "print the changes a saved change-journal stream ($UsnJrnl:$J) yields");
  auto o = std::make_shared<JournalOptions>();
  journal->add_option("FILE", o->file, "the saved stream")->type_name("");
  // Its own --drive names the letter the changes are for; it binds nothing.
  journal
      ->add_option("--drive", o->letter,
                   "the drive the changes are for (default: the one --drive, else C)")
      ->type_name("LETTER")
      ->check(CLI::Validator(
          [](std::string& value) -> std::string {
            char16_t letter = 0;
            return ParseDriveLetter(value, letter) ? "" : "needs a drive letter, such as --drive D";
          },
          "", ""));
  return {journal, [o](CliContext& context) { return RunJournal(context, *o); }};
}

}  // namespace zw::cli
