// Turns a stream of "the index changed" calls from the monitor threads into
// at most one notification per interval, and never drops the last one: after
// a burst a trailing notification follows once the interval has passed, so
// the window always sees the final state.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace zw {

class ChangeNotifier {
 public:
  using Clock = std::function<uint64_t()>;  // monotonic milliseconds
  using Poster = std::function<void()>;     // must not block (posts a message)
  static constexpr uint64_t kIntervalMs = 100;

  ChangeNotifier(Poster poster, Clock clock, uint64_t intervalMs = kIntervalMs);

  // From any thread, also while the entries' writer mutex is held: posts now when the
  // last post is an interval old, else remembers that one is owed.
  void Notify();
  // Posts an owed notification once it is due. Returns the milliseconds until
  // the owed one is due, or nullopt when nothing is owed.
  std::optional<uint64_t> Poll();
  bool Pending() const;

 private:
  Poster poster_;
  Clock clock_;
  const uint64_t interval_;
  mutable std::mutex mutex_;
  bool posted_ = false;  // any post yet
  uint64_t lastPost_ = 0;
  bool pending_ = false;
};

// A ChangeNotifier on the steady clock with its own thread that delivers the
// trailing notifications. The thread ends with the object.
class ChangeNotifierThread {
 public:
  explicit ChangeNotifierThread(ChangeNotifier::Poster poster,
                                uint64_t intervalMs = ChangeNotifier::kIntervalMs);
  ChangeNotifierThread(const ChangeNotifierThread&) = delete;
  ChangeNotifierThread& operator=(const ChangeNotifierThread&) = delete;
  ~ChangeNotifierThread();

  void Notify();  // the callable to install as changedCallback

 private:
  void Run() noexcept;

  ChangeNotifier notifier_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  bool kicked_ = false;
  std::thread thread_;
};

uint64_t SteadyMilliseconds();

}  // namespace zw
