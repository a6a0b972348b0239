#include "platform/last_error.h"

#include <cerrno>
#include <system_error>

namespace zw::platform {

uint32_t ErrorFromErrno(int e) noexcept {
  switch (e) {
    case 0:
      return 0;
    case ENOENT:
      return error::kFileNotFound;
    case ENOTDIR:
      return error::kPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:  // what Windows says when a folder is opened as a file
    case EROFS:
      return error::kAccessDenied;
    case EBADF:
      return error::kInvalidHandle;
    case ENOMEM:
      return error::kNotEnoughMemory;
    case EOPNOTSUPP:
      return error::kNotSupported;
    case EINVAL:
      return error::kInvalidParameter;
    case EIO:
      return error::kIoDevice;
    default:
      return error::kErrnoFlag | uint32_t(e);
  }
}

namespace {

const char* KnownMessage(uint32_t code) {
  switch (code) {
    case error::kFileNotFound:
      return "not found";
    case error::kPathNotFound:
      return "path not found";
    case error::kAccessDenied:
      return "access denied";
    case error::kInvalidHandle:
      return "invalid handle";
    case error::kNotEnoughMemory:
      return "not enough memory";
    case error::kNotSupported:
      return "not supported";
    case error::kInvalidParameter:
      return "invalid parameter";
    case error::kIoDevice:
      return "I/O error";
    case error::kNotFound:
      return "no such partition";
    case error::kDiskCorrupt:
      return "no readable partition table";
    default:
      return nullptr;
  }
}

}  // namespace

std::string SystemErrorMessage(uint32_t code);  // per system

std::string ErrorMessage(uint32_t code) {
  if (const char* known = KnownMessage(code)) return known;
  if ((code & ~0xFFFFu) == error::kErrnoFlag)
    return std::generic_category().message(int(code & 0xFFFFu));
  std::string text = SystemErrorMessage(code);
  if (text.empty()) text = "system error " + std::to_string(code);
  return text;
}

}  // namespace zw::platform
