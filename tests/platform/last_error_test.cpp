#include "platform/last_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

namespace zw::platform {
namespace {

TEST(LastError, IsPerThread) {
  SetLastError(error::kAccessDenied);
  uint32_t seenByOther = 1;
  std::thread([&] {
    seenByOther = LastError();
    SetLastError(error::kIoDevice);
  }).join();
  EXPECT_EQ(seenByOther, 0u);
  EXPECT_EQ(LastError(), error::kAccessDenied);
}

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

}  // namespace
}  // namespace zw::platform
