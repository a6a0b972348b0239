// Makes an allocation on the calling thread fail, so that tests can see what a
// bad_alloc at each point of an operation leaves behind. Linking this in
// replaces the global operator new of the test program; other threads and
// unarmed code allocate as usual.
#pragma once

#include <cstddef>

namespace zw::test {

// The allocation after `count` more succeed throws std::bad_alloc (once).
void FailAllocationAfter(size_t count);
// Disarms; true when the armed failure was thrown.
bool StopFailingAllocations();
// While on, every allocation of a thread other than the caller fails: how a
// worker runs out of memory while the caller (a window's thread) goes on.
void FailAllocationsOfOtherThreads(bool on);

// Runs `operation` with the k-th allocation failing, for k = 0, 1, ... until it
// completes without a failure; `check` runs after every failed attempt (with
// the attempt's number) and may restore what `operation` needs for the next.
template <class Operation, class Check>
size_t ForEachAllocationFailure(Operation operation, Check check) {
  for (size_t k = 0;; ++k) {
    bool threw = false;
    FailAllocationAfter(k);
    try {
      operation();
    } catch (...) {
      threw = true;
    }
    const bool failed = StopFailingAllocations();
    if (!failed && !threw) return k;
    check(k);
  }
}

}  // namespace zw::test
