#include "platform/shared_mutex.h"

#include <cstdlib>

namespace zw::platform {

namespace {

void Check(int rc) noexcept {
  if (rc != 0) std::abort();
}

}  // namespace

SharedMutex::SharedMutex() noexcept {
  pthread_rwlockattr_t attr;
  Check(pthread_rwlockattr_init(&attr));
#if defined(__GLIBC__)
  Check(pthread_rwlockattr_setkind_np(&attr, PTHREAD_RWLOCK_PREFER_WRITER_NONRECURSIVE_NP));
#endif
  Check(pthread_rwlock_init(&rw_, &attr));
  pthread_rwlockattr_destroy(&attr);
}

SharedMutex::~SharedMutex() {
  pthread_rwlock_destroy(&rw_);
}

void SharedMutex::lock() noexcept {
  Check(pthread_rwlock_wrlock(&rw_));
}

bool SharedMutex::try_lock() noexcept {
  return pthread_rwlock_trywrlock(&rw_) == 0;
}

void SharedMutex::unlock() noexcept {
  Check(pthread_rwlock_unlock(&rw_));
}

void SharedMutex::lock_shared() noexcept {
  Check(pthread_rwlock_rdlock(&rw_));
}

bool SharedMutex::try_lock_shared() noexcept {
  return pthread_rwlock_tryrdlock(&rw_) == 0;
}

void SharedMutex::unlock_shared() noexcept {
  Check(pthread_rwlock_unlock(&rw_));
}

}  // namespace zw::platform
