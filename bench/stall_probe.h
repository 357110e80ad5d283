// How long the event loop is held: a precise timer that fires every few
// milliseconds keeps the largest gap between two of its firings, and the
// application times every event delivery, so the gap can be put down to
// the handler that took the most of it.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdint>
#include <functional>

namespace qv::bench {

class TimedApplication : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject* receiver, QEvent* event) override {
    QElapsedTimer t;
    t.start();
    const int type = static_cast<int>(event->type());
    ++depth_;
    const uint64_t probes = probes_fired;
    const bool done = QApplication::notify(receiver, event);
    --depth_;
    const qint64 ms = t.elapsed();
    // Deliveries made inside another (a repaint's paint events) count as
    // part of it: the outermost handler is what held the loop; one the
    // probe fired within (it ran a local loop) held nothing.
    if (depth_ == 0 && probes == probes_fired && ms > slowest_ms) {
      slowest_ms = ms;
      slowest = QString("%1 \"%2\" event %3")
                    .arg(receiver->metaObject()->className(), receiver->objectName())
                    .arg(type);
    }
    return done;
  }
  // Within a gap of the probe: the slowest single delivery.
  qint64 slowest_ms = 0;
  QString slowest;
  uint64_t probes_fired = 0;

 private:
  int depth_ = 0;
};

class StallProbe {
 public:
  StallProbe(TimedApplication& app, int interval_ms) : app_(app) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(interval_ms);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 gap = since_last_.restart();
      ++app_.probes_fired;
      if (gap > longest_) {
        longest_ = gap;
        // The slowest handler within that gap; the rest of it was work
        // between events and the sleep until the probe.
        behind_ = app_.slowest_ms > 0 ? QString("%1, %2 ms").arg(app_.slowest).arg(app_.slowest_ms)
                                      : QString("no handler of 1 ms or more");
      }
      app_.slowest_ms = 0;
      if (on_fire) on_fire();
    });
  }
  void Start() {
    app_.slowest_ms = 0;  // what came before is no part of the first gap
    since_last_.start();
    timer_.start();
  }
  void Stop() { timer_.stop(); }
  // The largest gap between two firings, in ms, and what held the loop then.
  qint64 Longest() const { return longest_; }
  const QString& Behind() const { return behind_; }
  // Called at each firing.
  std::function<void()> on_fire;

 private:
  TimedApplication& app_;
  QTimer timer_;
  QElapsedTimer since_last_;
  qint64 longest_ = 0;
  QString behind_;
};

}  // namespace qv::bench
