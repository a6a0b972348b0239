// journal FILE [--drive LETTER]: reads a saved $UsnJrnl:$J stream through the
// same open, read and record path the live monitor uses, and prints one line
// per change: kind, drive, file and parent reference (16 hex digits),
// directory flag, name, separated by tabs.
#include <cctype>
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "live/usn_monitor.h"
#include "platform/last_error.h"
#include "platform/usn_journal_scripted.h"

namespace zw::cli {

namespace {

constexpr const char* kUsage = "usage: zanderwyn [options] journal FILE [--drive LETTER]";

void WriteHex16(Output& out, uint64_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  char text[16];
  for (int i = 15; i >= 0; --i, value >>= 4) text[i] = kDigits[value & 0xF];
  out.Write(std::string_view(text, 16));
}

bool ParseLetter(std::string_view value, char16_t& letter) {
  if (value.size() == 2 && value[1] == ':') value.remove_suffix(1);
  if (value.size() != 1 || !std::isalpha(static_cast<unsigned char>(value[0]))) return false;
  letter = char16_t(std::toupper(static_cast<unsigned char>(value[0])));
  return true;
}

}  // namespace

int RunJournal(CliContext& context, const CommandArgs& args) {
  std::string file;
  char16_t letter = u'C';
  if (context.drives.size() == 1) letter = context.drives.front().letter;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--drive" || arg.rfind("--drive=", 0) == 0) {
      const std::string value =
          arg == "--drive" ? (i + 1 < args.size() ? args[++i] : std::string()) : arg.substr(8);
      if (!ParseLetter(value, letter)) {
        PrintError("journal: --drive needs a drive letter, such as --drive D (" +
                   std::string(kUsage) + ")");
        return kExitBadInput;
      }
    } else if (!arg.empty() && arg[0] == '-') {
      PrintError("journal: unknown option '" + arg + "' (" + kUsage + ")");
      return kExitBadInput;
    } else if (file.empty()) {
      file = arg;
    } else {
      PrintError("journal: only one FILE may be given (" + std::string(kUsage) + ")");
      return kExitBadInput;
    }
  }
  if (file.empty()) {
    PrintError(std::string("journal: no FILE given (") + kUsage + ")");
    return kExitBadInput;
  }

  std::string error;
  platform::SavedStreamStats streamStats;
  auto journal = platform::LoadSavedUsnStream(file, /*replay=*/true, error, &streamStats);
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
    out.Write(c.name);
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
  device->Query(info);
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

}  // namespace zw::cli
