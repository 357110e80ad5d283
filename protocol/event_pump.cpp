#include "protocol/event_pump.h"

#include <thread>

namespace qv {

HeadlessPump::TimerId HeadlessPump::AddTimer(std::chrono::milliseconds interval,
                                             std::function<void()> fire) {
  timers_.push_back({interval, std::move(fire), false, {}});
  return timers_.size() - 1;
}

void HeadlessPump::SetActive(TimerId id, bool active) {
  Timer& t = timers_.at(id);
  if (active && !t.active) t.due = Clock::now() + t.interval;
  t.active = active;
}

void HeadlessPump::Pump(std::chrono::milliseconds period) {
  const Clock::time_point end = Clock::now() + period;
  for (;;) {
    Timer* next = nullptr;
    for (Timer& t : timers_) {
      if (t.active && (!next || t.due < next->due)) next = &t;
    }
    if (!next || next->due > end) {
      std::this_thread::sleep_until(end);
      return;
    }
    std::this_thread::sleep_until(next->due);
    next->due += next->interval;
    // The handler may stop, start or add timers (an operation may end inside
    // it), so it runs from a copy.
    const std::function<void()> fire = next->fire;
    fire();
  }
}

}  // namespace qv
