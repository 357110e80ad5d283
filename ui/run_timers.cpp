#include "ui/run_timers.h"

namespace qv {

QTimer* NamedTimer(const char* name, int ms, QObject* parent) {
  auto* t = new QTimer(parent);
  t->setObjectName(name);
  t->setInterval(ms);
  return t;
}

RunTimers BindRunTimers(QObject* window, OperationRunner& run, int read_ms, int status_ms,
                        std::function<void()> blink, std::function<void()> beep) {
  RunTimers t{NamedTimer("ReadTimer", read_ms, window),
              blink ? NamedTimer("StatusTimer", status_ms, window) : nullptr};
  // The poll decides whether a meter has answered within its wait, which
  // runs on a precise timer: a coarse poll could fire just after the wait
  // ended and have an answered meter asked again.
  t.ReadTimer->setTimerType(Qt::PreciseTimer);
  QObject::connect(t.ReadTimer, &QTimer::timeout, window, [&run] { run.Cycle().ReadTimerTick(); });
  if (blink) QObject::connect(t.StatusTimer, &QTimer::timeout, window, std::move(blink));
  run.on_poll_timers = [t](bool on) {
    for (QTimer* timer : {t.ReadTimer, t.StatusTimer}) {
      if (!timer) continue;
      if (on) {
        timer->start();
      } else {
        timer->stop();
      }
    }
  };
  run.on_refused = std::move(beep);
  return t;
}

}  // namespace qv
