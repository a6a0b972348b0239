// Where there are no drive letters (POSIX), a table binds a letter to an
// image file, a block device, or partition N of a whole-disk image. A letter
// may also carry a mount point, which resolves Windows paths on that drive.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zw::platform {

struct DriveBinding {
  char16_t letter = 0;
  std::string source;      // image file or block device
  int partition = 0;       // 0: the whole source is the volume
  std::string mountPoint;  // empty: none
};

// Replaces any binding of the same letter. Letters are upper-cased.
void BindDrive(const DriveBinding& binding);
void UnbindDrive(char16_t letter);
void ClearDriveTable();
[[nodiscard]] std::optional<DriveBinding> FindDriveBinding(char16_t letter);
std::vector<DriveBinding> DriveBindings();  // ascending by letter

// Parses "D=PATH" or "D=PATH:N"; nullopt with `error` set when malformed.
[[nodiscard]] std::optional<DriveBinding> ParseDriveBinding(std::string_view text,
                                                            std::string& error);

}  // namespace zw::platform
