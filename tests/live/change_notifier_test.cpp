#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "live/change_notifier.h"
#include "support/wait.h"

namespace zw {
namespace {

struct FakeClock {
  uint64_t now = 1000;
};

TEST(ChangeNotifier, CoalescesABurstAndAlwaysDeliversItsLastChange) {
  FakeClock clock;
  int posts = 0;
  ChangeNotifier n([&] { ++posts; }, [&] { return clock.now; });
  n.Notify();  // the first one goes out at once
  EXPECT_EQ(posts, 1);
  for (int i = 0; i < 10; ++i) {  // ten changes within 50 ms
    clock.now += 5;
    n.Notify();
  }
  EXPECT_EQ(posts, 1);
  EXPECT_TRUE(n.Pending());
  EXPECT_EQ(n.Poll(), std::optional<uint64_t>(50));  // not due yet
  clock.now += 49;
  EXPECT_EQ(n.Poll(), std::optional<uint64_t>(1));
  EXPECT_EQ(posts, 1);
  clock.now += 1;
  EXPECT_EQ(n.Poll(), std::nullopt);  // the trailing one
  EXPECT_EQ(posts, 2);
  EXPECT_FALSE(n.Pending());
  EXPECT_EQ(n.Poll(), std::nullopt);  // and only one
  EXPECT_EQ(posts, 2);
}

TEST(ChangeNotifier, AChangeAfterAQuietIntervalPostsAtOnce) {
  FakeClock clock;
  int posts = 0;
  ChangeNotifier n([&] { ++posts; }, [&] { return clock.now; });
  n.Notify();
  clock.now += 100;
  n.Notify();
  EXPECT_EQ(posts, 2);
  EXPECT_FALSE(n.Pending());
  // Trailing post counts as a post: the next change within 100 ms of it waits.
  clock.now += 10;
  n.Notify();
  clock.now += 100;
  n.Poll();
  EXPECT_EQ(posts, 3);
  clock.now += 20;
  n.Notify();
  EXPECT_EQ(posts, 3);
  EXPECT_TRUE(n.Pending());
}

TEST(ChangeNotifierThread, DeliversTheTrailingNotificationByItself) {
  std::mutex mutex;
  std::condition_variable cv;
  int posts = 0;
  {
    ChangeNotifierThread n([&] {
      std::lock_guard lock(mutex);
      ++posts;
      cv.notify_all();
    });
    n.Notify();
    n.Notify();  // owed: must come without any further change
    std::unique_lock lock(mutex);
    test::WaitUntil(
        cv, lock, [&] { return posts == 2; }, "the owed notification");
  }
  EXPECT_EQ(posts, 2);
}

}  // namespace
}  // namespace zw
