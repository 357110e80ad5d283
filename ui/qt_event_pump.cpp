#include "ui/qt_event_pump.h"

#include <utility>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>

namespace qv {

QtEventPump::~QtEventPump() {
  Interrupt();
}

void QtEventPump::Wake() {
  // One queued call at a time, however fast the bytes come.
  if (wake_posted_.exchange(true)) return;
  QMetaObject::invokeMethod(
      &relay_,
      [this] {
        wake_posted_ = false;
        if (loops_.empty()) {
          woken_ = true;  // the next period ends at once
        } else {
          loops_.back()->quit();
        }
      },
      Qt::QueuedConnection);
}

void QtEventPump::Pump(std::chrono::milliseconds period) {
  if (period.count() <= 0 || std::exchange(woken_, false)) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return;
  }
  QEventLoop loop;
  QTimer end;
  end.setSingleShot(true);
  end.setTimerType(Qt::PreciseTimer);
  QObject::connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
  end.start(period);
  loops_.push_back(&loop);
  loop.exec();
  loops_.erase(std::find(loops_.begin(), loops_.end(), &loop));
}

void QtEventPump::Interrupt() {
  for (QEventLoop* loop : loops_)
    loop->quit();
}

}  // namespace qv
