#include "ui/qt_event_pump.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>

namespace qv {

QtEventPump::~QtEventPump() {
  Interrupt();
}

void QtEventPump::Pump(std::chrono::milliseconds period) {
  if (period.count() <= 0) {
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
