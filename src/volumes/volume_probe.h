// What the volume itself says about its file system, label and free space,
// for systems that have no volume-information call (POSIX). Reads only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/drives.h"

namespace zw {

using platform::VolumeProbe;

// False when the volume cannot be opened or its boot sector names no file
// system we know.
bool ProbeVolume(char16_t letter, VolumeProbe& out);

// NTFS only: the volume label from record 3 ($Volume) and the free clusters
// counted in the bitmap of record 6 ($Bitmap), when that bitmap is at most
// `maxBitmapBytes` long.
inline constexpr uint64_t kMaxBitmapBytes = 32ull << 20;

}  // namespace zw
