// The two timers of a window that runs meter operations, tied to its
// runner: "ReadTimer" pulls received bytes out of the port rings and
// "StatusTimer" blinks the served row's lamp, both running only while an
// operation awaits replies; a refused start beeps.
#pragma once

#include <QTimer>
#include <functional>

#include "protocol/operation_runner.h"

namespace qv {

struct RunTimers {
  QTimer* ReadTimer;
  QTimer* StatusTimer;
};

// `read_ms`: the reply poll period; `status_ms`: the blink period. Without
// `blink` there is no "StatusTimer".
RunTimers BindRunTimers(QObject* window, OperationRunner& run, int read_ms, int status_ms,
                        std::function<void()> blink, std::function<void()> beep);

// A named, stopped timer of `parent`.
QTimer* NamedTimer(const char* name, int ms, QObject* parent);

}  // namespace qv
