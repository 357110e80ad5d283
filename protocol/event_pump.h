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
  // The time the waits are measured in.
  virtual std::chrono::steady_clock::time_point Now() const {
    return std::chrono::steady_clock::now();
  }
};

// Periodic timers served by `Pump`, for tests, benchmarks and any user of
// the cycle without a window. Sleeps between timer deadlines: no busy wait.
//
// On virtual time the pump never sleeps: a period with nothing to serve
// passes at once, its timers firing in their order, and `Now` runs ahead of
// the steady clock by the time skipped. Only for a cycle whose every event
// comes from the pump's own timers (a test whose ports have no line behind
// them): a real line's bytes arrive in real time, which it would not wait for.
class HeadlessPump : public EventPump {
 public:
  using TimerId = size_t;
  using Clock = std::chrono::steady_clock;
  enum class Time { kReal, kVirtual };

  explicit HeadlessPump(Time time = Time::kReal) : virtual_(time == Time::kVirtual) {}

  // A new timer, stopped.
  TimerId AddTimer(std::chrono::milliseconds interval, std::function<void()> fire);
  // Starting a timer schedules its first firing one interval from now.
  void SetActive(TimerId id, bool active);
  bool Active(TimerId id) const { return timers_.at(id).active; }
  void Pump(std::chrono::milliseconds period) override;
  void Wake() override;
  // The pump's thread only.
  Clock::time_point Now() const override { return Clock::now() + skipped_; }

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
  const bool virtual_;
  Clock::duration skipped_{};
};

}  // namespace qv
