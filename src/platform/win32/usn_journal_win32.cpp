// The change journal of a volume through the file-system control codes. The
// volume is opened for reading only; the journal is the file system's own.
#include "platform/win32/win32_text.h"  // <windows.h> first

#include <winioctl.h>

#include <cstring>
#include <new>

#include "platform/last_error.h"
#include "platform/usn_journal.h"

namespace zw::platform {

namespace {

// The codes as published, so an older SDK header makes no difference.
constexpr DWORD kFsctlQueryUsnJournal = 0x000900F4;
constexpr DWORD kFsctlCreateUsnJournal = 0x000900E7;
constexpr DWORD kFsctlReadUsnJournal = 0x000900BB;

class SystemUsnJournal final : public UsnJournalDevice {
 public:
  explicit SystemUsnJournal(UniqueHandle handle) : handle_(std::move(handle)) {}

  bool Query(UsnJournalInfo& info) noexcept override {
    alignas(8) unsigned char data[64] = {};
    DWORD returned = 0;
    if (!::DeviceIoControl(handle_.Get(), kFsctlQueryUsnJournal, nullptr, 0, data, sizeof data,
                           &returned, nullptr)) {
      return false;
    }
    std::memcpy(&info.journalId, data + 0, 8);
    std::memcpy(&info.firstUsn, data + 8, 8);
    std::memcpy(&info.nextUsn, data + 16, 8);
    return true;
  }

  bool Create(uint64_t maximumSize, uint64_t allocationDelta) noexcept override {
    alignas(8) unsigned char data[16];
    std::memcpy(data + 0, &maximumSize, 8);
    std::memcpy(data + 8, &allocationDelta, 8);
    DWORD returned = 0;
    return ::DeviceIoControl(handle_.Get(), kFsctlCreateUsnJournal, data, sizeof data, nullptr, 0,
                             &returned, nullptr) != FALSE;
  }

  bool Read(const ReadUsnJournalRequest& request, void* buffer, uint32_t size,
            uint32_t& returned) noexcept override {
    ReadUsnJournalRequest copy = request;
    DWORD got = 0;
    const BOOL ok = ::DeviceIoControl(handle_.Get(), kFsctlReadUsnJournal, &copy, sizeof copy,
                                      buffer, size, &got, nullptr);
    returned = ok ? uint32_t(got) : 0;
    return ok != FALSE;
  }

  void Cancel() noexcept override { ::CancelIoEx(handle_.Get(), nullptr); }

 private:
  UniqueHandle handle_;
};

}  // namespace

std::unique_ptr<UsnJournalDevice> OpenSystemUsnJournal(char16_t letter) noexcept {
  wchar_t path[] = L"\\\\.\\C:";
  path[4] = wchar_t(letter);
  HANDLE h = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;  // GetLastError stays as CreateFileW left it
  UniqueHandle handle(h);
  auto* device = new (std::nothrow) SystemUsnJournal(std::move(handle));
  if (device == nullptr) {
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return std::unique_ptr<UsnJournalDevice>(device);
}

}  // namespace zw::platform
