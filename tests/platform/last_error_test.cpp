#include "platform/last_error.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>

// The window uses both; each once defined the error numbers it needed.
#include "platform/registry.h"
#include "platform/usn_journal.h"

namespace zw::platform {
namespace {

TEST(LastError, IsPerThread) {
  // Handshakes on atomics only: on Windows any system call between setting
  // and reading (such as a thread join) may change the value.
  std::atomic<int> step{0};
  uint32_t seenByOther = 0;
  std::thread other([&] {
    while (step.load() != 1) {
    }
    SetLastError(error::kIoDevice);
    step.store(2);
    while (step.load() != 3) {
    }
    seenByOther = LastError();
  });
  SetLastError(error::kAccessDenied);
  step.store(1);
  while (step.load() != 2) {
  }
  const uint32_t seenHere = LastError();
  step.store(3);
  other.join();
  EXPECT_EQ(seenHere, error::kAccessDenied);
  EXPECT_EQ(seenByOther, error::kIoDevice);
}

TEST(LastError, OneListOfNumbersForEveryHeader) {
  EXPECT_EQ(kErrorFileNotFound, error::kFileNotFound);
  EXPECT_EQ(kErrorNotSupported, error::kNotSupported);
}

#if !defined(_WIN32)
TEST(LastError, ErrnoBecomesTheWindowsNumber) {
  EXPECT_EQ(ErrorFromErrno(0), 0u);
  EXPECT_EQ(ErrorFromErrno(ENOENT), 2u);
  EXPECT_EQ(ErrorFromErrno(EACCES), 5u);
  EXPECT_EQ(ErrorFromErrno(EINVAL), 87u);
  // Unknown values keep their errno, marked so they cannot pass for a
  // Windows number, and still read well.
  const uint32_t other = ErrorFromErrno(ENOSPC);
  EXPECT_EQ(other, error::kErrnoFlag | uint32_t(ENOSPC));
  EXPECT_FALSE(ErrorMessage(other).empty());
  EXPECT_NE(ErrorMessage(other), ErrorMessage(error::kIoDevice));
  EXPECT_EQ(ErrorMessage(error::kNotFound), "no such partition");
  EXPECT_FALSE(ErrorMessage(0xDEAD).empty());
}
#endif

TEST(LastError, MessagesReadWell) {
  EXPECT_EQ(ErrorMessage(error::kNotFound), "no such partition");
  EXPECT_EQ(ErrorMessage(error::kFileNotFound), "not found");
  EXPECT_FALSE(ErrorMessage(0xDEAD).empty());
}

}  // namespace
}  // namespace zw::platform
