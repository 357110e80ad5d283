// How an operation waits without freezing anything: the windows run a local
// event loop for each period (their timers, repainting and the operator's
// input go on), the headless pump runs the same timers without a toolkit.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

namespace qv {

class EventPump {
 public:
  virtual ~EventPump() = default;
  // Serves events (timers included) for `period`, then returns; returns
  // sooner when woken. A period of 0 serves what is already pending.
  virtual void Pump(std::chrono::milliseconds period) = 0;
  // Any thread: the period being served (or the next one, when none is)
  // ends at once. Bytes have arrived: the wait has something to look at.
  virtual void Wake() = 0;
};

// Periodic timers served by `Pump`, for tests, benchmarks and any user of
// the cycle without a window. Sleeps between timer deadlines: no busy wait.
class HeadlessPump : public EventPump {
 public:
  using TimerId = size_t;
  using Clock = std::chrono::steady_clock;

  // A new timer, stopped.
  TimerId AddTimer(std::chrono::milliseconds interval, std::function<void()> fire);
  // Starting a timer schedules its first firing one interval from now.
  void SetActive(TimerId id, bool active);
  bool Active(TimerId id) const { return timers_.at(id).active; }
  void Pump(std::chrono::milliseconds period) override;
  void Wake() override;

 private:
  struct Timer {
    std::chrono::milliseconds interval;
    std::function<void()> fire;
    bool active = false;
    Clock::time_point due;
  };
  std::vector<Timer> timers_;
  std::mutex mutex_;
  std::condition_variable woken_cv_;
  bool woken_ = false;
};

}  // namespace qv
