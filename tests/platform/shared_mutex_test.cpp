// The name index lock must let a waiting writer in ahead of readers that
// come after it; otherwise a journal change waits for as long as searches
// keep starting.
#include "platform/shared_mutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include "support/wait.h"

namespace zw::platform {
namespace {

TEST(SharedMutex, ReadersShareAndExcludeWriters) {
  SharedMutex m;
  {
    std::shared_lock a(m);
    std::shared_lock b(m, std::try_to_lock);
    EXPECT_TRUE(b.owns_lock());
    std::unique_lock w(m, std::try_to_lock);
    EXPECT_FALSE(w.owns_lock());
  }
  std::unique_lock w(m);
  std::shared_lock r(m, std::try_to_lock);
  EXPECT_FALSE(r.owns_lock());
}

TEST(SharedMutex, WaitingWriterBlocksLaterReaders) {
  SharedMutex m;
  std::shared_lock first(m);
  std::atomic<bool> writerIn{false};
  std::thread writer([&] {
    std::unique_lock w(m);
    writerIn = true;
  });

  // Once the writer is queued, a new reader must not get in. Polled, since
  // nothing tells when the writer has started waiting (on a busy machine that
  // can take long); the bound only keeps a reader-first lock from hanging.
  EXPECT_TRUE(zw::test::PollUntil(
      [&] {
        if (!m.try_lock_shared()) return true;
        m.unlock_shared();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return false;
      },
      "a new reader to be refused while a writer waits"));
  EXPECT_FALSE(writerIn.load());

  first.unlock();
  writer.join();
  EXPECT_TRUE(writerIn.load());
  std::shared_lock again(m, std::try_to_lock);
  EXPECT_TRUE(again.owns_lock());
}

}  // namespace
}  // namespace zw::platform
