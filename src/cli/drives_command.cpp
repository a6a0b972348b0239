// drives: the selectable drives as the drive selection dialog lists them,
// one per line: root, label, file system, total, free, and whether the drive
// can be indexed (only NTFS can).
#include <CLI/CLI.hpp>
#include <string>

#include "base/utf.h"
#include "cli/commands.h"
#include "cli/volume_problem.h"
#include "platform/drives.h"
#include "view/size_text.h"
#include "volumes/drive_info.h"

namespace zw::cli {

namespace {

int RunDrives(CliContext& context) {
  // Without --drive, the readable NTFS block devices stand for the drives.
  if (context.drives.empty()) platform::BindNtfsBlockDevices();
  const std::vector<DriveInfo> drives = ListSelectableDrives();
  Output& out = context.out;
  out.Write(std::string_view("drive\tlabel\tfile system\ttotal\tfree\tindexable\n"));
  for (const DriveInfo& d : drives) {
    out.Write(std::u16string{d.letter, u':', u'\\'});
    out.Write('\t');
    out.WriteShown(d.label);
    out.Write('\t');
    out.Write(d.fileSystem);
    out.Write('\t');
    out.Write(view::FormatSize(d.totalBytes));
    out.Write('\t');
    out.Write(view::FormatSize(d.freeBytes));
    out.Write('\t');
    if (d.isNtfs) {
      out.Write(std::string_view("yes (NTFS)"));
    } else {
      // A binding that cannot be used says why, rather than pass for another file system.
      const std::string problem = VolumeProblem(d.letter);
      // The reason may quote the path the user bound, which is shown escaped.
      out.WriteShown(
          FromUtf8(problem.empty() ? std::string("no (not NTFS)") : "no (" + problem + ")"));
    }
    out.Write('\n');
  }
  if (drives.empty()) {
#ifdef _WIN32
    PrintError("no fixed or removable drive found");
#else
    PrintError(
        "no drive found: bind an image with --drive D=PATH, or run with read access to "
        "an NTFS block device");
#endif
  }
  out.Flush();
  return kExitOk;
}

}  // namespace

Command AddDrivesCommand(CLI::App& parser) {
  CLI::App* drives = parser.add_subcommand(
      "drives", "list the drives that can be chosen, with label, sizes and NTFS or not");
  return {drives, RunDrives};
}

}  // namespace zw::cli
