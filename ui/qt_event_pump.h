// The windows' EventPump: an operation that waits for a meter runs a local
// event loop for the period, so timers, repainting and the operator's input
// go on meanwhile. Nothing spins: the loop sleeps in the toolkit until an
// event or its end-of-period timer arrives.
#pragma once

#include <QEventLoop>
#include <atomic>
#include <chrono>
#include <vector>

#include "protocol/event_pump.h"

namespace qv {

class QtEventPump : public EventPump {
 public:
  QtEventPump() = default;
  QtEventPump(const QtEventPump&) = delete;
  QtEventPump& operator=(const QtEventPump&) = delete;
  ~QtEventPump() override;

  // Serves events for `period`; 0 serves what is pending and returns.
  void Pump(std::chrono::milliseconds period) override;
  // Ends the periods now running (a cancelled operation need not sit out
  // its wait). Later periods run as usual.
  void Interrupt();
  // Whether a period is being served right now.
  bool Pumping() const { return !loops_.empty(); }
  // Any thread: ends the innermost period being served (or the next one).
  void Wake() override;

 private:
  // Lives on the user-interface thread: wakes arrive there as queued calls.
  QObject relay_;
  std::atomic<bool> wake_posted_{false};
  bool woken_ = false;
  // The local loops now running, innermost last: a period can serve an
  // event that starts another period (a second window's timer, say).
  std::vector<QEventLoop*> loops_;
};

}  // namespace qv
