#include "support/alloc_failure.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// Plain thread-locals: no constructor runs on a thread's first allocation.
thread_local size_t tlsRemaining = 0;
thread_local bool tlsArmed = false;
thread_local bool tlsFired = false;
thread_local bool tlsSpared = false;
std::atomic<bool> g_othersFail{false};

void* Allocate(size_t size) {
  if (g_othersFail.load(std::memory_order_relaxed) && !tlsSpared) throw std::bad_alloc();
  if (tlsArmed) {
    if (tlsRemaining == 0) {
      tlsArmed = false;
      tlsFired = true;
      throw std::bad_alloc();
    }
    --tlsRemaining;
  }
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(size_t size) {
  return Allocate(size);
}
void* operator new[](size_t size) {
  return Allocate(size);
}
// The standard library asks for temporary buffers without throwing: those
// come from here too, so that every block is freed by the one that made it.
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
  std::free(p);
}

namespace zw::test {

void FailAllocationAfter(size_t count) {
  tlsRemaining = count;
  tlsFired = false;
  tlsArmed = true;
}

void FailAllocationsOfOtherThreads(bool on) {
  tlsSpared = on;
  g_othersFail.store(on);
}

bool StopFailingAllocations() {
  tlsArmed = false;
  return tlsFired;
}

}  // namespace zw::test
