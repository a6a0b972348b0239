#include "platform/shared_mutex.h"

#include <windows.h>

namespace zw::platform {

namespace {

static_assert(sizeof(SRWLOCK) == sizeof(void*));

// SRW locks queue a waiting writer ahead of later readers.
PSRWLOCK Srw(void*& storage) noexcept {
  return reinterpret_cast<PSRWLOCK>(&storage);
}

}  // namespace

SharedMutex::SharedMutex() noexcept {
  InitializeSRWLock(Srw(srw_));
}

SharedMutex::~SharedMutex() = default;  // an SRW lock owns nothing

void SharedMutex::lock() noexcept {
  AcquireSRWLockExclusive(Srw(srw_));
}

bool SharedMutex::try_lock() noexcept {
  return TryAcquireSRWLockExclusive(Srw(srw_)) != 0;
}

void SharedMutex::unlock() noexcept {
  ReleaseSRWLockExclusive(Srw(srw_));
}

void SharedMutex::lock_shared() noexcept {
  AcquireSRWLockShared(Srw(srw_));
}

bool SharedMutex::try_lock_shared() noexcept {
  return TryAcquireSRWLockShared(Srw(srw_)) != 0;
}

void SharedMutex::unlock_shared() noexcept {
  ReleaseSRWLockShared(Srw(srw_));
}

}  // namespace zw::platform
