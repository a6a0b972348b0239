// Bounded waits for tests: a lost notification or a stuck thread becomes a
// failure that names what was awaited, never a hang.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string_view>
#include <thread>

namespace zw::test {

// Far above any wait a passing test makes, even under a sanitizer on a busy machine.
inline constexpr std::chrono::seconds kWaitLimit{30};

// Waits on `cv` until `done` holds; false, with a failure naming `what`, once
// kWaitLimit has passed.
template <class Lock, class Done>
bool WaitUntil(std::condition_variable& cv, Lock& lock, Done done, std::string_view what) {
  if (cv.wait_for(lock, kWaitLimit, done)) return true;
  ADD_FAILURE() << "waited " << kWaitLimit.count() << " s for " << what;
  return false;
}

// The same for a condition that no one signals: polled, yielding in between.
template <class Done>
bool PollUntil(Done done, std::string_view what) {
  const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "waited " << kWaitLimit.count() << " s for " << what;
      return false;
    }
    std::this_thread::yield();
  }
  return true;
}

}  // namespace zw::test
