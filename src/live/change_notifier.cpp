#include "live/change_notifier.h"

#include <chrono>

namespace zw {

uint64_t SteadyMilliseconds() {
  return uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count());
}

ChangeNotifier::ChangeNotifier(Poster poster, Clock clock, uint64_t intervalMs)
    : poster_(std::move(poster)), clock_(std::move(clock)), interval_(intervalMs) {}

void ChangeNotifier::Notify() {
  const uint64_t now = clock_();
  {
    std::lock_guard lock(mutex_);
    if (posted_ && now - lastPost_ < interval_) {
      pending_ = true;
      return;
    }
    posted_ = true;
    lastPost_ = now;
    pending_ = false;
  }
  if (poster_) poster_();
}

std::optional<uint64_t> ChangeNotifier::Poll() {
  const uint64_t now = clock_();
  {
    std::lock_guard lock(mutex_);
    if (!pending_) return std::nullopt;
    if (now - lastPost_ < interval_) return interval_ - (now - lastPost_);
    pending_ = false;
    lastPost_ = now;
  }
  if (poster_) poster_();
  return std::nullopt;
}

bool ChangeNotifier::Pending() const {
  std::lock_guard lock(mutex_);
  return pending_;
}

ChangeNotifierThread::ChangeNotifierThread(ChangeNotifier::Poster poster, uint64_t intervalMs)
    : notifier_(std::move(poster), SteadyMilliseconds, intervalMs), thread_([this] { Run(); }) {}

ChangeNotifierThread::~ChangeNotifierThread() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void ChangeNotifierThread::Notify() {
  notifier_.Notify();
  if (notifier_.Pending()) {
    {
      std::lock_guard lock(mutex_);
      kicked_ = true;
    }
    wake_.notify_all();
  }
}

void ChangeNotifierThread::Run() noexcept {
  try {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      wake_.wait(lock, [&] { return stop_ || kicked_; });
      kicked_ = false;
      // Sleep until the owed notification is due, then deliver it.
      for (;;) {
        lock.unlock();
        const std::optional<uint64_t> wait = notifier_.Poll();
        lock.lock();
        if (!wait || stop_) break;
        wake_.wait_for(lock, std::chrono::milliseconds(*wait), [&] { return stop_; });
      }
    }
  } catch (...) {
    // Nothing escapes a thread; notifications then come only from Notify.
  }
}

}  // namespace zw
