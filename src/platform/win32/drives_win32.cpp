// The drives as Windows reports them: kernel32's drive strings, drive types,
// volume information and free space, with the buffer sizes the callers use.
#include "platform/win32/win32_text.h"  // <windows.h> first

#include <string>

#include "platform/drives.h"
#include "platform/last_error.h"

namespace zw::platform {
namespace {

// Root paths arrive as views; the API wants a NUL-terminated string.
bool RootText(std::u16string_view root, wchar_t (&out)[8]) {
  if (root.empty() || root.size() > 7) return false;
  for (size_t i = 0; i < root.size(); ++i) out[i] = wchar_t(root[i]);
  out[root.size()] = 0;
  return true;
}

}  // namespace

uint32_t LogicalDrives() noexcept {
  return uint32_t(::GetLogicalDrives());
}

uint32_t LogicalDriveStrings(uint32_t capacity, char16_t* buffer) noexcept {
  return uint32_t(::GetLogicalDriveStringsW(DWORD(capacity), reinterpret_cast<wchar_t*>(buffer)));
}

uint32_t DriveType(std::u16string_view root) noexcept {
  wchar_t text[8];
  if (!RootText(root, text)) return kDriveNoRootDir;
  return uint32_t(::GetDriveTypeW(text));
}

// The system answers for its volumes itself.
void SetVolumeProber(VolumeProber) noexcept {}

bool GetVolumeInformation(std::u16string_view root, VolumeInformation& out) noexcept {
  try {
    out = VolumeInformation{};
    wchar_t text[8];
    if (!RootText(root, text)) {
      SetLastError(ERROR_INVALID_NAME);
      return false;
    }
    wchar_t label[256] = {};
    wchar_t fileSystem[32] = {};
    DWORD serial = 0, maxComponent = 0, flags = 0;
    // A card reader without a card must not bring up a system dialog.
    const UINT oldMode = ::SetErrorMode(SEM_FAILCRITICALERRORS);
    const BOOL ok =
        ::GetVolumeInformationW(text, label, 256, &serial, &maxComponent, &flags, fileSystem, 32);
    const DWORD error = ::GetLastError();
    ::SetErrorMode(oldMode);
    if (!ok) {
      SetLastError(uint32_t(error));
      return false;
    }
    label[255] = 0;
    fileSystem[31] = 0;
    out.label = std::u16string(reinterpret_cast<const char16_t*>(label));
    out.fileSystem = std::u16string(reinterpret_cast<const char16_t*>(fileSystem));
    out.serialNumber = uint32_t(serial);
    return true;
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
}

bool GetDiskFreeSpace(std::u16string_view root, DiskSpace& out) noexcept {
  out = DiskSpace{};
  wchar_t text[8];
  if (!RootText(root, text)) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  ULARGE_INTEGER available{}, total{}, totalFree{};
  const UINT oldMode = ::SetErrorMode(SEM_FAILCRITICALERRORS);
  const BOOL ok = ::GetDiskFreeSpaceExW(text, &available, &total, &totalFree);
  const DWORD error = ::GetLastError();
  ::SetErrorMode(oldMode);
  if (!ok) {
    SetLastError(uint32_t(error));
    return false;
  }
  out.freeBytesAvailableToCaller = available.QuadPart;
  out.totalBytes = total.QuadPart;
  out.totalFreeBytes = totalFree.QuadPart;
  return true;
}

int BindNtfsBlockDevices() noexcept {
  return 0;
}

}  // namespace zw::platform
