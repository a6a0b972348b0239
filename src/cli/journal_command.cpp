// journal [FILE] [--drive LETTER]: the changes a change journal yields, read
// from a saved $UsnJrnl:$J stream or from a bound volume's own
// $Extend\$UsnJrnl:$J, through the same read and record path the live
// monitor uses. After a header line, one line per change: kind, drive, file
// and parent reference (16 hex digits), folder flag, name, USN and time (UTC,
// ISO 8601), separated by tabs.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>

#include "base/utf.h"
#include "cli/commands.h"
#include "cli/volume_problem.h"
#include "live/usn_monitor.h"
#include "ntfs/boot_sector.h"
#include "ntfs/named_stream.h"
#include "ntfs/volume_reader.h"
#include "platform/debug_output.h"
#include "platform/last_error.h"
#include "platform/partition_table.h"
#include "platform/usn_journal_scripted.h"

namespace zw::cli {

namespace {

struct JournalOptions {
  std::string file;
  std::string letter;  // empty: the one drive bound (C without a FILE and none bound)
};

constexpr const char* kHeader = "Change\tDrive\tFile\tParent\tFolder\tName\tUSN\tTime (UTC)\n";

void WriteHex16(Output& out, uint64_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  char text[16];
  for (int i = 15; i >= 0; --i, value >>= 4) text[i] = kDigits[value & 0xF];
  out.Write(std::string_view(text, 16));
}

// "2015-10-12T13:22:33.1234567Z": every digit the journal keeps. A negative
// time (damage) is "-".
std::string IsoTime(int64_t fileTime) {
  if (fileTime < 0) return "-";
  constexpr int64_t kTicksPerSecond = 10'000'000;
  constexpr int64_t kDaysFrom1601To1970 = 134'774;
  const int64_t seconds = fileTime / kTicksPerSecond;
  const int64_t days = seconds / 86'400 - kDaysFrom1601To1970;
  const int64_t second = seconds % 86'400;
  // Days since 1970 to a civil date (proleptic Gregorian).
  const int64_t z = days + 719'468;
  const int64_t era = (z >= 0 ? z : z - 146'096) / 146'097;
  const int64_t dayOfEra = z - era * 146'097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t mp = (5 * dayOfYear + 2) / 153;
  const int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  char text[48];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%07lldZ",
                static_cast<long long>(year), static_cast<long long>(month),
                static_cast<long long>(day), static_cast<long long>(second / 3600),
                static_cast<long long>(second / 60 % 60), static_cast<long long>(second % 60),
                static_cast<long long>(fileTime % kTicksPerSecond));
  return text;
}

void Debug(const std::string& line) {
  platform::OutputDebugLine(FromUtf8("journal: " + line + "\n"));
}

// The number of the first partition (of at most 16) that holds an NTFS
// volume, or 0.
int FirstNtfsPartition(std::ifstream& in) {
  in.clear();
  in.seekg(0, std::ios::end);
  const std::streamoff end = in.tellg();
  if (end <= 0) return 0;
  const platform::DiskReader read = [&in](uint64_t offset, void* buffer, size_t length) {
    in.clear();
    in.seekg(std::streamoff(offset));
    try {
      in.read(static_cast<char*>(buffer), std::streamsize(length));
    } catch (const std::ios_base::failure&) {
      in.setstate(std::ios::badbit);
    }
    if (!in || size_t(in.gcount()) != length) {
      platform::SetLastError(platform::error::kIoDevice);
      return false;
    }
    return true;
  };
  std::vector<uint8_t> boot(ntfs::kBootSectorSize);
  for (int number = 1; number <= 16; ++number) {
    platform::PartitionExtent extent;
    if (!platform::FindPartition(read, uint64_t(end), 0, number, extent)) {
      if (platform::LastError() == platform::error::kNotFound) continue;
      return 0;  // no table, or one that cannot be read
    }
    ntfs::BootSector geometry;
    if (read(extent.offset, boot.data(), boot.size()) &&
        ntfs::ParseBootSector(boot.data(), boot.size(), geometry) == ntfs::BootSectorStatus::Ok) {
      return number;
    }
  }
  return 0;
}

// What a file that is no saved stream seems to be, from its first bytes; empty
// when nothing is recognised.
std::string RecogniseImage(const std::string& path) {
  std::vector<char> head(1024, 0);
  std::ifstream in(std::filesystem::path(
                       std::u8string(reinterpret_cast<const char8_t*>(path.data()), path.size())),
                   std::ios::binary);
  try {
    in.read(head.data(), std::streamsize(head.size()));
  } catch (const std::ios_base::failure&) {
    return {};
  }
  const auto byte = [&](size_t i) { return uint8_t(head[i]); };
  ntfs::BootSector geometry;
  if (ntfs::ParseBootSector(reinterpret_cast<const uint8_t*>(head.data()), ntfs::kBootSectorSize,
                            geometry) != ntfs::BootSectorStatus::NotNtfs) {
    return "is an NTFS volume, not a saved journal stream; to read its journal: zanderwyn "
           "--drive D=" +
           path + " journal";
  }
  bool partitioned = std::string_view(head.data() + 512, 8) == "EFI PART";
  // An MBR: the signature, and an entry with a type that is not "empty".
  if (byte(510) == 0x55 && byte(511) == 0xAA) {
    for (size_t entry = 446; entry < 510; entry += 16) {
      if ((byte(entry) == 0 || byte(entry) == 0x80) && byte(entry + 4) != 0) partitioned = true;
    }
  }
  if (!partitioned) return {};
  const int partition = FirstNtfsPartition(in);
  if (partition == 0) {
    return "has a partition table (a whole disk), not a saved journal stream; to read the "
           "journal of partition N: zanderwyn --drive D=" +
           path + ":N journal";
  }
  return "has a partition table (a whole disk), not a saved journal stream; partition " +
         std::to_string(partition) + " is NTFS, to read its journal: zanderwyn --drive D=" + path +
         ":" + std::to_string(partition) + " journal";
}

// The stream saved in `path`, checked to be one; null after saying why.
std::shared_ptr<platform::ScriptedJournal> LoadStreamFile(const std::string& path,
                                                          platform::SavedStreamStats& stats) {
  const std::filesystem::path fsPath(
      std::u8string(reinterpret_cast<const char8_t*>(path.data()), path.size()));
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(fsPath, ec);
  if (status.type() == std::filesystem::file_type::not_found) {
    PrintError("journal: cannot open " + path + ": no such file");
    return nullptr;
  }
  if (ec) {
    PrintError("journal: cannot open " + path + ": " + ec.message());
    return nullptr;
  }
  std::string problem;
  switch (status.type()) {
    case std::filesystem::file_type::directory:
      problem = "is a directory";
      break;
    case std::filesystem::file_type::regular:
    case std::filesystem::file_type::fifo:  // a pipe from an extracting tool
      break;
    case std::filesystem::file_type::block:
      problem =
          "is a device, not a saved journal stream; to read the journal of the volume on "
          "it: zanderwyn --drive D=" +
          path + " journal";
      break;
    case std::filesystem::file_type::character:
      problem = "is a character device, not a saved journal stream";
      break;
    default:
      problem = "is not a file";
      break;
  }
  if (problem.empty() && status.type() == std::filesystem::file_type::regular) {
    const uintmax_t size = std::filesystem::file_size(fsPath, ec);
    if (!ec && size == 0) problem = "is empty";
    // Volumes and disks are recognised before they are read whole.
    if (problem.empty()) problem = RecogniseImage(path);
  }
  if (!problem.empty()) {
    PrintError("journal: " + path + " " + problem);
    return nullptr;
  }
  std::string error;
  auto journal = platform::LoadSavedUsnStream(path, /*replay=*/true, error, &stats);
  if (!journal) {
    PrintError("journal: " + error);
    return nullptr;
  }
  Debug(path + ": " + std::to_string(stats.records) + " records, " +
        std::to_string(stats.otherVersions) + " of other versions, " +
        std::to_string(stats.recordBytes) + " bytes in records, " +
        std::to_string(stats.zeroBytes) + " zero bytes, " + std::to_string(stats.damaged * 8) +
        " bytes of neither");
  // A journal holds records and zeros; a little damage is skipped, but a
  // stream that is mostly something else is not a journal at all.
  if (stats.records + stats.otherVersions == 0 || stats.damaged * 8 > stats.recordBytes) {
    PrintError("journal: " + path +
               (stats.damaged == 0
                    ? " holds only zeros, no change-journal records"
                    : " holds no change-journal records (" + GroupedNumber(stats.damaged * 8) +
                          " bytes are neither records nor zeros)"));
    return nullptr;
  }
  return journal;
}

// The $J stream of the volume bound to `drive`, read raw; null after saying
// why. Sets `incomplete` when parts of it could not be read.
std::shared_ptr<platform::ScriptedJournal> LoadVolumeJournal(const DriveArg& drive,
                                                             platform::SavedStreamStats& stats,
                                                             bool& incomplete) {
  const std::string label = DriveLabel(drive);
  VolumeReader reader;
  if (!reader.Open(drive.letter)) {
    const uint32_t error = platform::LastError();
    Debug(DriveName(drive.letter) + " open failed, error " + std::to_string(error) + ": " +
          platform::ErrorMessage(error));
    PrintError("journal: " + label + ": " +
               OpenFailureReason(drive.letter, reader.openStatus, error, false));
    return nullptr;
  }
  if (!reader.LoadMftLayout()) {
    PrintError("journal: " + label + ": MFT cannot be located");
    return nullptr;
  }
  uint64_t record = 0;
  if (!ntfs::FindChildRecord(reader, ntfs::kExtendRecord, u"$UsnJrnl", record)) {
    PrintError("journal: " + label + " has no change journal ($Extend\\$UsnJrnl is missing)");
    return nullptr;
  }
  const ntfs::StreamRead stream = ntfs::ReadNamedStream(reader, record, u"$J");
  Debug(DriveName(drive.letter) + " $Extend\\$UsnJrnl is record " + std::to_string(record) +
        "; $J: " + std::to_string(stream.size) + " bytes, " + std::to_string(stream.sparseBytes) +
        " sparse, " + std::to_string(stream.bytes.size()) + " read, " +
        std::to_string(stream.missingBytes) + " unreadable");
  if (!stream.found) {
    PrintError("journal: " + label + " has no change journal ($Extend\\$UsnJrnl has no $J stream)");
    return nullptr;
  }
  if (stream.missingBytes != 0) {
    incomplete = true;
    PrintError("journal: " + label + ": " + GroupedNumber(stream.missingBytes) + " of " +
               GroupedNumber(stream.bytes.size() + stream.missingBytes) +
               " bytes of the change journal could not be read; the changes in the rest "
               "follow");
  }
  return platform::ParseSavedUsnStream(stream.bytes, /*replay=*/true, &stats);
}

std::string BoundLetters(const CliContext& context) {
  std::string letters;
  for (const DriveArg& d : context.drives)
    letters += (letters.empty() ? "" : ", ") + DriveName(d.letter);
  return letters;
}

int RunJournal(CliContext& context, const JournalOptions& o) {
  char16_t letter = u'C';
  if (!o.letter.empty()) {
    ParseDriveLetter(o.letter, letter);  // checked by the parser
  } else if (context.drives.size() == 1) {
    letter = context.drives.front().letter;
  } else if (context.drives.size() > 1) {
    PrintError("journal: several drives are bound (" + BoundLetters(context) +
               "); say which with journal --drive LETTER");
    return kExitBadInput;
  } else if (o.file.empty()) {
    PrintError(
        "journal: no FILE given and no volume bound: name a saved $UsnJrnl:$J stream, or "
        "bind a volume with --drive D=PATH (see zanderwyn journal --help)");
    return kExitBadInput;
  }

  platform::SavedStreamStats streamStats;
  std::shared_ptr<platform::ScriptedJournal> journal;
  bool incomplete = false;
  if (!o.file.empty()) {
    journal = LoadStreamFile(o.file, streamStats);
  } else {
    DriveArg drive{letter, {}};
    for (const DriveArg& d : context.drives) {
      if (d.letter == letter) drive = d;
    }
    journal = LoadVolumeJournal(drive, streamStats, incomplete);
  }
  if (!journal) return kExitBadInput;

  UsnMonitor monitor([journal](char16_t) { return platform::ScriptedJournal::Open(journal); });
  Output& out = context.out;
  out.Write(std::string_view(kHeader));
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
    out.Write('\t');
    out.Write(std::to_string(c.usn));
    out.Write('\t');
    out.Write(IsoTime(c.timeStamp));
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
  return incomplete ? kExitBadInput : kExitOk;
}

}  // namespace

Command AddJournalCommand(CLI::App& parser) {
  CLI::App* journal = parser.add_subcommand(
      "journal",
      "print the changes a change journal yields: a saved $UsnJrnl:$J stream (FILE), or,\n"
      "without FILE, the journal of the bound volume ($Extend\\$UsnJrnl:$J, read-only)");
  auto o = std::make_shared<JournalOptions>();
  journal->add_option("FILE", o->file, "a saved $UsnJrnl:$J stream")->type_name("");
  // Its own --drive picks the drive; it binds nothing.
  journal
      ->add_option("--drive", o->letter,
                   "the bound drive whose journal to read, or, with FILE, the drive\n"
                   "its changes are for (default: the one drive bound; else C)")
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
