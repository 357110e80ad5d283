#include "protocol/event_pump.h"

#include <utility>

namespace qv {

HeadlessPump::TimerId HeadlessPump::AddTimer(std::chrono::milliseconds interval,
                                             std::function<void()> fire) {
  timers_.push_back({interval, std::move(fire), false, {}});
  return timers_.size() - 1;
}

void HeadlessPump::SetActive(TimerId id, bool active) {
  Timer& t = timers_.at(id);
  if (active && !t.active) t.due = Now() + t.interval;
  t.active = active;
}

void HeadlessPump::Wake() {
  {
    std::lock_guard lock(mutex_);
    woken_ = true;
  }
  woken_cv_.notify_all();
}

void HeadlessPump::Pump(std::chrono::milliseconds period) {
  const Clock::time_point end = Now() + period;
  // Sleeps until `until` unless woken first; true when woken (the wake is
  // taken). On virtual time the sleep is skipped.
  const auto sleep = [this](Clock::time_point until) {
    std::unique_lock lock(mutex_);
    if (!virtual_) {
      woken_cv_.wait_until(lock, until, [this] { return woken_; });
    } else if (const Clock::duration left = until - Now(); !woken_ && left > Clock::duration{}) {
      skipped_ += left;
    }
    return std::exchange(woken_, false);
  };
  for (;;) {
    Timer* next = nullptr;
    for (Timer& t : timers_) {
      if (t.active && (!next || t.due < next->due)) next = &t;
    }
    if (!next || next->due > end) {
      sleep(end);
      return;
    }
    if (sleep(next->due)) return;
    next->due += next->interval;
    // The handler may stop, start or add timers (an operation may end inside
    // it), so it runs from a copy.
    const std::function<void()> fire = next->fire;
    fire();
  }
}

}  // namespace qv
