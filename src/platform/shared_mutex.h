// A reader-writer lock under which a waiting writer goes ahead of readers
// that arrive after it. glibc's std::shared_mutex prefers readers: with
// searches starting back to back, a journal change could wait for as long as
// they keep coming. Neither side may be taken recursively.
//
// Meets the standard SharedMutex requirements, so std::unique_lock and
// std::shared_lock work with it.
#pragma once

#include <shared_mutex>  // std::shared_lock, for the users of this lock

#if !defined(_WIN32)
#include <pthread.h>
#endif

namespace zw::platform {

class SharedMutex {
 public:
  SharedMutex() noexcept;
  ~SharedMutex();
  SharedMutex(const SharedMutex&) = delete;
  SharedMutex& operator=(const SharedMutex&) = delete;

  // A lock that cannot be taken is a broken invariant, not a condition to
  // recover from: these end the process rather than run unprotected.
  void lock() noexcept;
  [[nodiscard]] bool try_lock() noexcept;
  void unlock() noexcept;
  void lock_shared() noexcept;
  [[nodiscard]] bool try_lock_shared() noexcept;
  void unlock_shared() noexcept;

 private:
#if defined(_WIN32)
  void* srw_ = nullptr;  // an SRWLOCK, which is one pointer, zero when free
#else
  pthread_rwlock_t rw_;
#endif
};

}  // namespace zw::platform
